#include "Sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace morra {

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

}  // namespace morra
