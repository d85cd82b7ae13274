#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace morra {

// What the game-search and validation need of an application bundle's Info.plist.
struct BundleInfo {
    std::optional<std::string> identifier;  // CFBundleIdentifier, when it is a string
    std::optional<std::string> executable;  // CFBundleExecutable, when it is a string
};

// Reads Contents/Info.plist of a bundle folder, in XML or binary form. Gives nothing when the
// folder does not exist or is not a folder; a missing, unreadable, oversized or malformed
// property list gives a BundleInfo without values. Never throws.
std::optional<BundleInfo> readBundleInfo(const std::filesystem::path& bundle);

// The same, over the bytes of a property list.
BundleInfo parseBundleInfo(const std::string& propertyList);

}  // namespace morra
