#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace morra::files {
class FileManager;
}  // namespace morra::files

namespace morra::game {

// The game's identity.
inline constexpr const char* kBundleIdentifier = "com.holtstudio.morravellant";
inline constexpr const char* kExecutableName = "Morra Vellant";

// What the game search and validation need of an application bundle's Info.plist.
struct BundleInfo {
    std::optional<std::string> identifier;  // CFBundleIdentifier, when it is a string
    std::optional<std::string> executable;  // CFBundleExecutable, when it is a string
};

// The values of a property list's bytes, XML or binary. A list that is not one, is larger than a
// real Info.plist ever is, nests containers deeper than one does or (binary) refers in a cycle or
// expands to too many values gives no values: the parser never sees it, so no property list can
// exhaust the stack or the memory.
BundleInfo parseBundleInfo(std::string_view propertyList);

// Reads Contents/Info.plist of a bundle folder. Nothing when the folder does not exist or is not a
// folder; a missing, unreadable or unacceptable property list gives a BundleInfo without values.
// Never throws for a file-system reason.
std::optional<BundleInfo> readBundleInfo(const files::FileManager& fileManager, const std::filesystem::path& bundle);

// Whether a folder is the macOS edition of Morra Vellant: an .app (any letter case) whose
// Info.plist names the game's bundle identifier and executable.
bool validateBundleIdentity(const files::FileManager& fileManager, const std::filesystem::path& bundle);

}  // namespace morra::game
