#include "Resources.h"

#include <system_error>

#if defined(__APPLE__)
#include <mach-o/dyld.h>

#include <vector>
#endif

namespace morra {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> executablePath() {
    std::error_code error;
#if defined(__APPLE__)
    uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    std::vector<char> buffer(size + 1);
    if (_NSGetExecutablePath(buffer.data(), &size) != 0) return std::nullopt;
    fs::path path = fs::canonical(buffer.data(), error);
#else
    fs::path path = fs::read_symlink("/proc/self/exe", error);
#endif
    if (error) return std::nullopt;
    return path;
}

}  // namespace

std::optional<fs::path> resourcesDirectory() {
    std::optional<fs::path> executable = executablePath();
    if (!executable) return std::nullopt;
#if defined(__APPLE__)
    fs::path resources = executable->parent_path().parent_path() / "Resources";
#else
    fs::path resources = executable->parent_path().parent_path() / "share" / "MorraRussianLumenInstaller";
#endif
    std::error_code error;
    if (!fs::is_directory(resources, error)) return std::nullopt;
    return resources;
}

}  // namespace morra
