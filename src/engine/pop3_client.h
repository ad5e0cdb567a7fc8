// The POP3 sign-in before a send: exactly USER, PASS, STAT, QUIT over a socket.
#pragma once

#include "engine/mail_client.h"

namespace rn {

class TPop3Client final : public IPop3Client {
 public:
  explicit TPop3Client(TMailTimeouts timeouts = {});
  void SignIn(const std::string& host, const std::string& user,
              const std::string& password) override;

 private:
  TMailTimeouts timeouts_;
};

}  // namespace rn
