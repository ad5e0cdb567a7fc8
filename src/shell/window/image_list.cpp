#include "shell/window/image_list.h"

#include <QString>
#include <array>

namespace rn {
namespace {

// The file of each image under icons/actions/ravenote-NAME.svg; 9 has none.
constexpr std::array<const char*, 14> kImageNames = {
    "meeting-notification",
    "morning-meeting",
    "evening-meeting",
    "task-notification",
    "task-pre-reminder",
    "task-reminder",
    "urgent-email",
    "test-message",
    "config-wizard",
    nullptr,
    "help",
    "upgrade-check",
    "hide",
    "exit",
};

}  // namespace

QIcon ImageListIcon(int index) {
  if (index < 0 || index >= static_cast<int>(kImageNames.size()) || !kImageNames[index])
    return {};
  return QIcon(QStringLiteral(":/icons/actions/ravenote-%1.svg").arg(kImageNames[index]));
}

QIcon ApplicationIcon() {
  return QIcon(QStringLiteral(":/icons/ravenote.svg"));
}

}  // namespace rn
