#include <vector>

#include "Engine.h"
#include "Sha256.h"

namespace morra {

namespace fs = std::filesystem;

namespace {
constexpr std::size_t kChunkSize = 1 << 20;
}

std::string Engine::sha256(const fs::path& file) const {
    FileHandle handle = fileManager_.openForReading(file);
    Sha256 hasher;
    std::vector<unsigned char> buffer(kChunkSize);
    for (;;) {
        std::size_t count = handle.read(buffer.data(), buffer.size());
        if (count == 0) break;
        hasher.update(buffer.data(), count);
    }
    return hasher.finalHex();
}

}  // namespace morra
