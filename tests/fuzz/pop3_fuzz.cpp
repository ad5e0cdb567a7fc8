// The POP3 sign-in against a server that answers with any bytes: a server
// on 127.0.0.1 sends the input as its replies and then closes its side; the
// client signs in or fails with EMailError, and never waits for more than
// the server said.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "engine/pop3_client.h"

namespace {

// Listens once, on a port the system picks.
int Listener(int* port) {
  static int fd = -1;
  static int bound = 0;
  if (fd < 0) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::abort();
    }
    bound = ntohs(address.sin_port);
  }
  *port = bound;
  return fd;
}

// One connection: all of `replies` at once, then the end of what the server
// says; what the client sends is read and dropped until it closes.
void Serve(int listener, std::string_view replies) {
  const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0)
    return;
  size_t sent = 0;
  while (sent < replies.size()) {
    const ssize_t n = ::send(fd, replies.data() + sent, replies.size() - sent, MSG_NOSIGNAL);
    if (n <= 0)
      break;
    sent += static_cast<size_t>(n);
  }
  ::shutdown(fd, SHUT_WR);
  char buffer[4096];
  pollfd entry{fd, POLLIN, 0};
  while (::poll(&entry, 1, 10000) > 0 && ::recv(fd, buffer, sizeof buffer, 0) > 0) {
  }
  ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  int port = 0;
  const int listener = Listener(&port);
  const std::string_view replies(reinterpret_cast<const char*>(bytes), size);
  std::thread server([&] { Serve(listener, replies); });
  // Limits far above what a closed connection takes, so only a client that
  // waits where it should not would ever reach them.
  rn::TPop3Client client(rn::TMailTimeouts{std::chrono::seconds(5), std::chrono::seconds(5)});
  try {
    client.SignIn("127.0.0.1:" + std::to_string(port), "bob", "s3cret");
  } catch (const rn::EMailError&) {
  }
  server.join();
  return 0;
}
