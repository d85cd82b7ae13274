#include "Engine.h"

namespace morra {

void Engine::validatePayload() const {
    const std::filesystem::path payload = payloadDirectory();
    for (const PayloadFile& file : profile_.payload) {
        const std::filesystem::path path = payload / file.name;
        if (!fileManager_.fileExists(path)) throw InstallerError("В приложении отсутствуют файлы перевода.");
        if (sha256(path) != file.digest) throw InstallerError("Файлы перевода повреждены.");
    }
}

}  // namespace morra
