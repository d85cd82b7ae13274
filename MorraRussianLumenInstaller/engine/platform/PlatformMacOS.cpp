// The platform services on macOS. Each call is used as its manual page describes it; the callers
// treat every failure the same way on every system.
#include <CoreServices/CoreServices.h>
#include <fcntl.h>
#include <libproc.h>
#include <mach-o/dyld.h>
#include <stdio.h>
#include <sys/attr.h>
#include <sys/clonefile.h>
#include <sys/mount.h>
#include <sys/param.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <system_error>

#include "Platform.h"

namespace morra::platform {

namespace fs = std::filesystem;

int cloneFile(int sourceDescriptor, const fs::path& destination) {
    // fclonefileat creates the destination itself, with the source's permission bits, and refuses
    // an existing one. It fails with ENOTSUP on file systems that cannot clone (HFS+, exFAT, SMB)
    // and with EXDEV across volumes; the caller copies then.
    if (::fclonefileat(sourceDescriptor, AT_FDCWD, destination.c_str(), CLONE_NOFOLLOW) == 0) return 0;
    return errno;
}

int copyInKernel(int, int, std::size_t, std::size_t& copied) {
    copied = 0;
    return ENOTSUP;  // the caller copies through its own buffer
}

void startWriteback(int, std::uint64_t, std::uint64_t) {}

int flushToStableStorage(int descriptor) {
    // F_FULLFSYNC asks the drive to write its own cache too. Where the file system or the
    // descriptor does not support it (some network and FAT volumes), fsync is the best there is;
    // any other failure, an I/O error above all, is the answer.
    if (::fcntl(descriptor, F_FULLFSYNC) != -1) return 0;
    const int error = errno;
    if (error != ENOTSUP && error != ENOTTY && error != EINVAL) return error;
    return ::fsync(descriptor) == 0 ? 0 : errno;
}

int renameExclusive(const fs::path& from, const fs::path& to) {
    if (::renamex_np(from.c_str(), to.c_str(), RENAME_EXCL) == 0) return 0;
    // exFAT, FAT and SMB volumes answer ENOTSUP: the caller falls back.
    return errno == ENOTSUP || errno == EINVAL ? ENOTSUP : errno;
}

bool clonesFiles(const fs::path& directory) {
    struct statfs status {};
    if (::statfs(directory.c_str(), &status) != 0) return false;
    return std::strcmp(status.f_fstypename, "apfs") == 0;
}

std::optional<fs::path> executablePath() {
    uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    std::string buffer(size + 1, '\0');
    if (_NSGetExecutablePath(buffer.data(), &size) != 0) return std::nullopt;
    std::error_code error;
    fs::path path = fs::canonical(buffer.c_str(), error);
    if (error) return std::nullopt;
    return path;
}

fs::path resourcesDirectoryOf(const fs::path& executable) {
    return executable.parent_path().parent_path() / "Resources";  // X.app/Contents/MacOS/<file>
}

// Every system the program runs on (macOS 14 and later) guards application bundles this way; it
// came with macOS 13.
bool hasAppManagement() { return true; }

std::vector<std::string> appManagementSettingsAddresses() {
    return {"x-apple.systempreferences:com.apple.preference.security?Privacy_AppBundles",
            "x-apple.systempreferences:com.apple.preference.security?Privacy"};
}

bool checksSignatureAtFirstLaunch() { return true; }

fs::path applicationSupportDirectory(const fs::path& home) { return home / "Library" / "Application Support"; }

std::vector<RunningApplication> runningApplications() {
    // The process list: an application's bundle is told by its executable's path.
    std::vector<RunningApplication> applications;
    const int estimate = ::proc_listallpids(nullptr, 0);
    if (estimate <= 0) return applications;
    std::vector<pid_t> pids(static_cast<std::size_t>(estimate) + 64);
    const int count = ::proc_listallpids(pids.data(), static_cast<int>(pids.size() * sizeof(pid_t)));
    if (count <= 0) return applications;
    for (int i = 0; i < count && static_cast<std::size_t>(i) < pids.size(); ++i) {
        char buffer[PROC_PIDPATHINFO_MAXSIZE];
        if (::proc_pidpath(pids[static_cast<std::size_t>(i)], buffer, sizeof buffer) <= 0) continue;
        const fs::path executable(buffer);
        RunningApplication application;
        application.bundle = bundleOfExecutable(executable);
        if (!application.bundle) application.localizedName = executable.filename().string();
        applications.push_back(std::move(application));
    }
    return applications;
}

std::optional<fs::path> applicationWithBundleIdentifier(const std::string& identifier) {
    CFStringRef name = CFStringCreateWithCString(kCFAllocatorDefault, identifier.c_str(), kCFStringEncodingUTF8);
    if (!name) return std::nullopt;
    // Deprecated in favour of NSWorkspace, which would pull Objective-C into the engine; the call
    // still answers on every supported system.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
    CFArrayRef applications = LSCopyApplicationURLsForBundleIdentifier(name, nullptr);
#pragma clang diagnostic pop
    CFRelease(name);
    if (!applications) return std::nullopt;
    std::optional<fs::path> result;
    if (CFArrayGetCount(applications) > 0) {
        auto url = static_cast<CFURLRef>(CFArrayGetValueAtIndex(applications, 0));
        UInt8 path[PATH_MAX];
        if (CFURLGetFileSystemRepresentation(url, true, path, sizeof path))
            result = fs::path(reinterpret_cast<const char*>(path));
    }
    CFRelease(applications);
    return result;
}

}  // namespace morra::platform
