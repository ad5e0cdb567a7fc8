// TSmtpClient: one message over one fresh libcurl connection per send.
#include "engine/smtp_client.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <stop_token>
#include <vector>

#include "engine/mail_address.h"
#include "engine/mail_message.h"

namespace rn {

namespace {

constexpr int kSmtpPort = 25;
constexpr std::chrono::milliseconds kProgressInterval{1000};
constexpr int kSmtpsPort = 465;  // implicit TLS (RFC 8314)

void InitCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The name we give in EHLO: this machine's name when it is a plain DNS name.
std::string HeloDomain() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
    return "localhost";
  const std::string host = name;
  const bool plain =
      host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") ==
      std::string::npos;
  return plain ? host : "localhost";
}

// What one transfer needs while libcurl runs: the message to upload and the
// server's refusal, seen only through the debug callback.
struct TTransfer {
  const std::string* Data = nullptr;
  size_t Offset = 0;
  std::string Pending;  // a server line still being received
  std::string Refusal;  // the last reply line of class 4 or 5
};

size_t ReadMessage(char* buffer, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<TTransfer*>(user);
  const size_t room = size * count;
  const size_t left = transfer->Data->size() - transfer->Offset;
  const size_t length = std::min(room, left);
  std::memcpy(buffer, transfer->Data->data() + transfer->Offset, length);
  transfer->Offset += length;
  return length;
}

// Only what the server says is kept; what we send (AUTH carries the
// password) is never looked at.
int WatchServer(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  if (type != CURLINFO_HEADER_IN)
    return 0;
  auto* transfer = static_cast<TTransfer*>(user);
  transfer->Pending.append(data, size);
  size_t end;
  while ((end = transfer->Pending.find('\n')) != std::string::npos) {
    std::string line = transfer->Pending.substr(0, end);
    transfer->Pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.size() >= 3 && (line[0] == '4' || line[0] == '5'))
      transfer->Refusal = line;
  }
  return 0;
}

// The sockets libcurl opens for one send, which a stop request shuts down
// from the stopping thread: every wait of libcurl's on them ends at once,
// the reply awaited after the message's end and the QUIT at the close alike.
class TSocketBreaker {
 public:
  curl_socket_t Open(const curl_sockaddr& address) {
    std::lock_guard lock(mutex_);
    const int fd = ::socket(address.family, address.socktype | SOCK_CLOEXEC, address.protocol);
    if (fd < 0)
      return CURL_SOCKET_BAD;
    open_.push_back(fd);
    if (broken_)
      ::shutdown(fd, SHUT_RDWR);
    return fd;
  }
  int Close(curl_socket_t fd) {
    std::lock_guard lock(mutex_);
    open_.erase(std::remove(open_.begin(), open_.end(), fd), open_.end());
    return ::close(fd);
  }
  void Break() {
    std::lock_guard lock(mutex_);
    broken_ = true;
    for (const int fd : open_)
      ::shutdown(fd, SHUT_RDWR);
  }

 private:
  std::mutex mutex_;
  std::vector<int> open_;
  bool broken_ = false;
};

curl_socket_t OpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
  return static_cast<TSocketBreaker*>(user)->Open(*address);
}

int CloseSocket(void* user, curl_socket_t fd) {
  return static_cast<TSocketBreaker*>(user)->Close(fd);
}

// libcurl asks this about once a second while it waits, also inside the
// reply to the message's end and the QUIT it sends at the close, where its
// own overall limit no longer counts: past the send's last moment the
// transfer gives up.
struct TProgress {
  std::chrono::steady_clock::time_point GiveUpAt;
  const std::stop_token* Stop;
  bool LateOrStopped() const {
    return Stop->stop_requested() || std::chrono::steady_clock::now() >= GiveUpAt;
  }
};

int WatchTime(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<TProgress*>(user)->LateOrStopped() ? 1 : 0;
}

struct CurlCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistCleanup {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

long Milliseconds(std::chrono::milliseconds value) {
  return static_cast<long>(std::max<std::chrono::milliseconds::rep>(value.count(), 1));
}

}  // namespace

TSmtpClient::TSmtpClient(TMailTimeouts timeouts) : timeouts_(timeouts) {}

void TSmtpClient::SetHost(const std::string& host) {
  std::lock_guard lock(mutex_);
  host_ = host;
}

void TSmtpClient::SetUserName(const std::string& user) {
  std::lock_guard lock(mutex_);
  user_ = user;
}

void TSmtpClient::SetPassword(const std::string& password) {
  std::lock_guard lock(mutex_);
  password_ = password;
}

void TSmtpClient::SetLoginAuthentication(bool login) {
  std::lock_guard lock(mutex_);
  login_ = login;
}

void TSmtpClient::Send(const TMailMessage& message, const TMailControl& control) {
  std::string host, user, password;
  bool login;
  {
    std::lock_guard lock(mutex_);
    host = host_;
    user = user_;
    password = password_;
    login = login_;
  }

  // Everything is checked before a connection is opened.
  const TServerAddress server = SplitServer(host, kSmtpPort, "SMTP server");
  const std::string from = EnvelopeAddress(message.From, "sender");
  const std::string to = EnvelopeAddress(message.To, "recipient");
  if (login && (HasControlCharacter(user) || HasControlCharacter(password))) {
    throw EMailError("The SMTP user name or password holds a control character; nothing was sent");
  }
  const std::string data = BuildMailMessage(message);
  if (control.Stop.stop_requested())
    throw EMailError("Sending through SMTP server " + host + ": " + kMailStoppedText +
                     "; nothing was sent");

  // The send ends by the earlier of its own limit and the whole send's
  // deadline. libcurl looks at the progress function about once a second,
  // so the transfer gives up that much before the last moment (a quarter of
  // the time left, when that is shorter).
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = std::min(control.Deadline, start + timeouts_.Total);
  const auto left =
      std::max(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - start),
               std::chrono::milliseconds(0));
  const std::chrono::milliseconds transferLimit =
      std::max(left - std::min(kProgressInterval, left / 4), std::chrono::milliseconds(1));
  TProgress progress{start + transferLimit, &control.Stop};
  TSocketBreaker breaker;
  const std::stop_callback breakOnStop(control.Stop, [&breaker] { breaker.Break(); });

  InitCurl();
  std::unique_ptr<CURL, CurlCleanup> curl(curl_easy_init());
  if (!curl)
    throw EMailError("The SMTP connection could not be set up");
  CURL* handle = curl.get();

  const bool implicitTls = server.Port == kSmtpsPort;
  const std::string url = std::string(implicitTls ? "smtps://" : "smtp://") + UrlHost(server.Host) +
                          ":" + std::to_string(server.Port) + "/" + HeloDomain();
  TTransfer transfer;
  transfer.Data = &data;
  // An empty recipient still goes to the server ("RCPT TO:<>"), which
  // refuses it in its own words.
  std::unique_ptr<curl_slist, SlistCleanup> recipients(curl_slist_append(nullptr, to.c_str()));
  char curlError[CURL_ERROR_SIZE] = {};

  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
  if (!implicitTls)
    curl_easy_setopt(handle, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS,
                   Milliseconds(std::min(timeouts_.Connect, transferLimit)));
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, Milliseconds(transferLimit));
  // Whole seconds only; the overall limit above is the finer one.
  const long responseSeconds = std::max<long>(1, Milliseconds(transferLimit) / 1000);
  curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, responseSeconds);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, WatchTime);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &progress);
  curl_easy_setopt(handle, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
  curl_easy_setopt(handle, CURLOPT_OPENSOCKETDATA, &breaker);
  curl_easy_setopt(handle, CURLOPT_CLOSESOCKETFUNCTION, CloseSocket);
  curl_easy_setopt(handle, CURLOPT_CLOSESOCKETDATA, &breaker);
  if (login) {
    curl_easy_setopt(handle, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
    curl_easy_setopt(handle, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(handle, CURLOPT_PASSWORD, password.c_str());
  }
  curl_easy_setopt(handle, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, recipients.get());
  curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(handle, CURLOPT_READFUNCTION, ReadMessage);
  curl_easy_setopt(handle, CURLOPT_READDATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(data.size()));
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, curlError);
  curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);  // the debug callback sees nothing without it
  curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, WatchServer);
  curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &transfer);

  const CURLcode code = curl_easy_perform(handle);
  curl.reset();  // closes the connection (QUIT) before we report
  if (control.Stop.stop_requested())
    throw EMailError("Sending through SMTP server " + host + ": " + kMailStoppedText);
  if (code == CURLE_ABORTED_BY_CALLBACK || code == CURLE_OPERATION_TIMEDOUT) {
    std::string text =
        "Sending through SMTP server " + host + " failed: the server did not answer in time";
    if (!transfer.Refusal.empty())
      text += " (" + transfer.Refusal + ")";
    throw EMailError(text);
  }
  if (code != CURLE_OK) {
    std::string reason = curlError[0] ? curlError : curl_easy_strerror(code);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
      reason.pop_back();
    std::string text = "Sending through SMTP server " + host + " failed: ";
    text += transfer.Refusal.empty() ? reason : transfer.Refusal + " (" + reason + ")";
    throw EMailError(text);
  }
}

}  // namespace rn
