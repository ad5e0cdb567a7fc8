#include "mail_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace rn::test {

namespace {

const char* Name(TLoopbackMailServer::TProtocol protocol) {
  return protocol == TLoopbackMailServer::Smtp ? "SMTP" : "POP3";
}

// Listens on 127.0.0.1 at *port, or at a port the system picks when it is 0,
// and puts the port in *port.
int Listen(int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    throw std::runtime_error("socket failed");
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(*port));
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int error = errno;
    ::close(fd);
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(*port) + ": " +
                             std::strerror(error));
  }
  *port = ntohs(address.sin_port);
  return fd;
}

std::string Base64Decode(const std::string& text) {
  static const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned value = 0;
  int bits = 0;
  for (char c : text) {
    const auto index = alphabet.find(c);
    if (index == std::string::npos)
      continue;  // padding, spaces
    value = (value << 6) | static_cast<unsigned>(index);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((value >> bits) & 0xff);
    }
  }
  return out;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size())
    return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i])
      return false;
  }
  return true;
}

std::string OpenSslError() {
  char text[256] = "unknown error";
  if (const unsigned long code = ERR_get_error())
    ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return text;
}

}  // namespace

void WriteSelfSignedCertificate(const std::string& certificateFile, const std::string& keyFile,
                                const std::string& names) {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), X509_free);
  if (!key || !certificate)
    throw std::runtime_error("cannot make a key: " + OpenSslError());
  X509* cert = certificate.get();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
  X509_set_pubkey(cert, key.get());
  X509_NAME* subject = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("loopback test"), -1, -1, 0);
  X509_set_issuer_name(cert, subject);
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
  const std::pair<int, std::string> extensions[] = {
      {NID_basic_constraints, "critical,CA:TRUE"},
      {NID_subject_key_identifier, "hash"},
      {NID_subject_alt_name, names},
  };
  for (const auto& [nid, value] : extensions) {
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (!extension || X509_add_ext(cert, extension, -1) != 1) {
      X509_EXTENSION_free(extension);
      throw std::runtime_error("cannot add " + value + ": " + OpenSslError());
    }
    X509_EXTENSION_free(extension);
  }
  if (X509_sign(cert, key.get(), EVP_sha256()) == 0)
    throw std::runtime_error("cannot sign the certificate: " + OpenSslError());

  auto write = [](const std::string& path, auto&& writer) {
    std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "w"), std::fclose);
    if (!file || !writer(file.get()))
      throw std::runtime_error("cannot write " + path);
  };
  write(certificateFile, [&](FILE* file) { return PEM_write_X509(file, cert) == 1; });
  write(keyFile, [&](FILE* file) {
    return PEM_write_PrivateKey(file, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
  });
}

// One connection: its socket, what is buffered, how many lines it has read.
struct TLoopbackMailServer::TSession {
  TLoopbackMailServer& Server;
  TProtocol Protocol;
  int Fd;
  std::string Buffer;
  int Lines = 0;
  SSL* Tls = nullptr;  // set while the connection speaks TLS

  // The next line without its CRLF; nothing at the end of the connection,
  // when the server stops, or when the drop switch says so. A command line is
  // recorded; message data is not.
  std::optional<std::string> ReadLine(bool command = true) {
    for (;;) {
      const auto end = Buffer.find('\n');
      if (end != std::string::npos) {
        std::string line = Buffer.substr(0, end);
        Buffer.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
          line.pop_back();
        if (command) {
          Server.Record(Protocol, line);
          int dropAfter;
          {
            std::lock_guard lock(Server.mutex_);
            dropAfter = Server.dropAfter_;
          }
          if (dropAfter > 0 && ++Lines >= dropAfter)
            return std::nullopt;
        }
        return line;
      }
      // Bytes OpenSSL already decrypted are not on the socket any more.
      if (!Tls || SSL_pending(Tls) == 0) {
        pollfd entries[2] = {{Fd, POLLIN, 0}, {Server.stopPipe_[0], POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0) {
          if (errno == EINTR)
            continue;
          return std::nullopt;
        }
        if (entries[1].revents)
          return std::nullopt;
      }
      char chunk[4096];
      const ssize_t got =
          Tls ? SSL_read(Tls, chunk, sizeof chunk) : ::recv(Fd, chunk, sizeof chunk, 0);
      if (got <= 0)
        return std::nullopt;
      Buffer.append(chunk, static_cast<size_t>(got));
    }
  }

  void Reply(const std::string& text) {
    const std::string wire = text + "\r\n";
    if (Tls)
      SSL_write(Tls, wire.data(), static_cast<int>(wire.size()));
    else
      ::send(Fd, wire.data(), wire.size(), MSG_NOSIGNAL);
  }
};

TLoopbackMailServer::TLoopbackMailServer(int pop3Port) : pop3Port_(pop3Port) {
  if (::pipe2(stopPipe_, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  smtpListener_ = Listen(&smtpPort_);
  try {
    pop3Listener_ = Listen(&pop3Port_);
  } catch (...) {
    ::close(smtpListener_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
    throw;
  }
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

TLoopbackMailServer::~TLoopbackMailServer() {
  const char stop = 's';
  (void)!::write(stopPipe_[1], &stop, 1);
  acceptor_.join();
  std::vector<std::thread> sessions;
  {
    std::lock_guard lock(mutex_);
    sessions.swap(sessions_);
  }
  for (auto& session : sessions)
    session.join();
  ::close(smtpListener_);
  ::close(pop3Listener_);
  ::close(stopPipe_[0]);
  ::close(stopPipe_[1]);
}

std::string TLoopbackMailServer::SmtpAddress() const {
  return "127.0.0.1:" + std::to_string(smtpPort_);
}

std::string TLoopbackMailServer::Pop3Address() const {
  return "127.0.0.1:" + std::to_string(pop3Port_);
}

void TLoopbackMailServer::SetAdvertiseAuthLogin(bool on) {
  std::lock_guard lock(mutex_);
  advertiseAuth_ = on;
}
void TLoopbackMailServer::SetRefuseSignIn(bool on) {
  std::lock_guard lock(mutex_);
  refuseSignIn_ = on;
}
void TLoopbackMailServer::SetRefuseRecipient(bool on) {
  std::lock_guard lock(mutex_);
  refuseRecipient_ = on;
}
void TLoopbackMailServer::SetFailStat(bool on) {
  std::lock_guard lock(mutex_);
  failStat_ = on;
}
void TLoopbackMailServer::SetDropAfter(int lines) {
  std::lock_guard lock(mutex_);
  dropAfter_ = lines;
}
void TLoopbackMailServer::SetSilent(bool on) {
  std::lock_guard lock(mutex_);
  silent_ = on;
}
void TLoopbackMailServer::SetSilentAfterData(bool on) {
  std::lock_guard lock(mutex_);
  silentAfterData_ = on;
}

void TLoopbackMailServer::SetPop3Tls(const std::string& certificateFile,
                                     const std::string& keyFile) {
  std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
  if (!context || SSL_CTX_use_certificate_chain_file(context.get(), certificateFile.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context.get(), keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    throw std::runtime_error("cannot load " + certificateFile + " and " + keyFile + ": " +
                             OpenSslError());
  }
  std::lock_guard lock(mutex_);
  pop3Tls_ = std::move(context);
}

std::vector<std::string> TLoopbackMailServer::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::vector<std::string> TLoopbackMailServer::Commands(TProtocol protocol) const {
  const std::string prefix = std::string(Name(protocol)) + " ";
  std::vector<std::string> commands;
  std::lock_guard lock(mutex_);
  for (const auto& event : events_) {
    if (event.rfind(prefix, 0) != 0)
      continue;
    const std::string line = event.substr(prefix.size());
    if (line != "open" && line != "close")
      commands.push_back(line);
  }
  return commands;
}

int TLoopbackMailServer::Connections(TProtocol protocol) const {
  std::lock_guard lock(mutex_);
  return connections_[protocol];
}

std::vector<std::string> TLoopbackMailServer::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<std::string> TLoopbackMailServer::SignIns() const {
  std::lock_guard lock(mutex_);
  return signIns_;
}

bool TLoopbackMailServer::WaitForMessages(size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return messages_.size() >= count; });
}

bool TLoopbackMailServer::WaitForIdle(std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return open_ == 0; });
}

void TLoopbackMailServer::Record(TProtocol protocol, const std::string& event) {
  std::lock_guard lock(mutex_);
  events_.push_back(std::string(Name(protocol)) + " " + event);
  changed_.notify_all();
}

void TLoopbackMailServer::AcceptLoop() {
  for (;;) {
    pollfd entries[3] = {
        {smtpListener_, POLLIN, 0}, {pop3Listener_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    if (::poll(entries, 3, -1) < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    if (entries[2].revents)
      return;
    for (int i = 0; i < 2; ++i) {
      if (!entries[i].revents)
        continue;
      const int fd = ::accept4(entries[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0)
        continue;
      // Replies of several lines go out in one send each line; without
      // NODELAY the second waits for the client's delayed acknowledgement.
      const int yes = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
      const auto protocol = static_cast<TProtocol>(i);
      std::lock_guard lock(mutex_);
      ++connections_[protocol];
      ++open_;
      events_.push_back(std::string(Name(protocol)) + " open");
      sessions_.emplace_back([this, protocol, fd] { Serve(protocol, fd); });
    }
  }
}

void TLoopbackMailServer::Serve(TProtocol protocol, int fd) {
  TSession session{*this, protocol, fd, {}, 0};
  bool silent;
  std::shared_ptr<SSL_CTX> tls;
  {
    std::lock_guard lock(mutex_);
    silent = silent_;
    if (protocol == Pop3)
      tls = pop3Tls_;
  }
  std::unique_ptr<SSL, decltype(&SSL_free)> ssl(nullptr, SSL_free);
  bool handshaken = true;
  if (tls && !silent) {
    // OpenSSL writes with write(2): a client gone mid-reply must not raise
    // SIGPIPE in the test program. The mask is this thread's alone. A peer
    // that stalls inside a TLS record cannot hold the server for ever.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    const timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ssl.reset(SSL_new(tls.get()));
    handshaken = ssl && SSL_set_fd(ssl.get(), fd) == 1 && SSL_accept(ssl.get()) == 1;
    session.Tls = ssl.get();
    ERR_clear_error();
  }
  if (!handshaken) {
    // A client that refused the certificate: nothing to serve.
  } else if (silent) {
    while (session.ReadLine()) {
    }
  } else if (protocol == Smtp) {
    ServeSmtp(session);
  } else {
    ServePop3(session);
  }
  if (ssl && handshaken)
    SSL_shutdown(ssl.get());
  ssl.reset();
  ERR_clear_error();
  ::close(fd);
  std::lock_guard lock(mutex_);
  events_.push_back(std::string(Name(protocol)) + " close");
  --open_;
  changed_.notify_all();
}

void TLoopbackMailServer::ServeSmtp(TSession& session) {
  session.Reply("220 loopback ESMTP ready");
  while (auto line = session.ReadLine()) {
    bool advertiseAuth, refuseSignIn, refuseRecipient;
    {
      std::lock_guard lock(mutex_);
      advertiseAuth = advertiseAuth_;
      refuseSignIn = refuseSignIn_;
      refuseRecipient = refuseRecipient_;
    }
    const std::string& command = *line;
    if (StartsWithNoCase(command, "EHLO")) {
      session.Reply("250-loopback greets you");
      if (advertiseAuth)
        session.Reply("250-AUTH LOGIN");
      session.Reply("250 8BITMIME");
    } else if (StartsWithNoCase(command, "HELO")) {
      session.Reply("250 loopback");
    } else if (StartsWithNoCase(command, "AUTH LOGIN")) {
      std::string user;
      if (command.size() > 11) {
        user = Base64Decode(command.substr(11));  // initial response
      } else {
        session.Reply("334 VXNlcm5hbWU6");  // "Username:"
        const auto answer = session.ReadLine();
        if (!answer)
          return;
        user = Base64Decode(*answer);
      }
      session.Reply("334 UGFzc3dvcmQ6");  // "Password:"
      const auto password = session.ReadLine();
      if (!password)
        return;
      {
        std::lock_guard lock(mutex_);
        signIns_.push_back(user + "|" + Base64Decode(*password));
      }
      session.Reply(refuseSignIn ? "535 5.7.8 Authentication credentials invalid"
                                 : "235 2.7.0 Authentication successful");
    } else if (StartsWithNoCase(command, "AUTH")) {
      session.Reply("504 5.5.4 Unrecognized authentication type");
    } else if (StartsWithNoCase(command, "MAIL FROM:")) {
      session.Reply("250 2.1.0 Ok");
    } else if (StartsWithNoCase(command, "RCPT TO:")) {
      const std::string address = command.substr(8);
      session.Reply(refuseRecipient ? "550 5.1.1 " + address + ": Recipient address rejected"
                                    : "250 2.1.5 Ok");
    } else if (StartsWithNoCase(command, "DATA")) {
      session.Reply("354 End data with <CR><LF>.<CR><LF>");
      std::string data;
      for (;;) {
        const auto dataLine = session.ReadLine(false);
        if (!dataLine)
          return;
        if (*dataLine == ".")
          break;
        // RFC 5321 4.5.2: a leading dot was doubled by the sender.
        data += (!dataLine->empty() && dataLine->front() == '.') ? dataLine->substr(1) : *dataLine;
        data += "\r\n";
      }
      bool silentNow;
      {
        std::lock_guard lock(mutex_);
        messages_.push_back(data);
        changed_.notify_all();
        silentNow = silentAfterData_;
      }
      if (silentNow) {
        while (session.ReadLine()) {
        }
        return;
      }
      session.Reply("250 2.0.0 Ok: queued");
    } else if (StartsWithNoCase(command, "RSET") || StartsWithNoCase(command, "NOOP")) {
      session.Reply("250 2.0.0 Ok");
    } else if (StartsWithNoCase(command, "QUIT")) {
      session.Reply("221 2.0.0 Bye");
      return;
    } else {
      session.Reply("502 5.5.2 Error: command not recognized");
    }
  }
}

void TLoopbackMailServer::ServePop3(TSession& session) {
  session.Reply("+OK loopback POP3 ready");
  std::string user;
  while (auto line = session.ReadLine()) {
    bool refuseSignIn, failStat;
    {
      std::lock_guard lock(mutex_);
      refuseSignIn = refuseSignIn_;
      failStat = failStat_;
    }
    const std::string& command = *line;
    if (StartsWithNoCase(command, "USER ")) {
      user = command.substr(5);
      session.Reply("+OK");
    } else if (StartsWithNoCase(command, "PASS ")) {
      {
        std::lock_guard lock(mutex_);
        signIns_.push_back(user + "|" + command.substr(5));
      }
      session.Reply(refuseSignIn ? "-ERR [AUTH] Invalid login" : "+OK Logged in.");
    } else if (StartsWithNoCase(command, "STAT")) {
      session.Reply(failStat ? "-ERR mailbox locked" : "+OK 2 320");
    } else if (StartsWithNoCase(command, "QUIT")) {
      session.Reply("+OK Bye");
      return;
    } else {
      session.Reply("-ERR unknown command");
    }
  }
}

}  // namespace rn::test
