// The POP3 sign-in before a send: exactly USER, PASS, STAT, QUIT over a socket.
// Port 995 means implicit TLS: TLS from the first byte, the server's
// certificate verified and its name checked before a word is said.
#pragma once

#include <string>

#include "engine/mail_client.h"

namespace rn {

// How the TLS of a sign-in is set up. The product leaves both alone: TLS
// exactly when the port is 995, trusting the system's certificate store.
struct TPop3TlsOptions {
  // A PEM file of the certificates to trust instead of the system's store.
  std::string CaFile;
  // TLS from the first byte whatever the port (for a server that cannot
  // listen on 995).
  bool ForceImplicitTls = false;
};

class TPop3Client final : public IPop3Client {
 public:
  explicit TPop3Client(TMailTimeouts timeouts = {}, TPop3TlsOptions tls = {});
  void SignIn(const std::string& host, const std::string& user, const std::string& password,
              const TMailControl& control = {}) override;

 private:
  TMailTimeouts timeouts_;
  TPop3TlsOptions tls_;
};

}  // namespace rn
