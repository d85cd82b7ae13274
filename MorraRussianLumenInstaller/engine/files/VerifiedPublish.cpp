#include "files/VerifiedPublish.h"

#include <cerrno>

#include "core/InstallerError.h"
#include "files/FileError.h"
#include "files/Sha256.h"

namespace morra::files {

namespace fs = std::filesystem;

void publishVerified(const FileManager& fileManager, const fs::path& target, TemporaryRole role, Placement placement,
                     const std::function<std::string(const fs::path&)>& produce, const std::string& expectedDigest,
                     const std::string& mismatchMessage) {
    TemporaryFiles temporaries(fileManager);
    const fs::path& temporary = temporaries.add(temporarySibling(target, role));
    if (produce(temporary) != expectedDigest) throw core::InstallerError(mismatchMessage);
    if (placement == Placement::Replace) fileManager.replaceItem(target, temporary);
    else fileManager.moveItem(temporary, target);
}

void publishCopy(const FileManager& fileManager, const fs::path& target, const fs::path& source, TemporaryRole role,
                 Placement placement, const std::string& expectedDigest, const std::string& mismatchMessage) {
    publishVerified(
        fileManager, target, role, placement,
        [&](const fs::path& temporary) {
            fileManager.copyItem(source, temporary);
            return sha256(fileManager, temporary);
        },
        expectedDigest, mismatchMessage);
}

bool publishCopyOrKeep(const FileManager& fileManager, const fs::path& target, const fs::path& source,
                       TemporaryRole role, const std::string& expectedDigest, const std::string& mismatchMessage) {
    try {
        publishCopy(fileManager, target, source, role, Placement::CreateNew, expectedDigest, mismatchMessage);
        return true;
    } catch (const FileError& error) {
        if (error.code().value() != EEXIST || error.operation() != FileOperation::Rename) throw;
        return false;
    }
}

}  // namespace morra::files
