// The cost of one send to a loopback SMTP server: our TSmtpClient, a whole
// SendNewEmail with POP3 sign-in off and on, and, for scale, the same
// message sent by the curl command-line tool to the same server. Also the
// message building alone.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <memory>

#include "engine/mail_message.h"
#include "engine/pop3_client.h"
#include "engine/processor.h"
#include "engine/smtp_client.h"
#include "engine_fixture.h"
#include "fakes.h"
#include "mail_server.h"

extern char** environ;

namespace rn {
namespace {

const TMailMessage kNotification{"ravenote@example.org", "5551234567@vtext.com",
                                 "10:00:00 AM@loc:Room 4:Budget review", ""};

void BM_BuildMailMessage(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(BuildMailMessage(kNotification));
}
BENCHMARK(BM_BuildMailMessage);

void BM_SmtpClientSend(benchmark::State& state) {
  test::TLoopbackMailServer server;
  TSmtpClient client;
  client.SetHost(server.SmtpAddress());
  for (auto _ : state)
    client.Send(kNotification);
  state.counters["messages"] = static_cast<double>(server.Messages().size());
}
BENCHMARK(BM_SmtpClientSend)->Unit(benchmark::kMillisecond);

void BM_SendNewEmail(benchmark::State& state) {
  test::TLoopbackMailServer server;
  test::TempFolder folder;
  TSmtpClient smtp;
  TPop3Client pop3;
  TSettings settings(nullptr, &smtp);
  settings.SetServer(server.SmtpAddress());
  settings.SetPop3Server(server.Pop3Address());
  settings.SetFromEmail(kNotification.From);
  settings.SetUserName("bob");
  settings.SetPass("s3cret");
  settings.SetPop3Signin(state.range(0) != 0);
  test::RecordingHost host;
  test::FakeClock clock(46000.5);
  test::FakeWakeEvent wake(&clock);
  test::NullOutlookConnector outlook;
  TOutlookProcessor processor(TEngineDeps{settings, host, clock, wake, outlook, smtp, pop3,
                                          folder.Path(), [](const std::string&) {}});
  for (auto _ : state) {
    if (!processor.SendNewEmail(kNotification.To, kNotification.Subject, "")) {
      state.SkipWithError(host.Errors.back().c_str());
      break;
    }
  }
}
BENCHMARK(BM_SendNewEmail)->ArgName("pop3")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The curl tool, one process per message, as a script would send it.
void BM_CurlCommandLine(benchmark::State& state) {
  test::TLoopbackMailServer server;
  test::TempFolder folder;
  const std::string file = (folder / "message.eml").string();
  std::ofstream(file, std::ios::binary) << BuildMailMessage(kNotification);
  std::vector<std::string> args = {"/usr/bin/curl",
                                   "-sS",
                                   "smtp://" + server.SmtpAddress() + "/localhost",
                                   "--mail-from",
                                   kNotification.From,
                                   "--mail-rcpt",
                                   kNotification.To,
                                   "-T",
                                   file};
  std::vector<char*> argv;
  for (auto& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  for (auto _ : state) {
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      state.SkipWithError("cannot start /usr/bin/curl");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("curl failed");
      break;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  state.counters["messages"] = static_cast<double>(server.Messages().size());
}
BENCHMARK(BM_CurlCommandLine)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace rn

BENCHMARK_MAIN();
