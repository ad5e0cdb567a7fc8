// TSmtpClient against a real SMTP server, aiosmtpd (python3-aiosmtpd),
// started on 127.0.0.1 for each test: the message it stores carries our
// headers, and a server offering STARTTLS with a certificate we cannot verify
// gets nothing.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "engine/smtp_client.h"
#include "fakes.h"
#include "mail_text.h"

extern char** environ;

namespace rn {
namespace {

using test::DecodeMail;
using test::MailHeader;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kPython = "/usr/bin/python3";

// Starts a program with its output going to `output`; its pid or -1.
pid_t Spawn(std::vector<std::string> args, const std::string& output = "/dev/null") {
  std::vector<char*> argv;
  for (auto& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? pid : -1;
}

// Runs a program to its end, output discarded; its exit status or -1.
int RunProgram(std::vector<std::string> args) {
  const pid_t pid = Spawn(std::move(args));
  if (pid < 0)
    return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int FreeLoopbackPort() {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

// aiosmtpd with the Mailbox handler: every message lands in a Maildir.
class Aiosmtpd {
 public:
  Aiosmtpd(const std::filesystem::path& maildir, std::vector<std::string> extra = {})
      : port_(FreeLoopbackPort()) {
    std::vector<std::string> args = {kPython, "-m", "aiosmtpd",
                                     "-n",    "-l", "127.0.0.1:" + std::to_string(port_)};
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), {"-c", "aiosmtpd.handlers.Mailbox", maildir.string()});
    // Its log goes beside the Maildir, for a look when a test fails.
    pid_ = Spawn(std::move(args), (maildir.parent_path() / "aiosmtpd.log").string());
    // Start-up takes a moment; a generous bound, not a speed requirement.
    for (int i = 0; i < 300 && pid_ > 0 && !Accepts(port_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  ~Aiosmtpd() {
    if (pid_ <= 0)
      return;
    ::kill(pid_, SIGTERM);
    int status;
    ::waitpid(pid_, &status, 0);
  }
  bool Running() const { return pid_ > 0 && Accepts(port_); }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int port_;
  pid_t pid_ = -1;
};

// The first message file in a Maildir's new/ folder, once there is one;
// line ends made CRLF again (the Maildir keeps LF).
std::string WaitForMaildirMessage(const std::filesystem::path& maildir) {
  for (int i = 0; i < 200; ++i) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(maildir / "new", error)) {
      std::ifstream in(entry.path(), std::ios::binary);
      std::stringstream text;
      text << in.rdbuf();
      std::string crlf;
      for (char c : text.str()) {
        if (c == '\n')
          crlf += '\r';
        crlf += c;
      }
      return crlf;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return {};
}

class AiosmtpdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (RunProgram({kPython, "-c", "import aiosmtpd"}) != 0) {
      GTEST_SKIP() << kPython << " cannot import aiosmtpd (Debian package python3-aiosmtpd)";
    }
  }
  test::TempFolder folder;
};

TEST_F(AiosmtpdTest, RealServerStoresOurMessage) {
  const auto maildir = folder / "Maildir";
  Aiosmtpd server(maildir);
  ASSERT_TRUE(server.Running()) << "aiosmtpd did not start";

  TSmtpClient client;
  client.SetHost(server.Address());
  const TMailMessage sent{"ravenote@example.org", "5551234567@vtext.com",
                          "Tommorrows: 9:00 Café ☕ — planning", "Ligne un\nligne deux é"};
  client.Send(sent);

  const std::string message = WaitForMaildirMessage(maildir);
  ASSERT_FALSE(message.empty()) << "no message arrived";
  EXPECT_EQ(MailHeader(message, "X-MailFrom"), "ravenote@example.org");
  EXPECT_EQ(MailHeader(message, "X-RcptTo"), "5551234567@vtext.com");
  EXPECT_EQ(MailHeader(message, "From"), "ravenote@example.org");
  EXPECT_EQ(MailHeader(message, "To"), "5551234567@vtext.com");
  EXPECT_EQ(MailHeader(message, "Content-Type"), "text/plain; charset=utf-8");
  EXPECT_THAT(MailHeader(message, "Message-Id"), StartsWith("<"));
  const auto decoded = DecodeMail(message);
  EXPECT_EQ(decoded.Subject, sent.Subject);
  EXPECT_EQ(decoded.Body, "Ligne un\r\nligne deux é\r\n");
}

TEST_F(AiosmtpdTest, StartTlsWithAnUnverifiableCertificateSendsNothing) {
  const auto key = folder / "key.pem";
  const auto cert = folder / "cert.pem";
  if (RunProgram({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                  key.string(), "-out", cert.string(), "-days", "1", "-subj", "/CN=127.0.0.1"}) !=
      0) {
    GTEST_SKIP() << "/usr/bin/openssl cannot make a test certificate";
  }
  const auto maildir = folder / "Maildir";
  // TLS offered, not required: a client that skipped STARTTLS would deliver.
  Aiosmtpd server(maildir,
                  {"--tlscert", cert.string(), "--tlskey", key.string(), "--no-requiretls"});
  ASSERT_TRUE(server.Running()) << "aiosmtpd did not start";

  TSmtpClient client;
  client.SetHost(server.Address());
  try {
    client.Send({"ravenote@example.org", "5551234567@vtext.com", "secret meeting", ""});
    ADD_FAILURE() << "sent to a server whose certificate cannot be verified";
  } catch (const EMailError& error) {
    EXPECT_THAT(error.what(), HasSubstr("certificate"));
  }
  std::error_code none;
  EXPECT_TRUE(std::filesystem::is_empty(maildir / "new", none));
}

}  // namespace
}  // namespace rn
