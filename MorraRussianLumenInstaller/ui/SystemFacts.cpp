#include "SystemFacts.h"

#include "InstallerEngine.h"

namespace morra {

SystemFacts SystemFacts::current() {
    return {api::appManagementSettingsAddresses(), morra::api::gameCheckedAtFirstLaunch()};
}

}  // namespace morra
