// Applies one bsdiff patch to a large asset with scattered small changes, three ways in one run:
//
//   1. our applier, which writes the new file and computes its SHA-256 in the same pass;
//   2. /usr/bin/bspatch, then sha256sum of its output;
//   3. /usr/bin/bspatch, then our sha256 of its output.
//
// Every step runs as a child process of its own, so that its wall time and its peak memory
// (maximum resident set size, from wait4) are its own; a way's time is the sum of its steps and its
// memory the largest of its steps. Each way runs several rounds in turn and the best round counts.
// The three digests must agree. Our applier is also timed with the final flush to stable storage
// that the installer adds (the tool does not flush), for information.
//
//   bench_patch [SIZE_MIB] [FOLDER] [ROUNDS]   (default: 256 MiB in the working folder, 3 rounds)
#include <bzlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bsdiff/BsdiffFile.h"
#include "bsdiff/SignMagnitude.h"
#include "files/Sha256.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// ---- Child modes ----

int applyMode(const char* oldFile, const char* newFile, const char* patchFile, bool sync) {
    try {
        morra::BsdiffFileOptions options;
        options.sync = sync;
        const morra::PatchedFile result = morra::applyBsdiffFile(morra::FileManager(), oldFile, newFile, patchFile, options);
        std::printf("%s\n", result.digest.c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fputs(error.what(), stderr);
        return 1;
    }
}

int digestMode(const char* file) {
    try {
        std::printf("%s\n", morra::sha256(morra::FileManager(), file).c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

// ---- Running and measuring children ----

struct Measure {
    double seconds = 0;
    double cpuSeconds = 0;  // user and system time
    long peakKiB = 0;
    std::string output;  // first word of the standard output
};

Measure run(const std::vector<std::string>& arguments) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string output;
    char buffer[256];
    for (ssize_t count; (count = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) output.append(buffer, static_cast<std::size_t>(count));
    ::close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid) throw std::runtime_error("wait4 failed");
    Measure measure;
    measure.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("step failed: " + arguments[0]);
    measure.peakKiB = usage.ru_maxrss;
    measure.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    measure.output = output.substr(0, output.find_first_of(" \n"));
    return measure;
}

Measure sequence(const std::vector<std::vector<std::string>>& steps) {
    Measure total;
    for (const auto& step : steps) {
        const Measure measure = run(step);
        total.seconds += measure.seconds;
        total.cpuSeconds += measure.cpuSeconds;
        total.peakKiB = std::max(total.peakKiB, measure.peakKiB);
        total.output = measure.output;
    }
    return total;
}

// ---- The asset and the patch ----

std::string offset(std::int64_t value) {
    unsigned char bytes[8];
    morra::encodeOffset(value, bytes);
    return std::string(reinterpret_cast<const char*>(bytes), 8);
}

// Streaming bzip2 compression (block size 9, as bsdiff writes).
class Compressor {
public:
    Compressor() {
        if (BZ2_bzCompressInit(&stream_, 9, 0, 0) != BZ_OK) throw std::runtime_error("bzip2 init failed");
    }
    ~Compressor() { BZ2_bzCompressEnd(&stream_); }
    void add(const char* data, std::size_t size) {
        if (size > 0) pump(data, size, BZ_RUN);
    }
    std::string finish() {
        pump(nullptr, 0, BZ_FINISH);
        return std::move(out_);
    }

private:
    void pump(const char* data, std::size_t size, int action) {
        stream_.next_in = const_cast<char*>(data);
        stream_.avail_in = static_cast<unsigned>(size);
        char buffer[1 << 16];
        for (;;) {
            stream_.next_out = buffer;
            stream_.avail_out = sizeof buffer;
            const int result = BZ2_bzCompress(&stream_, action);
            if (result < 0) throw std::runtime_error("bzip2 failed");
            out_.append(buffer, sizeof buffer - stream_.avail_out);
            if (action == BZ_FINISH ? result == BZ_STREAM_END : stream_.avail_in == 0) break;
        }
    }
    bz_stream stream_{};
    std::string out_;
};

// A random asset and a patch that changes it in `edits` scattered places: most edits replace a
// few bytes, some insert bytes, some delete bytes, as a translation of text and tables does.
void makeAssetAndPatch(const fs::path& asset, const fs::path& patch, std::uint64_t size, int edits) {
    std::mt19937_64 random(57314208);
    {
        std::ofstream out(asset, std::ios::binary | std::ios::trunc);
        std::vector<std::uint64_t> block((1 << 20) / 8);
        for (std::uint64_t done = 0; done < size; done += 1 << 20) {
            for (auto& word : block) word = random();
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(std::min<std::uint64_t>(1 << 20, size - done)));
        }
    }
    std::vector<std::uint64_t> positions;
    for (int i = 0; i < edits; ++i) positions.push_back(random() % (size - 4096));
    std::sort(positions.begin(), positions.end());

    Compressor control, diff, extra;
    const std::vector<char> zeros(1 << 20, 0);
    auto addZeros = [&](std::uint64_t count) {
        for (; count > 0;) {
            const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(count, zeros.size()));
            diff.add(zeros.data(), chunk);
            count -= chunk;
        }
    };
    std::uint64_t oldPosition = 0, newSize = 0;
    for (std::uint64_t position : positions) {
        if (position < oldPosition) continue;
        const std::uint64_t changed = 1 + random() % 48;
        const int kind = static_cast<int>(random() % 10);  // 0: insertion, 1: deletion, else replacement
        const std::uint64_t inserted = kind == 0 ? 1 + random() % 64 : 0;
        const std::uint64_t deleted = kind == 1 ? 1 + random() % 64 : 0;
        const std::uint64_t add = position - oldPosition + changed;
        addZeros(add - changed);
        std::string delta(changed, '\0');
        for (char& byte : delta) byte = static_cast<char>(1 + random() % 255);
        diff.add(delta.data(), delta.size());
        std::string bytes(inserted, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random());
        extra.add(bytes.data(), bytes.size());
        const std::string entry = offset(static_cast<std::int64_t>(add)) + offset(static_cast<std::int64_t>(inserted)) +
                                  offset(static_cast<std::int64_t>(deleted));
        control.add(entry.data(), entry.size());
        oldPosition += add + deleted;
        newSize += add + inserted;
    }
    const std::uint64_t rest = size - oldPosition;
    addZeros(rest);
    const std::string last = offset(static_cast<std::int64_t>(rest)) + offset(0) + offset(0);
    control.add(last.data(), last.size());
    newSize += rest;

    const std::string controlBytes = control.finish(), diffBytes = diff.finish(), extraBytes = extra.finish();
    std::ofstream out(patch, std::ios::binary | std::ios::trunc);
    out << "BSDIFF40" << offset(static_cast<std::int64_t>(controlBytes.size())) << offset(static_cast<std::int64_t>(diffBytes.size()))
        << offset(static_cast<std::int64_t>(newSize)) << controlBytes << diffBytes << extraBytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && (std::string(argv[1]) == "--apply" || std::string(argv[1]) == "--apply-sync"))
        return applyMode(argv[2], argv[3], argv[4], std::string(argv[1]) == "--apply-sync");
    if (argc == 3 && std::string(argv[1]) == "--sha256") return digestMode(argv[2]);

    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const fs::path folder = fs::absolute(argc > 2 ? fs::path(argv[2]) : fs::current_path()) / "bench-patch";
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    fs::create_directories(folder);
    const fs::path asset = folder / "asset", patch = folder / "asset.bsdiff", output = folder / "new";

    std::printf("making a %llu MiB asset and its patch...\n", static_cast<unsigned long long>(mib));
    std::fflush(stdout);
    makeAssetAndPatch(asset, patch, mib << 20, 2000);
    std::printf("patch: %llu bytes\n", static_cast<unsigned long long>(fs::file_size(patch)));

    struct Way {
        const char* name;
        std::vector<std::vector<std::string>> steps;
        Measure best;
    };
    std::vector<Way> ways = {
        {"ours: applier with its digest", {{self, "--apply", asset, output, patch}}, {}},
        {"bspatch, then sha256sum", {{"/usr/bin/bspatch", asset, output, patch}, {"/usr/bin/sha256sum", output}}, {}},
        {"bspatch, then our sha256", {{"/usr/bin/bspatch", asset, output, patch}, {self, "--sha256", output}}, {}},
        {"ours, flushed to disk", {{self, "--apply-sync", asset, output, patch}}, {}},
    };
    for (int round = 0; round < rounds; ++round) {
        for (Way& way : ways) {
            fs::remove(output);
            const Measure measure = sequence(way.steps);
            if (round == 0 || measure.seconds < way.best.seconds) {
                const long peak = std::max(way.best.peakKiB, measure.peakKiB);
                way.best = measure;
                way.best.peakKiB = peak;
            } else {
                way.best.peakKiB = std::max(way.best.peakKiB, measure.peakKiB);
            }
        }
    }
    fs::remove(output);

    std::printf("\n%-34s %9s %9s %12s  %s\n", "way", "time", "cpu time", "peak memory", "digest");
    for (const Way& way : ways)
        std::printf("%-34s %8.3fs %8.3fs %9.1f MiB  %s\n", way.name, way.best.seconds, way.best.cpuSeconds,
                    way.best.peakKiB / 1024.0, way.best.output.c_str());
    const bool agree = std::all_of(ways.begin(), ways.end(), [&](const Way& way) { return way.best.output == ways[0].best.output; });
    std::printf("\ndigests agree: %s\n", agree ? "yes" : "NO");
    for (int i : {1, 2})
        std::printf("%-22s %.2fx the time of ours, %.2fx its cpu time, %.1fx its peak memory\n",
                    i == 1 ? "bspatch + sha256sum:" : "bspatch + our sha256:", ways[i].best.seconds / ways[0].best.seconds,
                    ways[i].best.cpuSeconds / ways[0].best.cpuSeconds,
                    static_cast<double>(ways[i].best.peakKiB) / static_cast<double>(ways[0].best.peakKiB));
    fs::remove_all(folder);
    return agree ? 0 : 1;
}
