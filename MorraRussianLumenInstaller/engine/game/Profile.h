#pragma once

#include <string>
#include <vector>

namespace morra {

// The digests of the one supported game build and of its payload. The program uses the profile
// compiled into it (builtInProfile); tests and benchmarks may hand an engine the profile of a
// fixture they generated.
struct AssetDigests {
    std::string file;
    std::string original;
    std::string englishCards;
    std::string translatedCards;
    std::vector<std::string> earlierReleases;
};

struct PayloadFile {
    std::string name;
    std::string digest;
};

struct AddedFileDigests {
    std::string target;  // relative to the bundles folder, e.g. "fonts/russianblind"
    std::string source;  // expected digest of the game's source bundle; empty for the lockit
    std::string expected;
    std::vector<std::string> replaceable;
};

struct Profile {
    std::vector<AssetDigests> assets;          // the five manifest entries, in manifest order
    std::vector<PayloadFile> payload;          // the eleven payload files, in checking order
    std::vector<AddedFileDigests> addedFiles;  // the four added files, in table order
};

// The profile compiled into the program at build time.
const Profile& builtInProfile();

}  // namespace morra
