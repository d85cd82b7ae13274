#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "core/InstallerError.h"
#include "files/FileHandle.h"

namespace morra {

// A failed call of the file system, worded for the player: what failed, on which file (as the
// player knows it: a hidden temporary of ours is named by the file it stands in for), and the
// system's description, in Russian where we have words for it (systemErrorText). For example:
//   "Не удалось прочитать файл /Games/morra.app/…/level2: Ошибка ввода-вывода: …"
class FileError : public std::system_error {
public:
    FileError(int error, FileOperation operation, const std::filesystem::path& path);

    // The whole text above (std::system_error would append the system's English description).
    const char* what() const noexcept override { return message_.c_str(); }
    FileOperation operation() const { return operation_; }
    const std::filesystem::path& path() const { return path_; }

private:
    FileOperation operation_;
    std::filesystem::path path_;
    std::string message_;
};

// The system's refusal to let the installer change the game's application bundle (App Management
// on macOS): what the player reads instead of a failed call, naming the file that was to change.
InstallerError appManagementRefusal(const std::filesystem::path& path);
// The system's refusal to let this account change the game's files (they belong to another
// account): what the player reads instead of a failed call, naming the file that was to change.
InstallerError foreignOwnerRefusal(const std::filesystem::path& path);

[[noreturn]] void throwFileError(int error, FileOperation operation, const std::filesystem::path& path);

// A path as a message shows it: our hidden temporaries by the file they stand in for, and bytes
// that are not UTF-8 escaped.
std::string displayPath(const std::filesystem::path& path);
// The last component of a path, as a message shows it.
std::string displayName(const std::filesystem::path& path);

}  // namespace morra
