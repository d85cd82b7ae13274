#pragma once

#include <memory>

#include "InstallerEngine.h"
#include "context/InstallContext.h"

namespace morra::api {

// Internal to the engine (it needs the engine's internal headers): the public engine over a
// prepared context, for tests and benchmarks that bring a file service with a fault hook, a
// fixture's profile or a payload folder of their own.
struct InstallerEngine::State {
    context::InstallContext context;
};

struct InstallerEngineFactory {
    static InstallerEngine over(context::InstallContext context) {
        return InstallerEngine(std::make_shared<const InstallerEngine::State>(InstallerEngine::State{std::move(context)}));
    }
};

}  // namespace morra::api
