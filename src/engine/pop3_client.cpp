// Placeholder until this file is written.
#include "engine/pop3_client.h"
namespace rn {
TPop3Client::TPop3Client(TMailTimeouts timeouts) : timeouts_(timeouts) {}
void TPop3Client::SignIn(const std::string&, const std::string&, const std::string&) { throw EMailError("POP3 client not built yet"); }
}
