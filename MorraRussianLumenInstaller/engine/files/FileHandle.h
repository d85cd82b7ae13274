#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

namespace morra::files {

// Every kind of call that reaches the file system, named so that a test can make any one fail.
enum class FileOperation {
    Stat,             // stat/lstat/statvfs of a path, resolving a path
    List,             // reading a folder's entries
    Open,             // opening a file for reading
    Create,           // creating a new file for writing
    Read,
    Write,
    Sync,             // flushing a file or a folder to stable storage
    Clone,            // cloning a file's extents (a failure falls back to copying)
    Rename,           // moveItem and replaceItem
    Remove,
    Discard,          // deleting a file of our own that is no longer wanted (failure ignored)
    CreateDirectory,
    SetPermissions,
    Lock,
};

// Returns 0 to let the call run, or an errno value that the call then fails with.
using FaultHook = std::function<int(FileOperation, const std::filesystem::path&)>;

// An open file descriptor with the fault hook of the file manager that opened it. Closing never
// throws.
class FileHandle {
public:
    FileHandle() = default;
    FileHandle(int fd, std::filesystem::path path, std::shared_ptr<const FaultHook> hook);
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();

    int descriptor() const { return fd_; }
    const std::filesystem::path& path() const { return path_; }

    // Reads up to size bytes; 0 means the end of the file. Retries on EINTR.
    std::size_t read(void* buffer, std::size_t size);
    // Reads up to size bytes at the given offset without moving the file position.
    std::size_t readAt(void* buffer, std::size_t size, std::uint64_t offset);
    // Writes all bytes or throws. Large files start reaching the disk while they are written.
    void write(const void* buffer, std::size_t size);
    // Flushes the file's data to stable storage.
    void sync();
    std::uint64_t size() const;
    void close() noexcept;

private:
    int fault(FileOperation operation) const;

    int fd_ = -1;
    std::uint64_t written_ = 0;
    std::uint64_t writebackStart_ = 0;
    std::filesystem::path path_;
    std::shared_ptr<const FaultHook> hook_;
};

}  // namespace morra::files
