// The program's own window messages. Their numbers are Qt event types
// (QEvent::Type); they are always posted (QCoreApplication::postEvent), never
// sent, so the code that posts one returns before it is handled.
#pragma once

namespace rn {

inline constexpr int WM_OPEN_WIZARD = 1044;      // open the configuration wizard
inline constexpr int WM_RELOAD_SETTINGS = 1045;  // load the settings again from the registry
inline constexpr int WM_SAVE_SETTINGS = 1046;    // write the settings to the registry
inline constexpr int WM_START_ENGINE = 1047;     // start the notification engine
inline constexpr int WM_TRAY_ICON = 1048;        // a mouse event over the tray icon

}  // namespace rn
