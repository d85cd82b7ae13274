#include "steps/PayloadValidation.h"

#include "core/InstallerError.h"
#include "files/Sha256.h"
#include "context/InstallContext.h"

namespace morra {

void validatePayload(const InstallContext& context) {
    for (const PayloadFile& file : context.profile().payload) {
        const std::filesystem::path path = context.payloadFile(file.name);
        if (!context.fileManager().fileExists(path)) throw InstallerError("В приложении отсутствуют файлы перевода.");
        if (sha256(context.fileManager(), path) != file.digest) throw InstallerError("Файлы перевода повреждены.");
    }
}

}  // namespace morra
