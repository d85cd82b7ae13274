// Measures the program's SHA-256 of a file against `openssl dgst -sha256` on the same file, in one
// run, and prints both and their ratio.
//
//   bench_sha256 [FILE] [SIZE_MIB]   (default: a 1024 MiB file of random bytes in the working folder)
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "files/FileManager.h"
#include "files/Sha256.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void makeFile(const fs::path& path, std::size_t mib) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> block((1 << 20) / 8);
    for (std::size_t i = 0; i < mib; ++i) {
        for (auto& word : block) word = random();
        out.write(reinterpret_cast<const char*>(block.data()), 1 << 20);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path file = argc > 1 ? fs::path(argv[1]) : fs::path("bench-sha256.bin");
    const std::size_t mib = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1024;
    const bool made = !fs::exists(file);
    if (made) makeFile(file, mib);
    const morra::files::FileManager files;

    // Warm the page cache so that both read from memory.
    morra::files::sha256(files, file);
    double ours = 1e9, theirs = 1e9;
    std::string ourDigest;
    for (int round = 0; round < 3; ++round) {
        auto start = Clock::now();
        ourDigest = morra::files::sha256(files, file);
        ours = std::min(ours, seconds(start));
        start = Clock::now();
        const std::string command = "openssl dgst -sha256 '" + file.string() + "' > /dev/null";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "openssl failed\n");
            return 1;
        }
        theirs = std::min(theirs, seconds(start));
    }
    const double size = static_cast<double>(fs::file_size(file)) / (1 << 20);
    std::printf("file: %s (%.0f MiB), digest %s\n", file.c_str(), size, ourDigest.c_str());
    std::printf("sha256 (ours):        %.3f s  %.0f MiB/s\n", ours, size / ours);
    std::printf("openssl dgst -sha256: %.3f s  %.0f MiB/s\n", theirs, size / theirs);
    std::printf("ratio ours/openssl: %.3f (time)\n", ours / theirs);
    if (made) fs::remove(file);
    return 0;
}
