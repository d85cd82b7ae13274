#pragma once

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace morra::files {

class FileManager;

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

// The digest text of bytes in memory.
std::string sha256Hex(const void* data, std::size_t size);
// The digest text of a whole file, read through the file service in 1 MiB chunks; the file is
// never read whole into memory.
std::string sha256(const FileManager& fileManager, const std::filesystem::path& file);

// Whether a digest text is one of a list; digests compare as exact texts.
inline bool containsDigest(const std::vector<std::string>& digests, const std::string& digest) {
    return std::find(digests.begin(), digests.end(), digest) != digests.end();
}

}  // namespace morra::files
