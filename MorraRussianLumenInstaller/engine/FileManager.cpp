#include "FileManager.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <vector>

#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#elif defined(__APPLE__)
#include <sys/clonefile.h>
#endif

namespace morra {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kCopyChunk = 1 << 20;

int callFault(const std::shared_ptr<const FaultHook>& hook, FileOperation operation, const fs::path& path) {
    if (!hook || !*hook) return 0;
    return (*hook)(operation, path);
}

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

}  // namespace

void throwFileError(int error, const fs::path& path) {
    throw std::system_error(error, std::generic_category(), path.string());
}

// ---- FileHandle ------------------------------------------------------------------------------

FileHandle::FileHandle(int fd, fs::path path, std::shared_ptr<const FaultHook> hook)
    : fd_(fd), path_(std::move(path)), hook_(std::move(hook)) {}

FileHandle::FileHandle(FileHandle&& other) noexcept
    : fd_(other.fd_),
      written_(other.written_),
      writebackStart_(other.writebackStart_),
      path_(std::move(other.path_)),
      hook_(std::move(other.hook_)) {
    other.fd_ = -1;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        written_ = other.written_;
        writebackStart_ = other.writebackStart_;
        path_ = std::move(other.path_);
        hook_ = std::move(other.hook_);
        other.fd_ = -1;
    }
    return *this;
}

FileHandle::~FileHandle() { close(); }

int FileHandle::fault(FileOperation operation) const { return callFault(hook_, operation, path_); }

std::size_t FileHandle::read(void* buffer, std::size_t size) {
    if (int error = fault(FileOperation::Read)) throwFileError(error, path_);
    for (;;) {
        ssize_t count = ::read(fd_, buffer, size);
        if (count >= 0) return static_cast<std::size_t>(count);
        if (errno != EINTR) throwFileError(errno, path_);
    }
}

std::size_t FileHandle::readAt(void* buffer, std::size_t size, std::uint64_t offset) {
    if (int error = fault(FileOperation::Read)) throwFileError(error, path_);
    for (;;) {
        ssize_t count = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
        if (count >= 0) return static_cast<std::size_t>(count);
        if (errno != EINTR) throwFileError(errno, path_);
    }
}

void FileHandle::write(const void* buffer, std::size_t size) {
    if (int error = fault(FileOperation::Write)) throwFileError(error, path_);
    const char* bytes = static_cast<const char*>(buffer);
    while (size > 0) {
        ssize_t count = ::write(fd_, bytes, size);
        if (count < 0) {
            if (errno == EINTR) continue;
            throwFileError(errno, path_);
        }
        bytes += count;
        size -= static_cast<std::size_t>(count);
        written_ += static_cast<std::uint64_t>(count);
    }
    startWriteback();
}

void FileHandle::startWriteback() {
#if defined(__linux__)
    // Large files are flushed before they take a name; starting the disk writes while the rest is
    // still being produced keeps that flush short. A hint only: the flush reports any error.
    constexpr std::uint64_t kWritebackStep = 32ull << 20;
    if (written_ - writebackStart_ < kWritebackStep) return;
    ::sync_file_range(fd_, static_cast<off64_t>(writebackStart_), static_cast<off64_t>(written_ - writebackStart_),
                      SYNC_FILE_RANGE_WRITE);
    writebackStart_ = written_;
#endif
}

void FileHandle::sync() {
    if (int error = fault(FileOperation::Sync)) throwFileError(error, path_);
#if defined(__APPLE__)
    if (::fcntl(fd_, F_FULLFSYNC) == 0) return;
#endif
    if (::fsync(fd_) != 0) throwFileError(errno, path_);
}

std::uint64_t FileHandle::size() const {
    struct stat status {};
    if (::fstat(fd_, &status) != 0) throwFileError(errno, path_);
    return static_cast<std::uint64_t>(status.st_size);
}

void FileHandle::close() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

// ---- FileManager -----------------------------------------------------------------------------

FileManager::FileManager(FaultHook hook) : hook_(std::make_shared<const FaultHook>(std::move(hook))) {}

int FileManager::fault(FileOperation operation, const fs::path& path) const {
    return callFault(hook_, operation, path);
}

bool FileManager::fileExists(const fs::path& path) const {
    if (fault(FileOperation::Stat, path)) return false;
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

bool FileManager::isSymbolicLink(const fs::path& path) const {
    if (int error = fault(FileOperation::Stat, path)) throwFileError(error, path);
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) throwFileError(errno, path);
    return S_ISLNK(status.st_mode);
}

mode_t FileManager::permissions(const fs::path& path) const {
    if (int error = fault(FileOperation::Stat, path)) throwFileError(error, path);
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) throwFileError(errno, path);
    return status.st_mode & 07777;
}

void FileManager::setPermissions(const fs::path& path, mode_t mode) const {
    if (int error = fault(FileOperation::SetPermissions, path)) throwFileError(error, path);
    if (::chmod(path.c_str(), mode) != 0) throwFileError(errno, path);
}

FileHandle FileManager::openForReading(const fs::path& path) const {
    if (int error = fault(FileOperation::Open, path)) throwFileError(error, path);
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throwFileError(errno, path);
    FileHandle handle(fd, path, hook_);
    struct stat status {};
    if (::fstat(fd, &status) != 0) throwFileError(errno, path);
    if (S_ISDIR(status.st_mode)) throwFileError(EISDIR, path);
    return handle;
}

FileHandle FileManager::createNewFile(const fs::path& path, mode_t mode) const {
    if (int error = fault(FileOperation::Create, path)) throwFileError(error, path);
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throwFileError(errno, path);
    return FileHandle(fd, path, hook_);
}

std::optional<std::string> FileManager::readContents(const fs::path& path, std::uint64_t maximumSize) const {
    FileHandle handle = openForReading(path);
    if (handle.size() > maximumSize) return std::nullopt;
    std::string contents;
    std::vector<char> buffer(kCopyChunk);
    for (;;) {
        std::size_t count = handle.read(buffer.data(), buffer.size());
        if (count == 0) break;
        contents.append(buffer.data(), count);
        if (contents.size() > maximumSize) return std::nullopt;  // it grew while it was read
    }
    return contents;
}

void FileManager::writeNewFile(const fs::path& path, std::string_view contents) const {
    FileHandle handle = createNewFile(path);
    try {
        handle.write(contents.data(), contents.size());
        handle.sync();
    } catch (...) {
        handle.close();
        ::unlink(path.c_str());
        throw;
    }
}

void FileManager::copyItem(const fs::path& from, const fs::path& to) const {
    FileHandle source = openForReading(from);
    struct stat status {};
    if (::fstat(source.descriptor(), &status) != 0) throwFileError(errno, from);
#if defined(__APPLE__)
    // A clone creates the destination itself (keeping the permission bits) and refuses an
    // existing one; where the file system cannot clone, the bytes are copied below.
    if (!fault(FileOperation::Clone, to)) {
        if (::fclonefileat(source.descriptor(), AT_FDCWD, to.c_str(), 0) == 0) {
            try {
                int fd = ::open(to.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0) throwFileError(errno, to);
                FileHandle clone(fd, to, hook_);
                clone.sync();
                return;
            } catch (...) {
                ::unlink(to.c_str());
                throw;
            }
        }
        if (errno == EEXIST) throwFileError(EEXIST, to);
    }
#endif
    FileHandle destination = createNewFile(to, 0600);
    try {
        bool cloned = false;
#if defined(__linux__)
        if (!fault(FileOperation::Clone, to)) cloned = ::ioctl(destination.descriptor(), FICLONE, source.descriptor()) == 0;
#endif
        if (!cloned) cloned = copyInKernel(source, destination);
        if (!cloned) {
            std::vector<char> buffer(kCopyChunk);
            for (;;) {
                std::size_t count = source.read(buffer.data(), buffer.size());
                if (count == 0) break;
                destination.write(buffer.data(), count);
            }
        }
        if (int error = fault(FileOperation::SetPermissions, to)) throwFileError(error, to);
        if (::fchmod(destination.descriptor(), status.st_mode & 07777) != 0) throwFileError(errno, to);
        destination.sync();
    } catch (...) {
        destination.close();
        ::unlink(to.c_str());
        throw;
    }
}

bool FileManager::copyInKernel(FileHandle& source, FileHandle& destination) const {
#if defined(__linux__)
    // The bytes go from file to file inside the kernel, without passing through this process.
    constexpr std::size_t kStep = 64 << 20;
    for (bool first = true;; first = false) {
        if (int error = fault(FileOperation::Read, source.path())) throwFileError(error, source.path());
        if (int error = fault(FileOperation::Write, destination.path())) throwFileError(error, destination.path());
        const ssize_t count = ::copy_file_range(source.descriptor(), nullptr, destination.descriptor(), nullptr, kStep, 0);
        if (count == 0) return true;
        if (count < 0) {
            if (errno == EINTR) continue;
            // Not supported between these files: the ordinary copy does it all.
            if (first && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) return false;
            throwFileError(errno, destination.path());
        }
    }
#else
    (void)source;
    (void)destination;
    return false;
#endif
}

void FileManager::moveItem(const fs::path& from, const fs::path& to) const {
    if (int error = fault(FileOperation::Rename, to)) throwFileError(error, to);
#if defined(__linux__)
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno != EINVAL && errno != ENOSYS) throwFileError(errno, to);
        // The file system cannot rename without replacing: a hard link refuses an existing name.
        if (::link(from.c_str(), to.c_str()) != 0) throwFileError(errno, to);
        ::unlink(from.c_str());
    }
#elif defined(__APPLE__)
    if (::renamex_np(from.c_str(), to.c_str(), RENAME_EXCL) != 0) throwFileError(errno, to);
#else
    if (::link(from.c_str(), to.c_str()) != 0) throwFileError(errno, to);
    ::unlink(from.c_str());
#endif
    syncDirectory(to.parent_path());
}

void FileManager::replaceItem(const fs::path& target, const fs::path& replacement) const {
    if (int error = fault(FileOperation::Rename, target)) throwFileError(error, target);
    if (::rename(replacement.c_str(), target.c_str()) != 0) throwFileError(errno, target);
    syncDirectory(target.parent_path());
}

void FileManager::removeItem(const fs::path& path) const {
    if (int error = fault(FileOperation::Remove, path)) throwFileError(error, path);
    if (::unlink(path.c_str()) != 0) throwFileError(errno, path);
    syncDirectory(path.parent_path());
}

void FileManager::createDirectories(const fs::path& path) const {
    if (int error = fault(FileOperation::CreateDirectory, path)) throwFileError(error, path);
    std::error_code error;
    fs::create_directories(path, error);
    if (error) throwFileError(error.value(), path);
    if (!fs::is_directory(path, error)) throwFileError(ENOTDIR, path);
}

void FileManager::syncDirectory(const fs::path& path) const {
    const fs::path directory = path.empty() ? fs::path(".") : path;
    if (int error = fault(FileOperation::Sync, directory)) throwFileError(error, directory);
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throwFileError(errno, directory);
    FileHandle handle(fd, directory, nullptr);
    if (::fsync(fd) != 0 && errno != EINVAL) throwFileError(errno, directory);
}

fs::path FileManager::homeDirectory() const {
    std::string home = environmentValue("HOME");
    if (!home.empty()) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

fs::path FileManager::applicationSupportDirectory() const {
#if defined(__APPLE__)
    return homeDirectory() / "Library" / "Application Support";
#else
    std::string dataHome = environmentValue("XDG_DATA_HOME");
    if (!dataHome.empty()) return dataHome;
    return homeDirectory() / ".local" / "share";
#endif
}

}  // namespace morra
