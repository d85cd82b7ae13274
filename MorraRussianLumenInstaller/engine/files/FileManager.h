#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/FileHandle.h"

namespace morra::files {

// The engine's one way to the file system: every call that reaches it goes through here, so that
// a test can make any one of them fail (the fault hook) and an operation can count the bytes it
// moves (the transfer observer). Failures are thrown as FileError; a file that is not a regular
// file where one is read is refused so (FileErrorReason::NotRegularFile) before anything is read
// from it.
class FileManager {
public:
    FileManager() = default;
    explicit FileManager(FaultHook hook);

    // A copy that reports the bytes it reads, copies and writes through `observer`.
    FileManager withTransferObserver(std::function<void(std::uint64_t bytes)> observer) const;
    // Tells the observer that `bytes` more bytes of work are done.
    void reportTransfer(std::uint64_t bytes) const;

    // A copy for one operation on the game `application`. Where the system may refuse to let us
    // change another maker's application (App Management), a refusal of the first change inside
    // the bundle is thrown with the reason it means: EPERM, the system's refusal, as
    // FileErrorReason::AppManagement; EACCES, files of another account, as ForeignOwner. Once a
    // change inside has succeeded, every later failure is thrown as the failed call it is.
    // Where the system has no such guard, nothing differs. Copies made from the result share what
    // has happened.
    FileManager guardingChangesIn(const std::filesystem::path& application) const;
    // Whether the system guards applications so; the system's own answer unless a test sets it.
    FileManager withAppManagement(bool guarded) const;

    // True when the path names an existing item, following symbolic links (a dangling link is
    // absent). Never throws.
    bool fileExists(const std::filesystem::path& path) const;
    // True when the path names an existing folder, following symbolic links. Never throws.
    bool directoryExists(const std::filesystem::path& path) const;
    // Whether the last component is a symbolic link, without following it; throws if lstat fails.
    bool isSymbolicLink(const std::filesystem::path& path) const;
    std::uint64_t fileSize(const std::filesystem::path& path) const;
    mode_t permissions(const std::filesystem::path& path) const;
    void setPermissions(const std::filesystem::path& path, mode_t mode) const;
    // The device that holds the path (files on one device share its free space).
    dev_t volumeOf(const std::filesystem::path& path) const;
    // Whether copies made inside this folder's volume share their storage with the original.
    bool clonesFiles(const std::filesystem::path& path) const;
    // Bytes that an unprivileged user may still write on the volume that holds the path.
    std::uint64_t freeSpace(const std::filesystem::path& path) const;
    // The absolute path with "." and ".." removed and the symbolic links of its existing part
    // resolved, with no trailing separator. Throws only when the path cannot be made absolute.
    std::filesystem::path resolvedPath(const std::filesystem::path& path) const;
    // The names of a folder's entries.
    std::vector<std::string> directoryEntries(const std::filesystem::path& path) const;

    // Opens a regular file for reading. It is opened without waiting (a named pipe or a device
    // never blocks the call) and refused unless it is a regular file.
    FileHandle openForReading(const std::filesystem::path& path) const;
    // Refuses, as openForReading does, anything at the path that is not a regular file; an absent
    // path passes. Used to find a hostile file before an operation changes anything.
    void requireRegularFileIfPresent(const std::filesystem::path& path) const;
    // Creates a new file; fails if anything exists at the path.
    FileHandle createNewFile(const std::filesystem::path& path, mode_t mode = 0644) const;
    // The whole content of a regular file, or nothing when it holds more than maximumSize bytes.
    std::optional<std::string> readContents(const std::filesystem::path& path, std::uint64_t maximumSize) const;

    // Copies a regular file to a new path (fails if it exists): a clone where the file system can,
    // a copy inside the kernel or through a buffer otherwise, flushed to stable storage. On
    // failure nothing is left at the destination.
    void copyItem(const std::filesystem::path& from, const std::filesystem::path& to) const;
    // Gives an item a new name; fails if something exists at the destination.
    void moveItem(const std::filesystem::path& from, const std::filesystem::path& to) const;
    // Makes target name the item at replacement, in one step; the old name of the replacement
    // disappears and no copy of the replaced content remains.
    void replaceItem(const std::filesystem::path& target, const std::filesystem::path& replacement) const;
    // Deletes a file and flushes its folder, so that it stays deleted.
    void removeItem(const std::filesystem::path& path) const;
    // Deletes a file of our own that is no longer wanted and flushes its folder; a failure is
    // ignored (clean-up never hides the error that is travelling).
    void discard(const std::filesystem::path& path) const noexcept;
    // Creates the folder and any missing parents; an existing folder is not an error. Returns
    // once the folder is durable: the parent of every level it made is flushed, or the folder's
    // own parent when it was there already.
    void createDirectories(const std::filesystem::path& path) const;
    // Flushes a folder's entries to stable storage.
    void syncDirectory(const std::filesystem::path& path) const;
    // Takes an exclusive advisory lock on an existing folder or file without waiting; nothing
    // when someone else holds it. The lock lasts as long as the returned handle. Where the file
    // system has no locks the handle comes back without one.
    std::optional<FileHandle> tryLockExclusive(const std::filesystem::path& path) const;

    std::filesystem::path homeDirectory() const;
    std::filesystem::path applicationSupportDirectory() const;
    // The program's own resources folder, found from its executable; nothing when it is missing.
    std::optional<std::filesystem::path> resourcesDirectory() const;

private:
    struct ChangeGuard;

    int fault(FileOperation operation, const std::filesystem::path& path) const;
    // A change at `path` has failed with `error`: thrown as the system's refusal when it is the
    // first change inside the guarded application, else as the failed call.
    [[noreturn]] void changeFailed(int error, FileOperation operation, const std::filesystem::path& path) const;
    // A change at `path` has been made.
    void changed(const std::filesystem::path& path) const;

    std::shared_ptr<const FaultHook> hook_;
    std::optional<bool> appManagement_;
    std::shared_ptr<ChangeGuard> guard_;
    std::shared_ptr<const std::function<void(std::uint64_t)>> observer_;
};

}  // namespace morra::files
