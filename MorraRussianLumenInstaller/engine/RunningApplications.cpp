#include "RunningApplications.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#if defined(__APPLE__)
#include <libproc.h>

#include <vector>
#endif

namespace morra {

namespace fs = std::filesystem;

namespace {

bool equalsIgnoringCase(const std::string& left, const std::string& right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

}  // namespace

std::optional<fs::path> bundleOfExecutable(const fs::path& executable) {
    const fs::path macOS = executable.parent_path();
    const fs::path contents = macOS.parent_path();
    const fs::path bundle = contents.parent_path();
    if (macOS.filename() != "MacOS" || contents.filename() != "Contents") return std::nullopt;
    if (!equalsIgnoringCase(bundle.extension().string(), ".app")) return std::nullopt;
    return bundle;
}

std::vector<RunningApplication> runningApplications() {
    std::vector<RunningApplication> applications;
#if defined(__linux__)
    std::error_code error;
    for (fs::directory_iterator entry("/proc", error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            continue;
        std::error_code linkError;
        fs::path executable = fs::read_symlink(entry->path() / "exe", linkError);
        if (linkError) continue;
        // An executable replaced while it runs is reported with this suffix.
        std::string text = executable.string();
        const std::string deleted = " (deleted)";
        if (text.size() > deleted.size() && text.compare(text.size() - deleted.size(), deleted.size(), deleted) == 0)
            executable = text.substr(0, text.size() - deleted.size());
        RunningApplication application;
        application.bundle = bundleOfExecutable(executable);
        if (!application.bundle) application.localizedName = executable.filename().string();
        applications.push_back(std::move(application));
    }
#elif defined(__APPLE__)
    // The same rule over the process list: the executable's path tells the bundle.
    std::vector<pid_t> pids(static_cast<std::size_t>(proc_listallpids(nullptr, 0)) + 64);
    int count = proc_listallpids(pids.data(), static_cast<int>(pids.size() * sizeof(pid_t)));
    for (int i = 0; i < count; ++i) {
        char buffer[PROC_PIDPATHINFO_MAXSIZE];
        if (proc_pidpath(pids[static_cast<std::size_t>(i)], buffer, sizeof buffer) <= 0) continue;
        fs::path executable(buffer);
        RunningApplication application;
        application.bundle = bundleOfExecutable(executable);
        if (!application.bundle) application.localizedName = executable.filename().string();
        applications.push_back(std::move(application));
    }
#endif
    return applications;
}

}  // namespace morra
