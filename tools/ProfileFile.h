#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "game/Profile.h"

namespace morra::tools {

// A profile file that cannot be used; the text names the key or the file at fault.
class ProfileFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses and checks a profile file: every key present, every digest 64 lower-case hexadecimal
// characters, the file names and their order as the installer knows them. The file holds either
// one build (57314208, its payload files directly in the payload folder) or, under "builds", a
// list of builds, each with its number and its own folder under the payload folder.
game::KnownBuilds readProfileFile(const std::filesystem::path& path);
game::KnownBuilds parseProfile(const std::string& json);

// Every payload file as stored under the payload folder, each once (storedPayloadFile).
std::vector<std::filesystem::path> storedPayloadFiles(const game::KnownBuilds& builds);
// Checks that every payload file is stored in the folder and has the digest the profile gives.
void checkPayload(const game::KnownBuilds& builds, const std::filesystem::path& payloadDirectory);

// The one-build form for build 57314208 alone with no folder of its own, else the list form.
std::string profileToJson(const game::KnownBuilds& builds);

}  // namespace morra::tools
