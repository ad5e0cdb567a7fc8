// Placeholder until this file is written.
#include "outlook/local_store.h"
namespace rn {
TStoreLocations ReadStoreLocations(const TRegistry&) { return {}; }
std::unique_ptr<IOutlookConnector> MakeLocalStoreConnector(TStoreLocations, std::function<void(const std::string&)>) { return nullptr; }
}
