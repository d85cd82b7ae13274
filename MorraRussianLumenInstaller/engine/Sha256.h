#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>

namespace morra {

// An incremental SHA-256 hasher (OpenSSL libcrypto).
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(const void* data, std::size_t size);
    // The digest as 64 lower-case hexadecimal characters; the hasher cannot be used afterwards.
    std::string finalHex();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// 32 digest bytes as 64 lower-case hexadecimal characters.
std::string hexDigest(const unsigned char* bytes, std::size_t size);

}  // namespace morra
