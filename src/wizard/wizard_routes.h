// The new-agent wizard's page order, without any widget: which page Next and
// Back show from each page, by the carrier chosen on the carrier page.
#pragma once

#include <optional>

namespace rn {

enum class TWizardPage { Welcome, Carrier, Region, Phone, CustomAddress, Server, Meeting, Task };

// The page Next shows after `current` for the carrier item `carrier`; none
// after the task page, where Next is Done.
std::optional<TWizardPage> NextPage(TWizardPage current, int carrier);
// The page Back shows; none on the welcome page.
std::optional<TWizardPage> BackPage(TWizardPage current, int carrier);

}  // namespace rn
