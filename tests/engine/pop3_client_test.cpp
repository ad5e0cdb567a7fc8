// TPop3Client against the loopback server: exactly USER, PASS, STAT, QUIT,
// the server's refusals in its own words, and a connection closed on every
// path; the same over implicit TLS, where nothing is said to a server whose
// certificate does not verify.
#include "engine/pop3_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include "fakes.h"
#include "mail_server.h"

namespace rn {
namespace {

using test::TLoopbackMailServer;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

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

// ---- implicit TLS ----

// A loopback server speaking TLS from the first byte with a throw-away
// certificate naming 127.0.0.1 and localhost, and a client told to trust
// exactly that certificate.
class Pop3TlsTest : public ::testing::Test {
 protected:
  Pop3TlsTest() {
    test::WriteSelfSignedCertificate(Certificate(), Key(), "IP:127.0.0.1,DNS:localhost");
    server.SetPop3Tls(Certificate(), Key());
  }
  std::string Certificate() const { return (folder / "cert.pem").string(); }
  std::string Key() const { return (folder / "key.pem").string(); }
  TPop3Client TrustingClient(TMailTimeouts timeouts = {}) const {
    return TPop3Client(timeouts, TPop3TlsOptions{Certificate(), true});
  }
  std::string LocalhostAddress() const { return "localhost:" + std::to_string(server.Pop3Port()); }

  test::TempFolder folder;
  TLoopbackMailServer server;
};

TEST_F(Pop3TlsTest, SignsInWithExactlyFourCommandsOverAVerifiedConnection) {
  // An address is checked against the certificate's IP entries, a host name
  // against its DNS entries.
  for (const bool byName : {false, true}) {
    SCOPED_TRACE(byName ? "localhost" : "127.0.0.1");
    TLoopbackMailServer tlsServer;
    tlsServer.SetPop3Tls(Certificate(), Key());
    TPop3Client client = TrustingClient();
    client.SignIn(
        byName ? "localhost:" + std::to_string(tlsServer.Pop3Port()) : tlsServer.Pop3Address(),
        "bob", "s3cret");
    ASSERT_TRUE(tlsServer.WaitForIdle());
    EXPECT_THAT(tlsServer.Commands(TLoopbackMailServer::Pop3),
                ElementsAre("USER bob", "PASS s3cret", "STAT", "QUIT"));
    EXPECT_EQ(tlsServer.Connections(TLoopbackMailServer::Pop3), 1);
  }
}

TEST_F(Pop3TlsTest, RefusalInsideTlsIsReportedAndStillSaysQuit) {
  server.SetRefuseSignIn(true);
  TPop3Client client = TrustingClient();
  const std::string error = FailingSignIn(client, server.Pop3Address());
  EXPECT_THAT(error, HasSubstr("-ERR [AUTH] Invalid login"));
  ASSERT_TRUE(server.WaitForIdle());
  EXPECT_THAT(server.Commands(TLoopbackMailServer::Pop3),
              ElementsAre("USER bob", "PASS s3cret", "QUIT"));

  // The connection was closed properly: the next sign-in is served as usual.
  server.SetRefuseSignIn(false);
  client.SignIn(server.Pop3Address(), "bob", "s3cret");
  ASSERT_TRUE(server.WaitForIdle());
  EXPECT_EQ(server.Connections(TLoopbackMailServer::Pop3), 2);
}

TEST_F(Pop3TlsTest, ACertificateThatDoesNotVerifyEndsTheSignInBeforeUser) {
  const std::string own = Certificate();  // rewritten for each case's server
  const std::string systemStore;
  const std::string missing = (folder / "missing.pem").string();
  struct Case {
    const char* name;
    const char* serverNames;  // the server certificate's names; null: no TLS
    std::string caFile;
    bool byName;  // sign in to localhost rather than 127.0.0.1
    std::vector<const char*> words;
  };
  const Case cases[] = {
      {"self-signed, not in the system's store",
       "IP:127.0.0.1",
       systemStore,
       false,
       {"certificate does not verify", "self-signed certificate"}},
      {"trusted, but for another address",
       "IP:127.0.0.2",
       own,
       false,
       {"certificate does not verify", "IP address mismatch"}},
      {"trusted, but for another host name",
       "DNS:pop.example.org",
       own,
       true,
       {"certificate does not verify", "hostname mismatch"}},
      {"trusted, but names the address only as a host name",
       "DNS:127.0.0.1",
       own,
       false,
       {"certificate does not verify", "IP address mismatch"}},
      {"a server without TLS", nullptr, own, false, {"the TLS handshake failed"}},
      {"trusted certificates that do not load",
       "IP:127.0.0.1",
       missing,
       false,
       {"cannot load the trusted certificates in", "missing.pem"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackMailServer other;
    if (c.serverNames) {
      test::WriteSelfSignedCertificate(Certificate(), Key(), c.serverNames);
      other.SetPop3Tls(Certificate(), Key());
    }
    TPop3Client client({}, TPop3TlsOptions{c.caFile, true});
    const std::string host =
        c.byName ? "localhost:" + std::to_string(other.Pop3Port()) : other.Pop3Address();
    const std::string error = FailingSignIn(client, host);
    for (const char* words : c.words)
      EXPECT_THAT(error, HasSubstr(words));
    EXPECT_THAT(error, Not(HasSubstr("s3cret")));
    ASSERT_TRUE(other.WaitForIdle());
    // A server without TLS takes the client's handshake for lines of text.
    EXPECT_THAT(other.Commands(TLoopbackMailServer::Pop3), Each(Not(StartsWith("USER"))));
    EXPECT_THAT(other.SignIns(), IsEmpty());
  }
}

TEST_F(Pop3TlsTest, AConnectionDroppedInsideTlsIsReportedAsClosed) {
  for (const int lines : {1, 3}) {
    SCOPED_TRACE(lines);
    TLoopbackMailServer dropping;
    dropping.SetPop3Tls(Certificate(), Key());
    dropping.SetDropAfter(lines);
    TPop3Client client = TrustingClient(TMailTimeouts{kShort, kShort});
    EXPECT_THAT(FailingSignIn(client, dropping.Pop3Address()), HasSubstr("connection closed"));
    EXPECT_TRUE(dropping.WaitForIdle());
  }
}

TEST_F(Pop3TlsTest, AServerThatNeverAnswersTheHandshakeFailsWithinTheLimit) {
  TLoopbackMailServer silent;
  silent.SetPop3Tls(Certificate(), Key());
  silent.SetSilent(true);
  TPop3Client client = TrustingClient(TMailTimeouts{kShort, kShort});
  EXPECT_THAT(FailingSignIn(client, silent.Pop3Address()),
              HasSubstr("no answer in time while waiting for the TLS handshake"));
  EXPECT_TRUE(silent.WaitForIdle());
}

TEST_F(Pop3TlsTest, APlainClientIsNotServedByATlsServer) {
  // On any port but 995 the client speaks plain text unless told otherwise:
  // it waits for a greeting while the server waits for a handshake.
  TPop3Client plain(TMailTimeouts{kShort, kShort});
  EXPECT_THAT(FailingSignIn(plain, server.Pop3Address()),
              HasSubstr("no answer in time while waiting for the reply to the greeting"));
  ASSERT_TRUE(server.WaitForIdle());
  EXPECT_THAT(server.Commands(TLoopbackMailServer::Pop3), IsEmpty());
}

TEST_F(Pop3TlsTest, Port995MeansTlsWithoutBeingTold) {
  std::unique_ptr<TLoopbackMailServer> on995;
  try {
    on995 = std::make_unique<TLoopbackMailServer>(995);
  } catch (const std::exception& error) {
    GTEST_SKIP() << error.what();
  }
  on995->SetPop3Tls(Certificate(), Key());
  TPop3Client client({}, TPop3TlsOptions{Certificate(), false});
  client.SignIn("127.0.0.1:995", "bob", "s3cret");
  ASSERT_TRUE(on995->WaitForIdle());
  EXPECT_THAT(on995->Commands(TLoopbackMailServer::Pop3),
              ElementsAre("USER bob", "PASS s3cret", "STAT", "QUIT"));
}

}  // namespace
}  // namespace rn
