#include "files/FileManager.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "files/FileError.h"
#include "platform/Platform.h"

namespace morra::files {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kCopyChunk = 1 << 20;
constexpr std::size_t kKernelCopyStep = 64 << 20;

int openRetrying(const fs::path& path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Neither the system nor the file system can rename exclusively or link; the name is checked
// just before the rename. Operations on one game are never concurrent (the game's lock), so
// nothing of ours can take the name in between.
bool cannotLink(int error) { return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS; }

// Whether `path` names `folder` or something inside it, by their components as written.
bool isWithin(const fs::path& path, const fs::path& folder) {
    const auto inFolder = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end()).first;
    return inFolder == folder.end() || (std::next(inFolder) == folder.end() && inFolder->empty());
}

// The rest of `source` into `destination` where the system cannot copy in the kernel.
void copyThroughBuffer(const FileManager& files, FileHandle& source, FileHandle& destination) {
    std::vector<char> buffer(kCopyChunk);
    for (;;) {
        const std::size_t count = source.read(buffer.data(), buffer.size());
        if (count == 0) return;
        destination.write(buffer.data(), count);
        files.reportTransfer(count);
    }
}

}  // namespace

struct FileManager::ChangeGuard {
    explicit ChangeGuard(fs::path folder) : application(std::move(folder)) {}
    const fs::path application;
    std::atomic<bool> changed{false};
};

FileManager::FileManager(FaultHook hook) : hook_(std::make_shared<const FaultHook>(std::move(hook))) {}

FileManager FileManager::withTransferObserver(std::function<void(std::uint64_t)> observer) const {
    FileManager copy = *this;
    copy.observer_ = std::make_shared<const std::function<void(std::uint64_t)>>(std::move(observer));
    return copy;
}

void FileManager::reportTransfer(std::uint64_t bytes) const {
    if (observer_ && *observer_) (*observer_)(bytes);
}

FileManager FileManager::guardingChangesIn(const fs::path& application) const {
    FileManager copy = *this;
    if (appManagement_.value_or(platform::hasAppManagement())) copy.guard_ = std::make_shared<ChangeGuard>(application);
    return copy;
}

FileManager FileManager::withAppManagement(bool guarded) const {
    FileManager copy = *this;
    copy.appManagement_ = guarded;
    return copy;
}

void FileManager::changeFailed(int error, FileOperation operation, const fs::path& path) const {
    // The system refuses every change inside an application it guards (EPERM), so the first is
    // the one it refuses; EACCES there means the files belong to another account. A later refusal
    // is a plain permission problem of one folder or file.
    if (guard_ && !guard_->changed && isWithin(path, guard_->application)) {
        if (error == EPERM) throwFileError(error, operation, path, FileErrorReason::AppManagement);
        if (error == EACCES) throwFileError(error, operation, path, FileErrorReason::ForeignOwner);
    }
    throwFileError(error, operation, path);
}

void FileManager::changed(const fs::path& path) const {
    if (guard_ && isWithin(path, guard_->application)) guard_->changed = true;
}

int FileManager::fault(FileOperation operation, const fs::path& path) const {
    if (!hook_ || !*hook_) return 0;
    return (*hook_)(operation, path);
}

bool FileManager::fileExists(const fs::path& path) const {
    if (fault(FileOperation::Stat, path)) return false;
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

bool FileManager::directoryExists(const fs::path& path) const {
    if (fault(FileOperation::Stat, path)) return false;
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool FileManager::isSymbolicLink(const fs::path& path) const {
    if (int error = fault(FileOperation::Stat, path)) throwFileError(error, FileOperation::Stat, path);
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) throwFileError(errno, FileOperation::Stat, path);
    return S_ISLNK(status.st_mode);
}

std::uint64_t FileManager::fileSize(const fs::path& path) const {
    if (int error = fault(FileOperation::Stat, path)) throwFileError(error, FileOperation::Stat, path);
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) throwFileError(errno, FileOperation::Stat, path);
    return static_cast<std::uint64_t>(status.st_size);
}

mode_t FileManager::permissions(const fs::path& path) const {
    if (int error = fault(FileOperation::Stat, path)) throwFileError(error, FileOperation::Stat, path);
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) throwFileError(errno, FileOperation::Stat, path);
    return status.st_mode & 07777;
}

void FileManager::setPermissions(const fs::path& path, mode_t mode) const {
    if (int error = fault(FileOperation::SetPermissions, path)) changeFailed(error, FileOperation::SetPermissions, path);
    if (::chmod(path.c_str(), mode) != 0) changeFailed(errno, FileOperation::SetPermissions, path);
    changed(path);
}

dev_t FileManager::volumeOf(const fs::path& path) const {
    if (int error = fault(FileOperation::Stat, path)) throwFileError(error, FileOperation::Stat, path);
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) throwFileError(errno, FileOperation::Stat, path);
    return status.st_dev;
}

bool FileManager::clonesFiles(const fs::path& path) const {
    if (fault(FileOperation::Stat, path)) return false;
    return platform::clonesFiles(path);
}

std::uint64_t FileManager::freeSpace(const fs::path& path) const {
    if (int error = fault(FileOperation::Stat, path)) throwFileError(error, FileOperation::Stat, path);
    struct statvfs status {};
    if (::statvfs(path.c_str(), &status) != 0) throwFileError(errno, FileOperation::Stat, path);
    return static_cast<std::uint64_t>(status.f_bavail) * static_cast<std::uint64_t>(status.f_frsize);
}

fs::path FileManager::resolvedPath(const fs::path& path) const {
    fs::path standardized = fs::absolute(path).lexically_normal();
    fs::path resolved = standardized;
    if (!fault(FileOperation::Stat, path)) {
        std::error_code error;
        resolved = fs::weakly_canonical(standardized, error);
        if (error) resolved = standardized;  // a loop of links: the path stays as written
    }
    if (!resolved.has_filename() && resolved.has_relative_path()) resolved = resolved.parent_path();
    return resolved;
}

std::vector<std::string> FileManager::directoryEntries(const fs::path& path) const {
    if (int error = fault(FileOperation::List, path)) throwFileError(error, FileOperation::List, path);
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(path, error), end; !error && entry != end; entry.increment(error))
        names.push_back(entry->path().filename().string());
    if (error) throwFileError(error.value(), FileOperation::List, path);
    return names;
}

FileHandle FileManager::openForReading(const fs::path& path) const {
    if (int error = fault(FileOperation::Open, path)) throwFileError(error, FileOperation::Open, path);
    // Without O_NONBLOCK, opening a named pipe waits for a writer that never comes.
    const int fd = openRetrying(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throwFileError(errno, FileOperation::Open, path);
    FileHandle handle(fd, path, hook_);
    struct stat status {};
    if (::fstat(fd, &status) != 0) throwFileError(errno, FileOperation::Open, path);
    if (!S_ISREG(status.st_mode)) throwFileError(0, FileOperation::Open, path, FileErrorReason::NotRegularFile);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) throwFileError(errno, FileOperation::Open, path);
    return handle;
}

void FileManager::requireRegularFileIfPresent(const fs::path& path) const {
    if (fileExists(path)) openForReading(path);
}

FileHandle FileManager::createNewFile(const fs::path& path, mode_t mode) const {
    if (int error = fault(FileOperation::Create, path)) changeFailed(error, FileOperation::Create, path);
    const int fd = openRetrying(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) changeFailed(errno, FileOperation::Create, path);
    changed(path);
    return FileHandle(fd, path, hook_);
}

std::optional<std::string> FileManager::readContents(const fs::path& path, std::uint64_t maximumSize) const {
    FileHandle handle = openForReading(path);
    if (handle.size() > maximumSize) return std::nullopt;
    std::string contents;
    std::vector<char> buffer(kCopyChunk);
    for (;;) {
        const std::size_t count = handle.read(buffer.data(), buffer.size());
        if (count == 0) break;
        contents.append(buffer.data(), count);
        if (contents.size() > maximumSize) return std::nullopt;  // it grew while it was read
    }
    return contents;
}

void FileManager::copyItem(const fs::path& from, const fs::path& to) const {
    FileHandle source = openForReading(from);
    const std::uint64_t size = source.size();
    if (!fault(FileOperation::Clone, to)) {
        const int error = platform::cloneFile(source.descriptor(), to);
        if (error == EEXIST) throwFileError(EEXIST, FileOperation::Create, to);
        if (error == 0) {
            changed(to);
            try {
                const int fd = openRetrying(to, O_RDONLY | O_CLOEXEC);
                if (fd < 0) throwFileError(errno, FileOperation::Open, to);
                FileHandle clone(fd, to, hook_);
                clone.sync();
            } catch (...) {
                discard(to);
                throw;
            }
            reportTransfer(size);
            return;
        }
        // This file system cannot clone these files: the bytes are copied below.
    }

    FileHandle destination = createNewFile(to, 0600);
    try {
        for (;;) {
            if (int error = fault(FileOperation::Read, from)) throwFileError(error, FileOperation::Read, from);
            if (int error = fault(FileOperation::Write, to)) throwFileError(error, FileOperation::Write, to);
            std::size_t copied = 0;
            const int error = platform::copyInKernel(source.descriptor(), destination.descriptor(), kKernelCopyStep, copied);
            if (error == ENOTSUP) {
                copyThroughBuffer(*this, source, destination);
                break;
            }
            if (error != 0) throwFileError(error, FileOperation::Write, to);
            if (copied == 0) break;
            reportTransfer(copied);
        }
        if (int error = fault(FileOperation::SetPermissions, to)) throwFileError(error, FileOperation::SetPermissions, to);
        struct stat status {};
        if (::fstat(source.descriptor(), &status) != 0) throwFileError(errno, FileOperation::Stat, from);
        if (::fchmod(destination.descriptor(), status.st_mode & 07777) != 0)
            throwFileError(errno, FileOperation::SetPermissions, to);
        destination.sync();
    } catch (...) {
        destination.close();
        discard(to);
        throw;
    }
}

void FileManager::moveItem(const fs::path& from, const fs::path& to) const {
    if (int error = fault(FileOperation::Rename, to)) changeFailed(error, FileOperation::Rename, to);
    int error = platform::renameExclusive(from, to);
    if (error == ENOTSUP) {
        // No exclusive rename here (FAT, exFAT, network shares): a hard link refuses an existing
        // name just as well, and where there are no hard links either the name is checked first.
        error = ::link(from.c_str(), to.c_str()) == 0 ? 0 : errno;
        if (error == 0) {
            ::unlink(from.c_str());
        } else if (cannotLink(error)) {
            struct stat status {};
            if (::lstat(to.c_str(), &status) == 0) throwFileError(EEXIST, FileOperation::Rename, to);
            error = errno == ENOENT ? 0 : errno;
            if (error == 0 && ::rename(from.c_str(), to.c_str()) != 0) error = errno;
        }
    }
    if (error != 0) changeFailed(error, FileOperation::Rename, to);
    changed(to);
    syncDirectory(to.parent_path());
}

void FileManager::replaceItem(const fs::path& target, const fs::path& replacement) const {
    if (int error = fault(FileOperation::Rename, target)) changeFailed(error, FileOperation::Rename, target);
    if (::rename(replacement.c_str(), target.c_str()) != 0) changeFailed(errno, FileOperation::Rename, target);
    changed(target);
    syncDirectory(target.parent_path());
}

void FileManager::removeItem(const fs::path& path) const {
    if (int error = fault(FileOperation::Remove, path)) changeFailed(error, FileOperation::Remove, path);
    if (::unlink(path.c_str()) != 0) changeFailed(errno, FileOperation::Remove, path);
    changed(path);
    syncDirectory(path.parent_path());
}

void FileManager::discard(const fs::path& path) const noexcept {
    try {
        if (fault(FileOperation::Discard, path)) return;
        // Flushed once gone, so that a power cut does not bring it back into the game.
        if (::unlink(path.c_str()) == 0) syncDirectory(path.parent_path());
    } catch (...) {
    }
}

void FileManager::createDirectories(const fs::path& path) const {
    if (int error = fault(FileOperation::CreateDirectory, path)) changeFailed(error, FileOperation::CreateDirectory, path);
    // The levels that are missing, from the top: each is durable only once its parent is flushed.
    fs::path folder = path.lexically_normal();
    if (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();  // a trailing separator
    std::vector<fs::path> missing;
    for (fs::path level = folder; level.has_relative_path(); level = level.parent_path()) {
        struct stat status {};
        if (::lstat(level.c_str(), &status) == 0 || errno != ENOENT) break;
        missing.insert(missing.begin(), level);
    }
    std::error_code error;
    if (fs::create_directories(path, error)) changed(path);
    if (error) changeFailed(error.value(), FileOperation::CreateDirectory, path);
    if (!directoryExists(path)) throwFileError(ENOTDIR, FileOperation::CreateDirectory, path);
    for (const fs::path& level : missing) syncDirectory(level.parent_path());
    // A folder that was there may have been made by a run that was killed before it flushed it.
    if (missing.empty()) syncDirectory(folder.parent_path());
}

void FileManager::syncDirectory(const fs::path& path) const {
    const fs::path directory = path.empty() ? fs::path(".") : path;
    if (int error = fault(FileOperation::Sync, directory)) throwFileError(error, FileOperation::Sync, directory);
    const int fd = openRetrying(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throwFileError(errno, FileOperation::Sync, directory);
    FileHandle handle(fd, directory, nullptr);
    // Some file systems cannot flush a folder (EINVAL); its entries are then as safe as they get.
    if (int error = platform::flushToStableStorage(fd); error != 0 && error != EINVAL)
        throwFileError(error, FileOperation::Sync, directory);
}

std::optional<FileHandle> FileManager::tryLockExclusive(const fs::path& path) const {
    if (int error = fault(FileOperation::Lock, path)) throwFileError(error, FileOperation::Lock, path);
    const int fd = openRetrying(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throwFileError(errno, FileOperation::Lock, path);
    FileHandle handle(fd, path, hook_);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return handle;
        if (errno == EWOULDBLOCK) return std::nullopt;
        // A file system without locks (some network shares) cannot be guarded this way; the
        // operation goes on unguarded rather than not at all.
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOTSUP) return handle;
        if (errno != EINTR) throwFileError(errno, FileOperation::Lock, path);
    }
}

fs::path FileManager::homeDirectory() const {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

fs::path FileManager::applicationSupportDirectory() const {
    return platform::applicationSupportDirectory(homeDirectory());
}

std::optional<fs::path> FileManager::resourcesDirectory() const {
    const std::optional<fs::path> executable = platform::executablePath();
    if (!executable) return std::nullopt;
    const fs::path resources = platform::resourcesDirectoryOf(*executable);
    if (!directoryExists(resources)) return std::nullopt;
    return resources;
}

}  // namespace morra::files
