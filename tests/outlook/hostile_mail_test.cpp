// Hostile mail under the real inbox pass and the real local store: each
// message is written into a fresh Maildir and the inbox pass runs over it in
// a child process held to its bounds (the memory it may add, a last guard on
// its processor seconds), so a fault shows as a broken bound, never as a hang
// or a crash of the test program; then the notification it sent is checked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bounded_child.h"
#include "engine_fixture.h"
#include "outlook/local_store.h"
#include "platform/text.h"
#include "shell/carriers.h"

namespace rn::test {
namespace {

namespace fs = std::filesystem;

std::string Repeat(const std::string& text, size_t times) {
  std::string out;
  out.reserve(text.size() * times);
  for (size_t i = 0; i < times; ++i)
    out += text;
  return out;
}

// An unread message received an hour before the pass.
std::string Message(const std::string& headers, const std::string& body) {
  return "Received: from mx.example.invalid by mail.example.invalid; Thu, 10 Dec 2026 "
         "13:00:00 +0000\n"
         "From: Ops <ops@example.invalid>\n"
         "Subject: Server down\n" +
         headers + "\n" + body;
}

const std::string kHigh = "Importance: High\n";
const std::string kHtml = kHigh + "Content-Type: text/html; charset=UTF-8\n";
const std::string kPlain = kHigh + "Content-Type: text/plain; charset=UTF-8\n";

struct THostileMail {
  const char* what;
  std::function<std::string()> message;
  std::string body;  // the start of the body the notification carries
};

TEST(HostileMail, TheInboxPassEndsWithinItsBoundsAndSendsWhatIsSound) {
  setenv("TZ", "UTC", 1);
  tzset();
  const TDateTime now = EncodeDateTime(2026, 12, 10, 14, 0);
  const size_t megabytes3 = 3 << 20;
  const THostileMail cases[] = {
      // Each '&' used to look for its ';' to the end of the text: 53 s for 3 MB.
      {"HTML of megabytes of '&'",
       [&] { return Message(kHtml, "<p>Call ops</p>" + std::string(megabytes3, '&')); },
       "Call ops\n" + std::string(151, '&')},
      {"HTML of entities without their ';'",
       [&] { return Message(kHtml, Repeat("&amp", megabytes3 / 4)); }, Repeat("&amp", 40)},
      // GMime reads a group inside a group by calling itself: this used to
      // end the program on a stack overflow.
      {"a To: of groups inside groups",
       [] { return Message("To: " + Repeat("g:", 100000) + "\n" + kPlain, "Call ops\n"); },
       "Call ops\n"},
      {"X-Priority: 1 (Highest) alone",
       [] {
         return Message("X-Priority: 1 (Highest)\nContent-Type: text/plain; charset=UTF-8\n",
                        "Call ops\n");
       },
       "Call ops\n"},
      {"megabytes of text on one line",
       [&] { return Message(kPlain, std::string(megabytes3, 'x')); }, std::string(160, 'x')},
      {"two thousand attachments before the text",
       [] {
         return Message(kHigh + "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n",
                        Repeat("--b\nContent-Type: application/octet-stream\n\nAAAA\n", 2000) +
                            "--b\nContent-Type: text/plain\n\nCall ops\n--b--\n");
       },
       "Call ops"},
  };
  for (const THostileMail& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder store;
    fs::create_directories(store / "inbox" / "new");
    fs::create_directories(store / "inbox" / "cur");
    std::ofstream(store / "inbox" / "new" / "1765371600.M1P1.host", std::ios::binary)
        << c.message();
    const fs::path result = store / "result";

    const TChildOutcome out = RunBoundedChild([&](const std::function<void()>& ready) {
      std::unique_ptr<IOutlookConnector> connector = MakeLocalStoreConnector(
          {store / "calendar", store / "tasks", store / "inbox"}, [](const std::string&) {});
      EngineRig rig(now, connector.get());
      rig.settings.SetService(kCustomService);
      rig.settings.SetCustomEmail("5551234567@text.example.net");
      ready();
      rig.processor->CheckUrgentEmail();
      std::ofstream sent(result, std::ios::binary);
      for (const TMailMessage& m : rig.smtp.Sent)
        sent << m.Subject << '\0';
    });
    EXPECT_TRUE(out.Exited) << "ended by signal " << out.Signal << " at " << out.AddedKilobytes
                            << " kB added";
    EXPECT_LE(out.AddedKilobytes, TChildBounds{}.MostAddedKilobytes);

    std::ifstream in(result, std::ios::binary);
    std::vector<std::string> subjects;
    for (std::string subject; std::getline(in, subject, '\0');)
      subjects.push_back(subject);
    EXPECT_EQ(subjects, std::vector<std::string>{"Urgent Email:Server down" + c.body});
  }
}

}  // namespace
}  // namespace rn::test
