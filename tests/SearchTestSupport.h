#pragma once

// Helpers for the game-search tests: minimal application bundles (only what the identity test
// reads) and Steam library lists.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "TestSupport.h"

namespace morra::test {

// A temporary folder named by its canonical path, so that it compares equal to resolved paths.
class ScratchFolder {
public:
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& relative) const { return path_ / relative; }

private:
    TemporaryDirectory directory_;
    std::filesystem::path path_ = std::filesystem::canonical(directory_.path());
};

inline std::string plistString(std::string_view key, std::string_view value) {
    return "\t<key>" + std::string(key) + "</key>\n\t<string>" + std::string(value) + "</string>\n";
}

// An XML Info.plist with the given entries (already formatted dictionary members).
inline std::string infoPlist(const std::string& members) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n" +
           members + "</dict>\n</plist>\n";
}

inline const std::string& gameInfoPlist() {
    static const std::string plist = infoPlist(plistString("CFBundleIdentifier", "com.holtstudio.morravellant") +
                                               plistString("CFBundleExecutable", "Morra Vellant") +
                                               plistString("CFBundleName", "Morra Vellant"));
    return plist;
}

// A folder with this Info.plist and nothing more (by default one that passes the game's identity
// test, without game data).
inline std::filesystem::path makeBundle(const std::filesystem::path& bundle, const std::string& plist = gameInfoPlist()) {
    writeFile(bundle / "Contents" / "Info.plist", plist);
    return bundle;
}

// The Steam library list under a home folder's default Steam root.
inline std::filesystem::path libraryFoldersUnder(const std::filesystem::path& home) {
    return home / "Library" / "Application Support" / "Steam" / "steamapps" / "libraryfolders.vdf";
}

// Where the search looks for the game inside a Steam library.
inline std::filesystem::path steamGameIn(const std::filesystem::path& library) {
    return library / "steamapps" / "common" / "Morra Vellant" / "morra.app";
}

// A library list in the Steam client's layout naming the given folders, in order.
inline std::string libraryFoldersListing(const std::vector<std::string>& libraries) {
    std::string text = "\"libraryfolders\"\n{\n";
    for (std::size_t index = 0; index < libraries.size(); ++index) {
        text += "\t\"" + std::to_string(index) + "\"\n\t{\n";
        text += "\t\t\"path\"\t\t\"" + libraries[index] + "\"\n";
        text += "\t\t\"label\"\t\t\"\"\n\t\t\"contentid\"\t\t\"12345\"\n";
        text += "\t\t\"apps\"\n\t\t{\n\t\t\t\"228980\"\t\t\"1234\"\n\t\t}\n\t}\n";
    }
    return text + "}\n";
}

}  // namespace morra::test
