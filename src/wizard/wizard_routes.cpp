// The routing tables. Back does not retrace Next everywhere: from the server
// page it goes to the carrier page, and from the meeting page to the phone
// or custom-address page, never to the server page.
#include "wizard/wizard_routes.h"

#include <array>

#include "shell/carriers.h"

namespace rn {
namespace {

using P = TWizardPage;
constexpr std::optional<TWizardPage> kNone = std::nullopt;

// Routes by the kind of carrier: any other, Cingular (regions), custom address.
struct TRoute {
  TWizardPage From;
  std::array<std::optional<TWizardPage>, 3> Next;
  std::array<std::optional<TWizardPage>, 3> Back;
};

constexpr std::array<TRoute, 8> kRoutes = {{
    {P::Welcome, {P::Carrier, P::Carrier, P::Carrier}, {kNone, kNone, kNone}},
    {P::Carrier, {P::Phone, P::Region, P::CustomAddress}, {P::Welcome, P::Welcome, P::Welcome}},
    {P::Region, {P::Phone, P::Phone, P::Phone}, {P::Carrier, P::Carrier, P::Carrier}},
    {P::Phone, {P::Server, P::Server, P::Server}, {P::Carrier, P::Region, P::Carrier}},
    {P::CustomAddress, {P::Server, P::Server, P::Server}, {P::Carrier, P::Carrier, P::Carrier}},
    {P::Server, {P::Meeting, P::Meeting, P::Meeting}, {P::Carrier, P::Carrier, P::Carrier}},
    {P::Meeting, {P::Task, P::Task, P::Task}, {P::Phone, P::Phone, P::CustomAddress}},
    {P::Task, {kNone, kNone, kNone}, {P::Meeting, P::Meeting, P::Meeting}},
}};

size_t KindOf(int carrier) {
  if (carrier == kCingularService)
    return 1;
  if (carrier == kCustomService)
    return 2;
  return 0;
}

const TRoute& RouteFrom(TWizardPage page) {
  for (const TRoute& route : kRoutes) {
    if (route.From == page)
      return route;
  }
  return kRoutes.front();  // every page has its row
}

}  // namespace

std::optional<TWizardPage> NextPage(TWizardPage current, int carrier) {
  return RouteFrom(current).Next[KindOf(carrier)];
}

std::optional<TWizardPage> BackPage(TWizardPage current, int carrier) {
  return RouteFrom(current).Back[KindOf(carrier)];
}

}  // namespace rn
