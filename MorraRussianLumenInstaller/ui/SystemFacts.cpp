#include "SystemFacts.h"

#include "InstallerEngine.h"

namespace morra {

SystemFacts SystemFacts::current() { return {appManagementSettingsAddresses(), morra::gameCheckedAtFirstLaunch()}; }

}  // namespace morra
