#include "files/VerifiedPublish.h"

#include "core/InstallerError.h"

namespace morra {

namespace fs = std::filesystem;

void publishVerified(const FileManager& fileManager, const fs::path& target, TemporaryRole role, Placement placement,
                     const std::function<std::string(const fs::path&)>& produce, const std::string& expectedDigest,
                     const std::string& mismatchMessage) {
    TemporaryFiles temporaries(fileManager);
    const fs::path& temporary = temporaries.add(temporarySibling(target, role));
    if (produce(temporary) != expectedDigest) throw InstallerError(mismatchMessage);
    if (placement == Placement::Replace) fileManager.replaceItem(target, temporary);
    else fileManager.moveItem(temporary, target);
}

}  // namespace morra
