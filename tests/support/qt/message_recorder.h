// Stands in for the window that owns a Qt window under test: it records the
// program's window messages posted to it, in the order they arrive.
#pragma once

#include <QObject>
#include <functional>
#include <vector>

namespace rn::test {

class TMessageRecorder final : public QObject {
 public:
  // Runs for each window message as it arrives (to look at the world then).
  std::function<void(int message)> OnMessage;

  const std::vector<int>& Received() const { return received_; }
  int Count(int message) const;
  void Clear() { received_.clear(); }

 protected:
  bool event(QEvent* event) override;

 private:
  std::vector<int> received_;
};

// Delivers every posted event, including deferred deletes.
void DeliverPostedEvents();

}  // namespace rn::test
