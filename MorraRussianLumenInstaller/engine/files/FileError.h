#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "files/FileHandle.h"

namespace morra::files {

// What a failure of the file system means beyond the call that failed.
enum class FileErrorReason {
    FailedCall,      // the call failed; its errno tells why
    NotRegularFile,  // a file opened to be read is a folder, a pipe or a device (errno 0: the call worked)
    AppManagement,   // EPERM on the first change inside a guarded game: the system refused it
    ForeignOwner,    // EACCES on the first change inside a guarded game: its files are another account's
};

// A failure of the file system, as facts: the errno, the call, the file as the call named it (it
// may be a hidden temporary of ours) and what the failure means. It holds no words for the
// player; those are made where errors leave the engine. Its description is a short English
// statement of the facts, for logs and maintainers, such as
//   "read /Games/morra.app/…/level2: Input/output error".
class FileError : public std::system_error {
public:
    FileError(int error, FileOperation operation, const std::filesystem::path& path,
              FileErrorReason reason = FileErrorReason::FailedCall);

    const char* what() const noexcept override { return facts_.c_str(); }
    FileOperation operation() const { return operation_; }
    const std::filesystem::path& path() const { return path_; }
    FileErrorReason reason() const { return reason_; }

private:
    FileOperation operation_;
    std::filesystem::path path_;
    FileErrorReason reason_;
    std::string facts_;
};

[[noreturn]] void throwFileError(int error, FileOperation operation, const std::filesystem::path& path,
                                 FileErrorReason reason = FileErrorReason::FailedCall);

// A path as a message shows it: our hidden temporaries by the file they stand in for, and bytes
// that are not UTF-8 escaped.
std::string displayPath(const std::filesystem::path& path);
// The last component of a path, as a message shows it.
std::string displayName(const std::filesystem::path& path);

}  // namespace morra::files
