// The wizard's sequencer: which page is shown, how pages are placed into the
// host window, and the Back, Next, Cancel and finish protocol as virtual
// operations. A concrete wizard decides which pages exist and their order.
//
// The sequencer owns the frames it creates and outlives every host window:
// hosts come and go, one per run, and the newest host takes the frames over.
#pragma once

#include <QString>
#include <memory>
#include <vector>

class QWidget;

namespace rn {

class TGenericFrame;
class TMainForm;

class TBaseInstaller {
 public:
  TBaseInstaller() = default;
  TBaseInstaller(const TBaseInstaller&) = delete;
  TBaseInstaller& operator=(const TBaseInstaller&) = delete;
  virtual ~TBaseInstaller();

  // Called by the host each time it becomes visible: a run starts over at the
  // first page.
  void StartRun();
  void ShowPage(TGenericFrame* page);
  // Makes `frame` fill the free area of `panel`.
  static void PlacePage(QWidget* frame, QWidget* panel);

  TGenericFrame* CurrentPage() const { return currentPage_; }
  QWidget* ImagePage() const { return imagePage_; }
  // True once the current run has ended through Done or Finish.
  bool Finished() const { return finished_; }

  // The host window of the current run: the newest one created.
  TMainForm* WizardHost() const { return wizardHost_; }
  void HostCreated(TMainForm* host);
  // Takes this sequencer's frames out of a host that is going away.
  void HostDestroyed(TMainForm* host);

  virtual void CreatePages() {}
  virtual TGenericFrame* FirstPage() = 0;
  virtual QString GetStatusText();
  virtual void SetStatusText(const QString& text);
  virtual void HostClosed() {}
  virtual void Back() {}
  virtual void Next() {}
  virtual void Cancel();
  virtual void Finish();

  // The report of a step that failed: an error box over the host.
  void ShowFailure(const QString& text);
  // Opens the help book at a context number, through the host.
  void OpenHelp(int context);

 protected:
  void SetFinished(bool finished) { finished_ = finished; }
  void SetImagePage(QWidget* frame) { imagePage_ = frame; }
  // Keeps `frame` for this sequencer's whole life.
  template <class T>
  T* Adopt(std::unique_ptr<T> frame) {
    T* raw = frame.get();
    frames_.push_back(std::move(frame));
    return raw;
  }

 private:
  static void TakeOut(QWidget* frame);

  std::vector<std::unique_ptr<QWidget>> frames_;
  TGenericFrame* currentPage_ = nullptr;
  QWidget* imagePage_ = nullptr;
  bool finished_ = false;
  TMainForm* wizardHost_ = nullptr;
};

}  // namespace rn
