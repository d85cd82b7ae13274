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

// The copies of one build of the game.
struct BuildCopies {
    std::string build;                   // its build number; empty: the one build 57314208, unnamed
    std::filesystem::path original;      // the game as the build ships it
    std::filesystem::path englishCards;  // with the translation, skill cards left English
    std::filesystem::path translated;    // with the translation, skill cards translated
    std::vector<std::filesystem::path> earlier;  // as earlier releases of the translation left it
};

struct PackInputs {
    // One unnamed build, or several named ones in the order the installer tries them.
    std::vector<BuildCopies> builds;
    std::filesystem::path out;  // receives Payload/ and profile.json
    DifferOptions differ;
    std::function<void(const std::string&)> progress;  // one line per step, when set
};

// Builds the installer's payload and profile from copies of the game (what morra-pack does):
// checks the copies, makes each build's ten patches with our differ and checks each by applying
// it with the installer's applier, then writes out/profile.json (the build-input profile) and
// out/Payload: for one unnamed build its eleven payload files directly in it, with the one-build
// profile; for named builds Payload/<build>/, each payload file stored once (storedPayloadFile),
// with the profile in the list form. A patch between the same two files as an earlier build's is
// that build's file, made once. Everything is written into a hidden sibling folder first and takes
// `out`'s name only when complete, so `out` must not exist yet or be an empty folder; on failure
// nothing is left. Throws PackError, naming the build and the copy at fault (or
// std::runtime_error for a file that cannot be read).
void pack(const PackInputs& inputs);

}  // namespace morra::tools
