// TPop3Client: the POP3 sign-in before a send, a client of our own because it
// must send exactly USER, PASS, STAT and QUIT (RFC 1939) and nothing else.
// On port 995 the same exchange runs inside TLS (RFC 8314 implicit TLS).
#include "engine/pop3_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stop_token>
#include <string>

#include "engine/mail_address.h"

namespace rn {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPop3Port = 110;
constexpr int kPop3sPort = 995;
constexpr size_t kMaxLine = 4096;  // RFC 1939 allows 512 octets; be generous
constexpr int kStopCheckMs = 100;  // how often a wait looks at the stop request

// OpenSSL's own socket BIO writes with write(2), which raises SIGPIPE when the
// server has gone; that would end the whole program. This one sends with
// MSG_NOSIGNAL and otherwise behaves the same on a non-blocking socket.
int SocketOf(BIO* bio) {
  return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
}

bool WouldBlock() {
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

int SocketBioWrite(BIO* bio, const char* data, int size) {
  BIO_clear_retry_flags(bio);
  const ssize_t put = ::send(SocketOf(bio), data, static_cast<size_t>(size), MSG_NOSIGNAL);
  if (put < 0 && WouldBlock())
    BIO_set_retry_write(bio);
  return static_cast<int>(put);
}

int SocketBioRead(BIO* bio, char* data, int size) {
  BIO_clear_retry_flags(bio);
  const ssize_t got = ::recv(SocketOf(bio), data, static_cast<size_t>(size), 0);
  if (got < 0 && WouldBlock())
    BIO_set_retry_read(bio);
  return static_cast<int>(got);
}

long SocketBioControl(BIO*, int command, long, void*) {
  return command == BIO_CTRL_FLUSH ? 1 : 0;  // nothing is buffered here
}

const BIO_METHOD* SocketBioMethod() {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* made =
        BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "ravenote pop3 socket");
    if (made) {
      BIO_meth_set_write(made, SocketBioWrite);
      BIO_meth_set_read(made, SocketBioRead);
      BIO_meth_set_ctrl(made, SocketBioControl);
    }
    return made;
  }();
  return method;
}

// The oldest error OpenSSL queued for this thread, in its words.
std::string OpenSslError() {
  const unsigned long code = ERR_peek_error();
  if (code == 0)
    return "unknown error";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

bool IsIpLiteral(const std::string& host) {
  unsigned char address[sizeof(in6_addr)];
  return ::inet_pton(AF_INET, host.c_str(), address) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

class TPop3Connection {
 public:
  TPop3Connection(std::string server, Clock::time_point deadline, std::stop_token stop)
      : server_(std::move(server)), deadline_(deadline), stop_(std::move(stop)) {}
  ~TPop3Connection() { Close(); }
  TPop3Connection(const TPop3Connection&) = delete;
  TPop3Connection& operator=(const TPop3Connection&) = delete;

  void Connect(const TServerAddress& address, std::chrono::milliseconds connectLimit);
  // The TLS handshake, within the overall limit; the certificate must verify
  // against `caFile` (the system's store when empty) and name `host`.
  void StartTls(const std::string& host, const std::string& caFile);
  // Reads one reply line; throws unless it is "+OK".
  std::string ExpectOk(const std::string& command);
  void Command(const std::string& line, const std::string& shown);
  // False after a time-out or a broken connection: nothing more can be said.
  bool Usable() const { return fd_ >= 0 && usable_; }
  void Close();

 private:
  [[noreturn]] void Fail(const std::string& text) {
    usable_ = false;
    throw EMailError("POP3 server " + server_ + ": " + text);
  }
  // The time to wait at most before looking again: what is left of the
  // limit, but never more than kStopCheckMs, so a stop request ends a wait
  // at once. Fails when the time is up or the stop is requested.
  int NextWaitMs(const std::string& doing);
  int RemainingMs() const;
  void WaitFor(short events, const char* doing);
  // Waits as OpenSSL asks after a call that could not finish; any other
  // outcome of that call is a failure, described in `doing`'s terms.
  void WaitForTls(int result, const std::string& doing);
  size_t Receive(char* buffer, size_t size, const std::string& doing);
  size_t Transmit(const char* data, size_t size, const std::string& doing);
  std::string ReadLine(const std::string& command);

  std::string server_;
  Clock::time_point deadline_;
  std::stop_token stop_;
  int fd_ = -1;
  bool usable_ = true;
  std::string buffer_;
  SSL_CTX* context_ = nullptr;
  SSL* tls_ = nullptr;
  bool tlsUp_ = false;
};

void TPop3Connection::Close() {
  if (tls_) {
    // Best effort: one close_notify where the session still stands; never a
    // wait for the server's own.
    if (tlsUp_ && usable_) {
      ERR_clear_error();
      SSL_shutdown(tls_);
    }
    SSL_free(tls_);  // frees the socket BIO too, not the socket
    tls_ = nullptr;
  }
  if (context_) {
    SSL_CTX_free(context_);
    context_ = nullptr;
  }
  ERR_clear_error();
  if (fd_ >= 0)
    ::close(fd_);
  fd_ = -1;
}

int TPop3Connection::RemainingMs() const {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

int TPop3Connection::NextWaitMs(const std::string& doing) {
  if (stop_.stop_requested()) {
    usable_ = false;  // a QUIT would only wait again
    Fail(std::string(kMailStoppedText) + " while " + doing);
  }
  const int left = RemainingMs();
  if (left == 0)
    Fail("no answer in time while " + doing);
  return std::min(left, kStopCheckMs);
}

void TPop3Connection::WaitFor(short events, const char* doing) {
  for (;;) {
    pollfd entry{fd_, events, 0};
    const int ready = ::poll(&entry, 1, NextWaitMs(doing));
    if (ready > 0)
      return;
    if (ready < 0 && errno != EINTR)
      Fail(std::string("poll failed: ") + std::strerror(errno));
  }
}

void TPop3Connection::Connect(const TServerAddress& address,
                              std::chrono::milliseconds connectLimit) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(address.Port);
  const int status = ::getaddrinfo(address.Host.c_str(), port.c_str(), &hints, &found);
  if (status != 0)
    Fail(std::string("cannot resolve host: ") + ::gai_strerror(status));
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, ::freeaddrinfo);

  const auto connectDeadline = std::min(deadline_, Clock::now() + connectLimit);
  std::string lastError = "no address";
  for (addrinfo* entry = list.get(); entry; entry = entry->ai_next) {
    const int fd = ::socket(entry->ai_family, entry->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      lastError = std::strerror(errno);
      continue;
    }
    if (::connect(fd, entry->ai_addr, entry->ai_addrlen) == 0) {
      fd_ = fd;
      return;
    }
    if (errno != EINPROGRESS) {
      lastError = std::strerror(errno);
      ::close(fd);
      continue;
    }
    pollfd waiting{fd, POLLOUT, 0};
    int ready;
    do {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(connectDeadline - Clock::now());
      if (stop_.stop_requested()) {
        ::close(fd);
        NextWaitMs("connecting");  // fails with the stop's text
      }
      ready = left.count() <= 0
                  ? 0
                  : ::poll(&waiting, 1,
                           static_cast<int>(std::min<long long>(left.count(), kStopCheckMs)));
    } while ((ready < 0 && errno == EINTR) || (ready == 0 && Clock::now() < connectDeadline));
    int error = 0;
    socklen_t length = sizeof error;
    if (ready > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
      fd_ = fd;
      return;
    }
    lastError = ready == 0 ? "connection timed out" : std::strerror(error ? error : errno);
    ::close(fd);
  }
  Fail("cannot connect: " + lastError);
}

void TPop3Connection::StartTls(const std::string& host, const std::string& caFile) {
  context_ = SSL_CTX_new(TLS_client_method());
  if (!context_)
    Fail("cannot set up TLS: " + OpenSslError());
  SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
  SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
  if (caFile.empty()) {
    if (SSL_CTX_set_default_verify_paths(context_) != 1)
      Fail("cannot load the system's trusted certificates: " + OpenSslError());
  } else if (SSL_CTX_load_verify_locations(context_, caFile.c_str(), nullptr) != 1) {
    Fail("cannot load the trusted certificates in " + caFile + ": " + OpenSslError());
  }

  tls_ = SSL_new(context_);
  const BIO_METHOD* method = SocketBioMethod();
  BIO* bio = method ? BIO_new(method) : nullptr;
  if (!tls_ || !bio) {
    BIO_free(bio);
    Fail("cannot set up TLS: " + OpenSslError());
  }
  BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd_)));
  BIO_set_init(bio, 1);
  SSL_set_bio(tls_, bio, bio);

  // A certificate proves an address only when it names that address; a host
  // name is also sent (SNI) so a server of many names picks the right one.
  const bool nameSet = IsIpLiteral(host)
                           ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(tls_), host.c_str()) == 1
                           : SSL_set_tlsext_host_name(tls_, host.c_str()) == 1 &&
                                 SSL_set1_host(tls_, host.c_str()) == 1;
  if (!nameSet)
    Fail("cannot check the certificate for " + host + ": " + OpenSslError());

  const std::string doing = "waiting for the TLS handshake";
  for (;;) {
    ERR_clear_error();
    const int result = SSL_connect(tls_);
    if (result == 1)
      break;
    const long verified = SSL_get_verify_result(tls_);
    if (verified != X509_V_OK) {
      Fail("the server's certificate does not verify (" +
           std::string(X509_verify_cert_error_string(verified)) + "); nothing was sent");
    }
    WaitForTls(result, doing);
  }
  tlsUp_ = true;
}

void TPop3Connection::WaitForTls(int result, const std::string& doing) {
  const int systemError = errno;  // as the failed call left it
  const int error = SSL_get_error(tls_, result);
  switch (error) {
    case SSL_ERROR_WANT_READ:
      WaitFor(POLLIN, doing.c_str());
      return;
    case SSL_ERROR_WANT_WRITE:
      WaitFor(POLLOUT, doing.c_str());
      return;
    case SSL_ERROR_ZERO_RETURN:
      Fail("connection closed while " + doing);
    case SSL_ERROR_SYSCALL:
      if (ERR_peek_error() == 0 && (result == 0 || systemError == 0 || systemError == ECONNRESET))
        Fail("connection closed while " + doing);
      Fail("connection failed while " + doing + ": " +
           (ERR_peek_error() ? OpenSslError() : std::string(std::strerror(systemError))));
    default:
      if (ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING)
        Fail("connection closed while " + doing);
      Fail((tlsUp_ ? "TLS error while " + doing : std::string("the TLS handshake failed")) + ": " +
           OpenSslError());
  }
}

// Some bytes of the connection (at least one), waiting within the limit.
size_t TPop3Connection::Receive(char* buffer, size_t size, const std::string& doing) {
  for (;;) {
    if (tls_) {
      ERR_clear_error();
      size_t got = 0;
      const int result = SSL_read_ex(tls_, buffer, size, &got);
      if (result == 1)
        return got;
      WaitForTls(result, doing);
      continue;
    }
    WaitFor(POLLIN, doing.c_str());
    const ssize_t got = ::recv(fd_, buffer, size, 0);
    if (got == 0)
      Fail("connection closed while " + doing);
    if (got < 0) {
      if (WouldBlock())
        continue;
      Fail("connection failed while " + doing + ": " + std::strerror(errno));
    }
    return static_cast<size_t>(got);
  }
}

// Sends some of `data` (at least one byte), waiting within the limit.
size_t TPop3Connection::Transmit(const char* data, size_t size, const std::string& doing) {
  for (;;) {
    if (tls_) {
      ERR_clear_error();
      size_t put = 0;
      const int result = SSL_write_ex(tls_, data, size, &put);
      if (result == 1)
        return put;
      WaitForTls(result, doing);
      continue;
    }
    WaitFor(POLLOUT, doing.c_str());
    const ssize_t put = ::send(fd_, data, size, MSG_NOSIGNAL);
    if (put < 0) {
      if (WouldBlock())
        continue;
      Fail("connection failed while " + doing + ": " + std::strerror(errno));
    }
    return static_cast<size_t>(put);
  }
}

std::string TPop3Connection::ReadLine(const std::string& command) {
  const std::string doing = "waiting for the reply to " + command;
  for (;;) {
    const auto end = buffer_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      return line;
    }
    if (buffer_.size() > kMaxLine)
      Fail("reply to " + command + " is too long");
    char chunk[1024];
    const size_t got = Receive(chunk, sizeof chunk, doing);
    buffer_.append(chunk, got);
  }
}

std::string TPop3Connection::ExpectOk(const std::string& command) {
  const std::string line = ReadLine(command);
  if (line.rfind("+OK", 0) == 0)
    return line;
  if (line.rfind("-ERR", 0) == 0)
    throw EMailError("POP3 server " + server_ + ": " + line);
  usable_ = false;  // we do not know what the other side is
  throw EMailError("POP3 server " + server_ + " gave an unexpected reply to " + command + ": " +
                   line.substr(0, 200));
}

// `shown` is the command's name in error texts: the password never appears.
void TPop3Connection::Command(const std::string& line, const std::string& shown) {
  const std::string wire = line + "\r\n";
  size_t sent = 0;
  while (sent < wire.size())
    sent += Transmit(wire.data() + sent, wire.size() - sent, "sending " + shown);
}

}  // namespace

TPop3Client::TPop3Client(TMailTimeouts timeouts, TPop3TlsOptions tls)
    : timeouts_(timeouts), tls_(std::move(tls)) {}

void TPop3Client::SignIn(const std::string& host, const std::string& user,
                         const std::string& password, const TMailControl& control) {
  const TServerAddress address = SplitServer(host, kPop3Port, "POP3 server");
  const bool implicitTls = tls_.ForceImplicitTls || address.Port == kPop3sPort;
  if (HasControlCharacter(user) || HasControlCharacter(password)) {
    throw EMailError("The POP3 user name or password holds a control character; nothing was sent");
  }

  if (control.Stop.stop_requested())
    throw EMailError("POP3 server " + host + ": " + kMailStoppedText + "; nothing was sent");
  // The earlier of this sign-in's own limit and the whole send's deadline.
  TPop3Connection connection(UrlHost(address.Host) + ":" + std::to_string(address.Port),
                             std::min(control.Deadline, Clock::now() + timeouts_.Total),
                             control.Stop);
  connection.Connect(address, timeouts_.Connect);
  if (implicitTls)
    connection.StartTls(address.Host, tls_.CaFile);
  connection.ExpectOk("the greeting");
  try {
    connection.Command("USER " + user, "USER");
    connection.ExpectOk("USER");
    connection.Command("PASS " + password, "PASS");
    connection.ExpectOk("PASS");
    connection.Command("STAT", "STAT");
    connection.ExpectOk("STAT");
  } catch (const EMailError&) {
    // Say goodbye where the server still listens, so it ends the session
    // cleanly; the first failure is the one reported.
    if (connection.Usable()) {
      try {
        connection.Command("QUIT", "QUIT");
        connection.ExpectOk("QUIT");
      } catch (const EMailError&) {
      }
    }
    throw;
  }
  // The sign-in is complete; an odd answer to QUIT does not undo it.
  try {
    connection.Command("QUIT", "QUIT");
    connection.ExpectOk("QUIT");
  } catch (const EMailError&) {
  }
}

}  // namespace rn
