#include "shell/engine_control.h"

#include "shell/carriers.h"
#include "shell/settings.h"

namespace rn {

void RequestTestMessage(IEngine& engine, const TSettings& settings) {
  engine.SetPendingMessage(DestinationAddress(settings.Snapshot()), kTestMessageSubject,
                           kTestMessageBody);
}

}  // namespace rn
