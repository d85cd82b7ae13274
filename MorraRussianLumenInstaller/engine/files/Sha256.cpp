#include "files/Sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

#include "files/FileManager.h"

namespace morra::files {

namespace {

constexpr std::size_t kChunkSize = 1 << 20;

std::string hexDigest(const unsigned char* bytes, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0x0f]);
    }
    return text;
}

}  // namespace

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    state_->context = EVP_MD_CTX_new();
    if (!state_->context || EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is unavailable");
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t size) {
    if (size > 0 && EVP_DigestUpdate(state_->context, data, size) != 1) throw std::runtime_error("SHA-256 failed");
}

std::string Sha256::finalHex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(state_->context, digest, &length) != 1) throw std::runtime_error("SHA-256 failed");
    return hexDigest(digest, length);
}

std::string sha256Hex(const void* data, std::size_t size) {
    Sha256 hasher;
    hasher.update(data, size);
    return hasher.finalHex();
}

std::string sha256(const FileManager& fileManager, const std::filesystem::path& file) {
    FileHandle handle = fileManager.openForReading(file);
    Sha256 hasher;
    std::vector<unsigned char> buffer(kChunkSize);
    for (;;) {
        const std::size_t count = handle.read(buffer.data(), buffer.size());
        if (count == 0) break;
        hasher.update(buffer.data(), count);
        fileManager.reportTransfer(count);
    }
    return hasher.finalHex();
}

}  // namespace morra::files
