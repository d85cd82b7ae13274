#pragma once

#include <string>
#include <vector>

namespace morra {

// What the window tells the player about the system it runs on, beyond what the engine reports:
// where the installer can be allowed to change the game, and whether the game should be launched
// once before its first change. Tests set them to see the window as it is on macOS.
struct SystemFacts {
    // The addresses of the App Management settings, tried in order; none where there are none.
    std::vector<std::string> appManagementSettings;
    // The system checks the game's signature at its first launch.
    bool gameCheckedAtFirstLaunch = false;

    static SystemFacts current();
};

}  // namespace morra
