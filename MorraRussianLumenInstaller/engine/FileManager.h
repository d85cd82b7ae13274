#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace morra {

// Every call that reaches the file system, named so that a test can make any one of them fail.
enum class FileOperation {
    Stat,             // stat/lstat of a path
    Open,             // opening a file for reading
    Create,           // creating a new file for writing
    Read,
    Write,
    Sync,             // flushing a file or a directory to stable storage
    Clone,            // cloning a file's extents (a failure falls back to copying)
    Rename,           // moveItem and replaceItem
    Remove,
    CreateDirectory,
    SetPermissions,
};

// Returns 0 to let the call run, or an errno value that the call then fails with.
using FaultHook = std::function<int(FileOperation, const std::filesystem::path&)>;

// An open file descriptor with the hook of the file manager that opened it. Closing never throws.
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
    // Writes all bytes or throws.
    void write(const void* buffer, std::size_t size);
    // Flushes the file's data to stable storage (F_FULLFSYNC on macOS).
    void sync();
    std::uint64_t size() const;
    void close() noexcept;

private:
    int fault(FileOperation operation) const;
    void startWriteback();

    int fd_ = -1;
    std::uint64_t written_ = 0;
    std::uint64_t writebackStart_ = 0;
    std::filesystem::path path_;
    std::shared_ptr<const FaultHook> hook_;
};

// The engine's file-system service. Platform failures are thrown as std::system_error whose
// description is "<path>: <system's error text>". New content is always flushed to stable storage
// before it is given a name that someone relies on, and the directory is flushed after a rename.
class FileManager {
public:
    FileManager() = default;
    explicit FileManager(FaultHook hook);

    // True when the path names an existing item, following symbolic links (a dangling link is
    // absent). Never throws.
    bool fileExists(const std::filesystem::path& path) const;
    // Whether the last component is a symbolic link, without following it; throws if lstat fails.
    bool isSymbolicLink(const std::filesystem::path& path) const;
    mode_t permissions(const std::filesystem::path& path) const;
    void setPermissions(const std::filesystem::path& path, mode_t mode) const;

    FileHandle openForReading(const std::filesystem::path& path) const;
    // Creates a new file; fails if anything exists at the path.
    FileHandle createNewFile(const std::filesystem::path& path, mode_t mode = 0644) const;
    // The whole content of a file, or nothing when it holds more than maximumSize bytes.
    std::optional<std::string> readContents(const std::filesystem::path& path, std::uint64_t maximumSize) const;
    // Creates a new file holding the bytes, flushed to stable storage; fails if the path exists.
    void writeNewFile(const std::filesystem::path& path, std::string_view contents) const;

    // Copies a regular file to a new path (fails if it exists): a clone where the file system can,
    // an ordinary copy otherwise; the copy is flushed to stable storage. On failure nothing is
    // left at the destination.
    void copyItem(const std::filesystem::path& from, const std::filesystem::path& to) const;
    // Gives an item a new name; fails if the destination exists.
    void moveItem(const std::filesystem::path& from, const std::filesystem::path& to) const;
    // Makes target name the item at replacement, in one step; the old name of the replacement
    // disappears and no copy of the replaced content remains.
    void replaceItem(const std::filesystem::path& target, const std::filesystem::path& replacement) const;
    void removeItem(const std::filesystem::path& path) const;
    // Creates the directory and any missing parents; an existing directory is not an error.
    void createDirectories(const std::filesystem::path& path) const;
    // Flushes a directory's entries to stable storage.
    void syncDirectory(const std::filesystem::path& path) const;

    std::filesystem::path homeDirectory() const;
    std::filesystem::path applicationSupportDirectory() const;

private:
    int fault(FileOperation operation, const std::filesystem::path& path) const;
    bool copyInKernel(FileHandle& source, FileHandle& destination) const;

    std::shared_ptr<const FaultHook> hook_;
};

// Throws std::system_error for errno value `error` with the path as its context.
[[noreturn]] void throwFileError(int error, const std::filesystem::path& path);

}  // namespace morra
