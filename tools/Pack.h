#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "BsdiffDiffer.h"

namespace morra::tools {

// A refusal of the pack tool; the text names the copy and the file at fault.
class PackError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct PackInputs {
    std::filesystem::path original;      // the game as the supported build ships it
    std::filesystem::path englishCards;  // with the translation, skill cards left English
    std::filesystem::path translated;    // with the translation, skill cards translated
    std::vector<std::filesystem::path> earlier;  // as earlier releases of the translation left it
    std::filesystem::path out;           // receives Payload/ and profile.json
    DifferOptions differ;
    std::function<void(const std::string&)> progress;  // one line per step, when set
};

// Builds the installer's payload and profile from copies of the game (what morra-pack does):
// checks the copies, makes the ten patches with our differ and checks each by applying it with
// the installer's applier, then writes out/Payload (the eleven payload files) and out/profile.json
// (the build-input profile). Everything is written into a hidden sibling folder first and takes
// `out`'s name only when complete, so `out` must not exist yet or be an empty folder; on failure
// nothing is left. Throws PackError (or std::runtime_error for a file that cannot be read).
void pack(const PackInputs& inputs);

}  // namespace morra::tools
