#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include "game/Profile.h"

namespace morra::tools {

// A profile file that cannot be used; the text names the key or the file at fault.
class ProfileFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses and checks a profile file: every key present, every digest 64 lower-case hexadecimal
// characters, the file names and their order as the installer knows them.
Profile readProfileFile(const std::filesystem::path& path);
Profile parseProfile(const std::string& json);

// Checks that every payload file exists in the folder and has the digest the profile gives.
void checkPayload(const Profile& profile, const std::filesystem::path& payloadDirectory);

std::string profileToJson(const Profile& profile);

}  // namespace morra::tools
