// CheckUrgentEmail, the inbox pass: at most every 15 minutes it walks the
// inbox while unread mail remains and forwards each unread high-importance
// message received within the last day, once: its text is remembered for a
// day in the e-mails list, and saved with the pass that sent it.
#include <memory>
#include <string>

#include "engine/processor.h"
#include "platform/text.h"
#include "shell/carriers.h"

namespace rn {
namespace {

constexpr double kInboxScanEvery = 1.0 / 96;  // 15 minutes
constexpr double kUrgentFor = kOneDay;        // received within a day; remembered a day
constexpr size_t kBodyCharacters = 160;
constexpr unsigned kPauseMs = 54;
constexpr double kSlack = kOneSecond / 1000;

}  // namespace

void TOutlookProcessor::CheckUrgentEmail() {
  const TDateTime start = deps_.Clock.Now();
  if (start < NextInboxScan)
    return;
  NextInboxScan = start + kInboxScanEvery;

  GetInboxFolder();
  const int n = InboxFolder->Items()->Count();
  // A failure in the walk leaves the pass here, without the purge.
  for (int i = 1; i <= n; ++i) {
    if (InboxFolder->UnReadItemCount() == 0 || StopRequested())
      break;
    const std::shared_ptr<IOutlookItem> item = InboxFolder->Items()->Item(i);
    const std::shared_ptr<IMailItem> mail = item ? item->AsMail() : nullptr;
    if (!mail || !mail->UnRead())
      continue;
    const TDateTime now = deps_.Clock.Now();
    if (mail->Importance() != olImportanceHigh || mail->ReceivedTime() < now - kUrgentFor - kSlack)
      continue;
    const std::string text = mail->Subject() + FirstCharacters(mail->Body(), kBodyCharacters);
    const std::string key = CutUtf8(text, kShortStringMax);
    if (Emails.Find(key) < 0) {
      auto record = std::make_unique<TEmailItem>();
      record->Name = key;
      record->AddedTime = now;
      Emails.Add(key, std::move(record));
      // Saved at the end of this pass, so a crash cannot send it again. The
      // record stays even if the send fails: the message is not sent twice.
      Changed = true;
      SendNewEmail(DestinationAddress(Settings()), "Urgent Email:" + text, "");
    }
    // The pause follows urgent messages only: after every unread one, a
    // large unread inbox would hold the pass for minutes and meeting
    // reminders would fall past their minute of grace.
    deps_.Clock.Sleep(kPauseMs);
  }

  const TDateTime now = deps_.Clock.Now();
  for (int i = Emails.Count() - 1; i >= 0; --i) {
    if (Emails.At(i).AddedTime < now - kUrgentFor) {
      try {
        Emails.Delete(i);
      } catch (...) {
        // Removing a spent record is worth no more than trying.
      }
    }
  }
}

}  // namespace rn
