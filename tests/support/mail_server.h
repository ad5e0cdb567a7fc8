// TLoopbackMailServer: an SMTP and a POP3 server on 127.0.0.1 for tests.
//
// Both listen on ports the system picks (port 0) and serve every connection
// on a thread of its own until the object is destroyed. They speak just
// enough of each protocol for the program's sends:
//   SMTP: 220 greeting, EHLO/HELO (AUTH LOGIN advertised when asked), the
//         AUTH LOGIN exchange, MAIL, RCPT, DATA, RSET, NOOP, QUIT.
//   POP3: +OK greeting, USER, PASS, STAT, QUIT; optionally inside TLS from
//         the first byte (SetPop3Tls), as on port 995.
// Every line received (message data excepted) is recorded in order, with the
// opening and closing of each connection, and each message's data is kept.
//
// Typical use, in-process or with ravenoted started as a child process:
//   TLoopbackMailServer server;
//   settings.SetServer(server.SmtpAddress());        // "127.0.0.1:PORT"
//   settings.SetPop3Server(server.Pop3Address());
//   ... send ...
//   ASSERT_TRUE(server.WaitForMessages(1));           // bounded wait
//   server.WaitForIdle();                             // all connections closed
//   EXPECT_THAT(server.Commands(TLoopbackMailServer::Smtp), ...);
//
// The switches change how later commands are answered; set them before the
// client connects.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_ctx_st;

namespace rn::test {

// Writes a throw-away self-signed certificate (valid from an hour ago for a
// day) and its key as PEM files. `names` are its subjectAltName entries in
// OpenSSL's notation: "IP:127.0.0.1,DNS:localhost". Throws std::runtime_error.
void WriteSelfSignedCertificate(const std::string& certificateFile, const std::string& keyFile,
                                const std::string& names);

class TLoopbackMailServer {
 public:
  enum TProtocol { Smtp, Pop3 };

  // The POP3 side listens on `pop3Port` when one is given (995, to show the
  // client's choice of TLS by port; needs the privilege to bind it).
  explicit TLoopbackMailServer(int pop3Port = 0);
  ~TLoopbackMailServer();
  TLoopbackMailServer(const TLoopbackMailServer&) = delete;
  TLoopbackMailServer& operator=(const TLoopbackMailServer&) = delete;

  int SmtpPort() const { return smtpPort_; }
  int Pop3Port() const { return pop3Port_; }
  // "127.0.0.1:PORT", as the Server and Pop3Server settings take it.
  std::string SmtpAddress() const;
  std::string Pop3Address() const;

  // ---- switches ----
  // EHLO names AUTH LOGIN among the extensions.
  void SetAdvertiseAuthLogin(bool on);
  // SMTP AUTH ends in "535 5.7.8 Authentication credentials invalid";
  // POP3 PASS gets "-ERR [AUTH] Invalid login".
  void SetRefuseSignIn(bool on);
  // RCPT gets "550 5.1.1 <address>: Recipient address rejected".
  void SetRefuseRecipient(bool on);
  // STAT gets "-ERR mailbox locked".
  void SetFailStat(bool on);
  // After the Nth line a connection receives, it is closed without an
  // answer to that line (0: never).
  void SetDropAfter(int lines);
  // Accept connections and never say a word.
  void SetSilent(bool on);
  // SMTP takes the message and then says no word more: no reply to its end,
  // none to QUIT.
  void SetSilentAfterData(bool on);
  // POP3 connections speak TLS from the first byte, showing the PEM
  // certificate in `certificateFile` with the key in `keyFile`. A client
  // that gives up on the handshake is closed without a line read. Throws
  // std::runtime_error when the files do not load.
  void SetPop3Tls(const std::string& certificateFile, const std::string& keyFile);

  // ---- what was seen ----
  // In arrival order over both servers: "SMTP open", "SMTP EHLO host",
  // "SMTP MAIL FROM:<a@b>", ..., "SMTP close", "POP3 open", "POP3 USER bob", ...
  std::vector<std::string> Events() const;
  // The lines received by one server, without the protocol prefix and
  // without the open/close marks.
  std::vector<std::string> Commands(TProtocol protocol) const;
  // Connections accepted so far by one server.
  int Connections(TProtocol protocol) const;
  // Each message's data as received after DATA: CRLF line ends, leading
  // dots unstuffed, without the final "." line.
  std::vector<std::string> Messages() const;
  // The credentials presented, decoded: "user|password", SMTP and POP3 alike.
  std::vector<std::string> SignIns() const;

  // Waits until `count` messages have arrived; false when `limit` passed first.
  bool WaitForMessages(size_t count,
                       std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
  // Waits until every connection accepted so far is closed.
  bool WaitForIdle(std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

 private:
  struct TSession;
  void AcceptLoop();
  void Serve(TProtocol protocol, int fd);
  void ServeSmtp(TSession& session);
  void ServePop3(TSession& session);
  void Record(TProtocol protocol, const std::string& event);

  int smtpListener_ = -1, pop3Listener_ = -1;
  int smtpPort_ = 0, pop3Port_ = 0;
  int stopPipe_[2] = {-1, -1};

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool advertiseAuth_ = false, refuseSignIn_ = false, refuseRecipient_ = false;
  bool failStat_ = false, silent_ = false, silentAfterData_ = false;
  int dropAfter_ = 0;
  std::shared_ptr<ssl_ctx_st> pop3Tls_;
  std::vector<std::string> events_;
  std::vector<std::string> messages_;
  std::vector<std::string> signIns_;
  int connections_[2] = {0, 0};
  int open_ = 0;

  std::thread acceptor_;
  std::vector<std::thread> sessions_;  // guarded by mutex_
};

}  // namespace rn::test
