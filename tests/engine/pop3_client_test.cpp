// TPop3Client against the loopback server: exactly USER, PASS, STAT, QUIT,
// the server's refusals in its own words, and a connection closed on every
// path.
#include "engine/pop3_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "mail_server.h"

namespace rn {
namespace {

using test::TLoopbackMailServer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr auto kShort = std::chrono::milliseconds(300);

std::string FailingSignIn(TPop3Client& client, const std::string& host,
                          const std::string& user = "bob", const std::string& password = "s3cret") {
  try {
    client.SignIn(host, user, password);
  } catch (const EMailError& error) {
    return error.what();
  }
  ADD_FAILURE() << "the sign-in did not fail";
  return {};
}

// A one-shot server on 127.0.0.1 that says `greeting` to the first client
// and closes: for replies the loopback server never gives.
class OneLineServer {
 public:
  explicit OneLineServer(std::string greeting) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 1);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, greeting] {
      const int client = ::accept(fd_, nullptr, nullptr);
      if (client < 0)
        return;
      ::send(client, greeting.data(), greeting.size(), MSG_NOSIGNAL);
      ::shutdown(client, SHUT_WR);
      char sink[256];
      while (::recv(client, sink, sizeof sink, 0) > 0) {
      }
      ::close(client);
    });
  }
  ~OneLineServer() {
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
  }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_;
  int port_ = 0;
  std::thread thread_;
};

class Pop3ClientTest : public ::testing::Test {
 protected:
  TLoopbackMailServer server;
  TPop3Client client;
};

TEST_F(Pop3ClientTest, SignsInWithExactlyFourCommands) {
  client.SignIn(server.Pop3Address(), "bob", "s3cret");
  ASSERT_TRUE(server.WaitForIdle());
  EXPECT_THAT(server.Commands(TLoopbackMailServer::Pop3),
              ElementsAre("USER bob", "PASS s3cret", "STAT", "QUIT"));
  EXPECT_EQ(server.Connections(TLoopbackMailServer::Pop3), 1);
  EXPECT_EQ(server.Connections(TLoopbackMailServer::Smtp), 0);
}

TEST_F(Pop3ClientTest, RefusedSignInSaysGoodbyeAndReportsTheServersWords) {
  server.SetRefuseSignIn(true);
  const std::string error = FailingSignIn(client, server.Pop3Address());
  EXPECT_THAT(error, HasSubstr("-ERR [AUTH] Invalid login"));
  EXPECT_THAT(error, Not(HasSubstr("s3cret")));
  ASSERT_TRUE(server.WaitForIdle());
  EXPECT_THAT(server.Commands(TLoopbackMailServer::Pop3),
              ElementsAre("USER bob", "PASS s3cret", "QUIT"));
}

TEST_F(Pop3ClientTest, FailingStatStillClosesSoTheNextSignInWorks) {
  server.SetFailStat(true);
  EXPECT_THAT(FailingSignIn(client, server.Pop3Address()), HasSubstr("-ERR mailbox locked"));
  ASSERT_TRUE(server.WaitForIdle());

  server.SetFailStat(false);
  client.SignIn(server.Pop3Address(), "bob", "s3cret");
  ASSERT_TRUE(server.WaitForIdle());
  EXPECT_THAT(server.Events(), ElementsAre("POP3 open", "POP3 USER bob", "POP3 PASS s3cret",
                                           "POP3 STAT", "POP3 QUIT", "POP3 close",  //
                                           "POP3 open", "POP3 USER bob", "POP3 PASS s3cret",
                                           "POP3 STAT", "POP3 QUIT", "POP3 close"));
}

TEST_F(Pop3ClientTest, ABrokenOrSilentServerFailsWithinTheLimit) {
  struct Case {
    const char* name;
    std::function<void(TLoopbackMailServer&)> arrange;
    const char* words;
  };
  const Case cases[] = {
      {"silent", [](TLoopbackMailServer& s) { s.SetSilent(true); }, "no answer in time"},
      {"dropped after USER", [](TLoopbackMailServer& s) { s.SetDropAfter(1); },
       "connection closed"},
      {"dropped after STAT", [](TLoopbackMailServer& s) { s.SetDropAfter(3); },
       "connection closed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackMailServer broken;
    c.arrange(broken);
    TPop3Client limited(TMailTimeouts{kShort, kShort});
    EXPECT_THAT(FailingSignIn(limited, broken.Pop3Address()), HasSubstr(c.words));
    EXPECT_TRUE(broken.WaitForIdle());
  }
}

TEST_F(Pop3ClientTest, UnexpectedRepliesAreErrors) {
  const std::pair<const char*, const char*> cases[] = {
      {"-ERR too busy\r\n", "-ERR too busy"},
      {"220 smtp.example.org ESMTP\r\n", "unexpected reply to the greeting: 220"},
      {"", "connection closed"},
      {"+OK but no line end", "connection closed"},
  };
  for (const auto& [greeting, words] : cases) {
    SCOPED_TRACE(greeting);
    OneLineServer odd(greeting);
    EXPECT_THAT(FailingSignIn(client, odd.Address()), HasSubstr(words));
  }
}

TEST_F(Pop3ClientTest, BadSettingsFailBeforeConnecting) {
  struct Case {
    std::string host, user, password;
    const char* words;
  };
  const Case cases[] = {
      {"", "bob", "pw", "No POP3 server is set"},
      {"127.0.0.1:995", "bob", "pw", "POP3 over TLS (port 995) is not supported"},
      {"127.0.0.1:70000", "bob", "pw", "no valid port"},
      {"pop.example.org/x", "bob", "pw", "not a valid host"},
      {"PLACEHOLDER", "bob\r\nDELE 1", "pw", "control character"},
      {"PLACEHOLDER", "bob", "pw\nQUIT", "control character"},
  };
  for (auto c : cases) {
    if (c.host == "PLACEHOLDER")
      c.host = server.Pop3Address();
    SCOPED_TRACE(c.host + " " + c.user);
    EXPECT_THAT(FailingSignIn(client, c.host, c.user, c.password), HasSubstr(c.words));
  }
  EXPECT_EQ(server.Connections(TLoopbackMailServer::Pop3), 0);
}

TEST_F(Pop3ClientTest, NoServerListeningFailsTheSignIn) {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
  ::close(probe);
  EXPECT_THAT(FailingSignIn(client, "127.0.0.1:" + std::to_string(ntohs(address.sin_port))),
              HasSubstr("cannot connect"));
}

}  // namespace
}  // namespace rn
