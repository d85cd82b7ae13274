// The platform services on Linux.
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "Platform.h"

namespace morra::platform {

namespace fs = std::filesystem;

int cloneFile(int sourceDescriptor, const fs::path& destination) {
    struct stat status {};
    if (::fstat(sourceDescriptor, &status) != 0) return errno;
    int fd;
    do {
        fd = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno;
    int error = 0;
    if (::ioctl(fd, FICLONE, sourceDescriptor) != 0 || ::fchmod(fd, status.st_mode & 07777) != 0) error = errno;
    ::close(fd);
    if (error != 0) ::unlink(destination.c_str());
    return error;
}

int copyInKernel(int fromDescriptor, int toDescriptor, std::size_t length, std::size_t& copied) {
    for (;;) {
        const ssize_t count = ::copy_file_range(fromDescriptor, nullptr, toDescriptor, nullptr, length, 0);
        if (count >= 0) {
            copied = static_cast<std::size_t>(count);
            return 0;
        }
        if (errno == EINTR) continue;
        // Not supported between these files: the caller copies through its own buffer.
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) return ENOTSUP;
        return errno;
    }
}

void startWriteback(int descriptor, std::uint64_t offset, std::uint64_t length) {
    ::sync_file_range(descriptor, static_cast<off64_t>(offset), static_cast<off64_t>(length), SYNC_FILE_RANGE_WRITE);
}

int flushToStableStorage(int descriptor) { return ::fsync(descriptor) == 0 ? 0 : errno; }

int renameExclusive(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    // Older kernels and some file systems (FAT, network shares) have no exclusive rename.
    return errno == EINVAL || errno == ENOSYS ? ENOTSUP : errno;
}

bool clonesFiles(const fs::path& directory) {
    struct statfs status {};
    if (::statfs(directory.c_str(), &status) != 0) return false;
    // Btrfs always shares cloned extents; other file systems are counted as copying.
    return status.f_type == BTRFS_SUPER_MAGIC;
}

std::optional<fs::path> executablePath() {
    std::error_code error;
    fs::path path = fs::read_symlink("/proc/self/exe", error);
    if (error) return std::nullopt;
    return path;
}

fs::path resourcesDirectoryOf(const fs::path& executable) {
    return executable.parent_path().parent_path() / "share" / "MorraRussianLumenInstaller";
}

bool hasAppManagement() { return false; }

std::vector<std::string> appManagementSettingsAddresses() { return {}; }

bool checksSignatureAtFirstLaunch() { return false; }

fs::path applicationSupportDirectory(const fs::path& home) {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome) return dataHome;
    return home / ".local" / "share";
}

std::vector<RunningApplication> runningApplications() {
    // Every process whose executable can be read; a process without a bundle is known by the
    // executable's file name.
    std::vector<RunningApplication> applications;
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
    return applications;
}

std::optional<fs::path> applicationWithBundleIdentifier(const std::string&) {
    return std::nullopt;  // Linux keeps no register of applications by bundle identifier
}

}  // namespace morra::platform
