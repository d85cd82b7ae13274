#include "files/FileError.h"

#include "files/TemporaryFiles.h"
#include "text/Utf8.h"

namespace morra::files {

namespace fs = std::filesystem;

namespace {

const char* callName(FileOperation operation) {
    switch (operation) {
        case FileOperation::Stat: return "stat";
        case FileOperation::List: return "list";
        case FileOperation::Open: return "open";
        case FileOperation::Create: return "create";
        case FileOperation::Read: return "read";
        case FileOperation::Write: return "write";
        case FileOperation::Sync: return "sync";
        case FileOperation::Clone: return "clone";
        case FileOperation::Rename: return "rename";
        case FileOperation::Remove: return "remove";
        case FileOperation::Discard: return "discard";
        case FileOperation::CreateDirectory: return "create directory";
        case FileOperation::SetPermissions: return "set permissions";
        case FileOperation::Lock: return "lock";
    }
    return "access";
}

std::string meaning(FileErrorReason reason, int error) {
    switch (reason) {
        case FileErrorReason::FailedCall: break;
        case FileErrorReason::NotRegularFile: return "not a regular file";
        case FileErrorReason::AppManagement: return "the system refused a change inside the game (App Management)";
        case FileErrorReason::ForeignOwner: return "the game's files belong to another account";
    }
    return std::generic_category().message(error);
}

}  // namespace

FileError::FileError(int error, FileOperation operation, const fs::path& path, FileErrorReason reason)
    : std::system_error(error, std::generic_category()),
      operation_(operation),
      path_(path),
      reason_(reason),
      facts_(std::string(callName(operation)) + " " + path.string() + ": " + meaning(reason, error)) {}

void throwFileError(int error, FileOperation operation, const fs::path& path, FileErrorReason reason) {
    throw FileError(error, operation, path, reason);
}

std::string displayPath(const fs::path& path) { return text::validUtf8(standInTarget(path).string()); }

std::string displayName(const fs::path& path) { return text::validUtf8(standInTarget(path).filename().string()); }

}  // namespace morra::files
