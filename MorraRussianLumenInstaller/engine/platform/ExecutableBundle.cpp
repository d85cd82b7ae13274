#include <algorithm>
#include <cctype>
#include <string_view>

#include "Platform.h"

namespace morra::platform {

namespace fs = std::filesystem;

std::optional<fs::path> bundleOfExecutable(const fs::path& executable) {
    const fs::path macOS = executable.parent_path();
    const fs::path contents = macOS.parent_path();
    const fs::path bundle = contents.parent_path();
    if (macOS.filename() != "MacOS" || contents.filename() != "Contents") return std::nullopt;
    static constexpr std::string_view kExtension = ".app";
    const std::string extension = bundle.extension().string();
    const bool isApp = std::equal(extension.begin(), extension.end(), kExtension.begin(), kExtension.end(),
                                  [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    if (!isApp) return std::nullopt;
    return bundle;
}

}  // namespace morra::platform
