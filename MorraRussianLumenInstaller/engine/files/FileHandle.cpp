#include "files/FileHandle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/FileError.h"
#include "platform/Platform.h"

namespace morra::files {

namespace fs = std::filesystem;

namespace {
// Large files are flushed before they take a name; starting the disk writes while the rest is
// still being produced keeps that flush short.
constexpr std::uint64_t kWritebackStep = 32ull << 20;
}  // namespace

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

int FileHandle::fault(FileOperation operation) const {
    if (!hook_ || !*hook_) return 0;
    return (*hook_)(operation, path_);
}

std::size_t FileHandle::read(void* buffer, std::size_t size) {
    if (int error = fault(FileOperation::Read)) throwFileError(error, FileOperation::Read, path_);
    for (;;) {
        const ssize_t count = ::read(fd_, buffer, size);
        if (count >= 0) return static_cast<std::size_t>(count);
        if (errno != EINTR) throwFileError(errno, FileOperation::Read, path_);
    }
}

std::size_t FileHandle::readAt(void* buffer, std::size_t size, std::uint64_t offset) {
    if (int error = fault(FileOperation::Read)) throwFileError(error, FileOperation::Read, path_);
    for (;;) {
        const ssize_t count = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
        if (count >= 0) return static_cast<std::size_t>(count);
        if (errno != EINTR) throwFileError(errno, FileOperation::Read, path_);
    }
}

void FileHandle::write(const void* buffer, std::size_t size) {
    if (int error = fault(FileOperation::Write)) throwFileError(error, FileOperation::Write, path_);
    const char* bytes = static_cast<const char*>(buffer);
    while (size > 0) {
        const ssize_t count = ::write(fd_, bytes, size);
        if (count < 0) {
            if (errno == EINTR) continue;
            throwFileError(errno, FileOperation::Write, path_);
        }
        bytes += count;
        size -= static_cast<std::size_t>(count);
        written_ += static_cast<std::uint64_t>(count);
    }
    if (written_ - writebackStart_ >= kWritebackStep) {
        platform::startWriteback(fd_, writebackStart_, written_ - writebackStart_);
        writebackStart_ = written_;
    }
}

void FileHandle::sync() {
    if (int error = fault(FileOperation::Sync)) throwFileError(error, FileOperation::Sync, path_);
    if (int error = platform::flushToStableStorage(fd_)) throwFileError(error, FileOperation::Sync, path_);
}

std::uint64_t FileHandle::size() const {
    struct stat status {};
    if (::fstat(fd_, &status) != 0) throwFileError(errno, FileOperation::Stat, path_);
    return static_cast<std::uint64_t>(status.st_size);
}

void FileHandle::close() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace morra::files
