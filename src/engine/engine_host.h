// What the engine needs of the window that owns it. The tray window
// implements it with Qt (posted events); ravenoted on the console.
#pragma once

#include <string>

namespace rn {

class IEngineHost {
 public:
  virtual ~IEngineHost() = default;
  // The status line; called from the engine thread, must not block.
  virtual void ShowStatus(const std::string& text) = 0;
  // A modal error box owned by the engine thread: returns when dismissed.
  virtual void ShowErrorBox(const std::string& text) = 0;
};

}  // namespace rn
