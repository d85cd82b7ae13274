#include "steps/PayloadValidation.h"

#include "core/InstallerError.h"
#include "files/Sha256.h"
#include "context/InstallContext.h"

namespace morra::steps {

void validatePayload(const context::InstallContext& context) {
    for (const game::PayloadFile& file : context.profile().payload) {
        const std::filesystem::path path = context.payloadFile(file.name);
        if (!context.fileManager().fileExists(path))
            throw core::InstallerError("В приложении отсутствуют файлы перевода.");
        if (files::sha256(context.fileManager(), path) != file.digest)
            throw core::InstallerError("Файлы перевода повреждены.");
    }
}

}  // namespace morra::steps
