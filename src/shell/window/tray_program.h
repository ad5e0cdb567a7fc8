// The desktop program: one copy per profile, the tray window, its wizard and
// the end of the session, around the one wiring both programs share.
#pragma once

class QApplication;

namespace rn {

// Runs the tray program in `app`; its exit status.
int RunTrayProgram(QApplication& app);

}  // namespace rn
