#include "steps/AtomicReplace.h"

#include "files/FileError.h"
#include "files/Sha256.h"
#include "files/VerifiedPublish.h"

namespace morra::steps {

namespace fs = std::filesystem;

void replaceAtomically(const files::FileManager& fileManager, const fs::path& target, const fs::path& contentsOf,
                       const std::string& expectedDigest, const std::string& mismatchMessage) {
    files::publishCopy(fileManager, target, contentsOf, files::TemporaryRole::Restoring, files::Placement::Replace,
                       expectedDigest, mismatchMessage);
}

void replaceAtomically(const files::FileManager& fileManager, const fs::path& target, const std::string& contents) {
    const mode_t permissions = fileManager.permissions(target);  // a missing target fails here
    files::publishVerified(
        fileManager, target, files::TemporaryRole::Updating, files::Placement::Replace,
        [&](const fs::path& temporary) {
            files::FileHandle handle = fileManager.createNewFile(temporary, 0600);
            handle.write(contents.data(), contents.size());
            fileManager.setPermissions(temporary, permissions);
            handle.sync();
            return files::sha256(fileManager, temporary);
        },
        files::sha256Hex(contents.data(), contents.size()),
        "Не удалось записать файл " + files::displayPath(target) + ": записанное не совпало с задуманным.");
}

}  // namespace morra::steps
