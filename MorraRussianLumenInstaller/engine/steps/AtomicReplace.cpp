#include "steps/AtomicReplace.h"

#include "files/FileError.h"
#include "files/Sha256.h"
#include "files/VerifiedPublish.h"

namespace morra {

namespace fs = std::filesystem;

void replaceAtomically(const FileManager& fileManager, const fs::path& target, const fs::path& contentsOf,
                       const std::string& expectedDigest, const std::string& mismatchMessage) {
    publishCopy(fileManager, target, contentsOf, TemporaryRole::Restoring, Placement::Replace, expectedDigest,
                mismatchMessage);
}

void replaceAtomically(const FileManager& fileManager, const fs::path& target, const std::string& contents) {
    const mode_t permissions = fileManager.permissions(target);  // a missing target fails here
    publishVerified(
        fileManager, target, TemporaryRole::Updating, Placement::Replace,
        [&](const fs::path& temporary) {
            FileHandle handle = fileManager.createNewFile(temporary, 0600);
            handle.write(contents.data(), contents.size());
            fileManager.setPermissions(temporary, permissions);
            handle.sync();
            return sha256(fileManager, temporary);
        },
        sha256Hex(contents.data(), contents.size()),
        "Не удалось записать файл " + displayPath(target) + ": записанное не совпало с задуманным.");
}

}  // namespace morra
