#include "steps/PayloadValidation.h"

#include "InstallerError.h"
#include "files/Sha256.h"
#include "operations/Engine.h"

namespace morra {

void validatePayload(const Engine& engine) {
    const std::filesystem::path payload = engine.payloadDirectory();
    for (const PayloadFile& file : engine.profile().payload) {
        const std::filesystem::path path = payload / file.name;
        if (!engine.fileManager().fileExists(path)) throw InstallerError("В приложении отсутствуют файлы перевода.");
        if (sha256(engine.fileManager(), path) != file.digest) throw InstallerError("Файлы перевода повреждены.");
    }
}

}  // namespace morra
