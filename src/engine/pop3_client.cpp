// TPop3Client: the POP3 sign-in before a send, a client of our own because it
// must send exactly USER, PASS, STAT and QUIT (RFC 1939) and nothing else.
#include "engine/pop3_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "engine/mail_address.h"

namespace rn {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPop3Port = 110;
constexpr int kPop3sPort = 995;
constexpr size_t kMaxLine = 4096;  // RFC 1939 allows 512 octets; be generous

class TPop3Connection {
 public:
  TPop3Connection(std::string server, Clock::time_point deadline)
      : server_(std::move(server)), deadline_(deadline) {}
  ~TPop3Connection() { Close(); }
  TPop3Connection(const TPop3Connection&) = delete;
  TPop3Connection& operator=(const TPop3Connection&) = delete;

  void Connect(const TServerAddress& address, std::chrono::milliseconds connectLimit);
  // Reads one reply line; throws unless it is "+OK".
  std::string ExpectOk(const std::string& command);
  void Command(const std::string& line, const std::string& shown);
  // False after a time-out or a broken connection: nothing more can be said.
  bool Usable() const { return fd_ >= 0 && usable_; }
  void Close() {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = -1;
  }

 private:
  [[noreturn]] void Fail(const std::string& text) {
    usable_ = false;
    throw EMailError("POP3 server " + server_ + ": " + text);
  }
  int RemainingMs() const;
  void WaitFor(short events, const char* doing);
  std::string ReadLine(const std::string& command);

  std::string server_;
  Clock::time_point deadline_;
  int fd_ = -1;
  bool usable_ = true;
  std::string buffer_;
};

int TPop3Connection::RemainingMs() const {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

void TPop3Connection::WaitFor(short events, const char* doing) {
  for (;;) {
    const int left = RemainingMs();
    if (left == 0)
      Fail(std::string("no answer in time while ") + doing);
    pollfd entry{fd_, events, 0};
    const int ready = ::poll(&entry, 1, left);
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
      ready = left.count() <= 0 ? 0 : ::poll(&waiting, 1, static_cast<int>(left.count()));
    } while (ready < 0 && errno == EINTR);
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
    WaitFor(POLLIN, doing.c_str());
    char chunk[1024];
    const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
    if (got == 0)
      Fail("connection closed while " + doing);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
        continue;
      Fail("connection failed while " + doing + ": " + std::strerror(errno));
    }
    buffer_.append(chunk, static_cast<size_t>(got));
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
  while (sent < wire.size()) {
    WaitFor(POLLOUT, ("sending " + shown).c_str());
    const ssize_t put = ::send(fd_, wire.data() + sent, wire.size() - sent, MSG_NOSIGNAL);
    if (put < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
        continue;
      Fail("connection failed while sending " + shown + ": " + std::strerror(errno));
    }
    sent += static_cast<size_t>(put);
  }
}

}  // namespace

TPop3Client::TPop3Client(TMailTimeouts timeouts) : timeouts_(timeouts) {}

void TPop3Client::SignIn(const std::string& host, const std::string& user,
                         const std::string& password) {
  const TServerAddress address = SplitServer(host, kPop3Port, "POP3 server");
  if (address.Port == kPop3sPort) {
    throw EMailError("POP3 over TLS (port 995) is not supported");
  }
  if (HasControlCharacter(user) || HasControlCharacter(password)) {
    throw EMailError("The POP3 user name or password holds a control character; nothing was sent");
  }

  TPop3Connection connection(UrlHost(address.Host) + ":" + std::to_string(address.Port),
                             Clock::now() + timeouts_.Total);
  connection.Connect(address, timeouts_.Connect);
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
