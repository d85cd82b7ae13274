// Our differ against /usr/bin/bsdiff on a pair shaped like a game's asset and its translated form
// (see PatchPair.h: 256 MiB of textures, tables of records, text, vertices, padding and repeated
// parts, with about 2000 scattered replacements, insertions and deletions, a few of them up to
// 64 KiB long), or on the patch benchmark's random asset with the same kind of edits, in one run:
//
//   1. ours: maps both files, makes the patch (every core) and writes it;
//   2. /usr/bin/bsdiff old new patch.
//
// Each runs as a child process of its own, so that its wall time and peak memory (maximum resident
// set size, from wait4) are its own. Both patches are then applied with our applier and ours also
// with /usr/bin/bspatch; every result must be the new file, byte for byte. Prints time, cpu time,
// peak memory and patch size of each, the ratios, our peak memory per old byte, and where our time
// went.
//
//   bench_differ [SIZE_MIB] [FOLDER] [ROUNDS_OF_OURS] [game|random]
//   (default: the game-like pair of 256 MiB in the working folder, 1 round)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "BsdiffDiffer.h"
#include "bsdiff/BsdiffFile.h"
#include "MappedFile.h"
#include "PatchPair.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    morra::bench::Measurement measurement;
    double cpuSeconds = 0;
    std::uintmax_t patchBytes = 0;
};

// Runs the work in a child and measures it, with the cpu time of the child.
Result measure(const std::function<int()>& work) {
    struct rusage before {};
    ::getrusage(RUSAGE_CHILDREN, &before);
    Result result;
    result.measurement = morra::bench::measureInChild(work);
    struct rusage after {};
    ::getrusage(RUSAGE_CHILDREN, &after);
    auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6; };
    result.cpuSeconds = seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_stime);
    return result;
}

int ours(const fs::path& oldFile, const fs::path& newFile, const fs::path& patchFile) {
    const morra::tools::MappedFile oldData(oldFile), newData(newFile);
    morra::tools::DifferTimings timings;
    morra::tools::DifferOptions options;
    options.timings = &timings;
    const std::string patch = morra::tools::makeBsdiff(oldData.bytes(), newData.bytes(), options);
    std::printf("  index %.2f s, matching %.2f s, layout %.2f s, streams %.2f s (bzip2)\n", timings.index,
                timings.matching, timings.layout, timings.writing);
    std::ofstream out(patchFile, std::ios::binary | std::ios::trunc);
    out.write(patch.data(), static_cast<std::streamsize>(patch.size()));
    out.close();
    return out ? 0 : 1;
}

int theirs(const fs::path& oldFile, const fs::path& newFile, const fs::path& patchFile) {
    const std::string tool = "/usr/bin/bsdiff";
    ::execl(tool.c_str(), tool.c_str(), oldFile.c_str(), newFile.c_str(), patchFile.c_str(), static_cast<char*>(nullptr));
    return 127;
}

std::string applied(const fs::path& oldFile, const fs::path& patchFile, const fs::path& output) {
    fs::remove(output);
    morra::bsdiff::BsdiffFileOptions options;
    options.sync = false;
    const std::string digest =
        morra::bsdiff::applyBsdiffFile(morra::files::FileManager(), oldFile, output, patchFile, options).digest;
    fs::remove(output);
    return digest;
}

bool bspatchGives(const fs::path& oldFile, const fs::path& patchFile, const fs::path& output, const fs::path& expected) {
    fs::remove(output);
    const std::string command = "/usr/bin/bspatch '" + oldFile.string() + "' '" + output.string() + "' '" +
                                patchFile.string() + "' && cmp -s '" + output.string() + "' '" + expected.string() + "'";
    const bool same = std::system(command.c_str()) == 0;
    fs::remove(output);
    return same;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const fs::path folder = fs::absolute(argc > 2 ? fs::path(argv[2]) : fs::current_path()) / "bench-differ";
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 1;
    const bool gameLike = argc <= 4 || std::string(argv[4]) != "random";
    fs::create_directories(folder);
    const fs::path oldFile = folder / "old", newFile = folder / "new", pairPatch = folder / "pair.bsdiff";
    const fs::path ourPatch = folder / "ours.bsdiff", theirPatch = folder / "bsdiff.bsdiff", scratch = folder / "scratch";

    try {
        std::printf("making a %llu MiB %s asset and its changed form...\n", static_cast<unsigned long long>(mib),
                    gameLike ? "game-like" : "random");
        std::fflush(stdout);
        if (gameLike)
            morra::bench::makeGameLikeAssetAndPatch(oldFile, pairPatch, mib << 20, 2000);
        else
            morra::bench::makeAssetAndPatch(oldFile, pairPatch, mib << 20, 2000);
        fs::remove(newFile);
        morra::bsdiff::BsdiffFileOptions options;
        options.sync = false;
        const std::string newDigest = morra::bsdiff::applyBsdiffFile(morra::files::FileManager(), oldFile, newFile, pairPatch, options).digest;
        std::printf("old: %ju bytes, new: %ju bytes\n", fs::file_size(oldFile), fs::file_size(newFile));
        // The pair's pages go to disk now, not while a differ is timed.
        ::sync();

        Result best;
        for (int round = 0; round < rounds; ++round) {
            const Result result = measure([&] { return ours(oldFile, newFile, ourPatch); });
            if (round == 0 || result.measurement.seconds < best.measurement.seconds) best = result;
            std::printf("ours, round %d: %.2f s\n", round + 1, result.measurement.seconds);
            std::fflush(stdout);
        }
        best.patchBytes = fs::file_size(ourPatch);
        std::printf("running /usr/bin/bsdiff (minutes)...\n");
        std::fflush(stdout);
        Result reference = measure([&] { return theirs(oldFile, newFile, theirPatch); });
        reference.patchBytes = fs::file_size(theirPatch);

        const bool oursApplies = applied(oldFile, ourPatch, scratch) == newDigest;
        const bool oursBspatch = bspatchGives(oldFile, ourPatch, scratch, newFile);
        const bool theirsApplies = applied(oldFile, theirPatch, scratch) == newDigest;

        std::printf("\n%-16s %9s %9s %12s %14s\n", "differ", "time", "cpu time", "peak memory", "patch");
        for (const auto& [name, result] : {std::pair<const char*, const Result&>{"ours", best}, {"/usr/bin/bsdiff", reference}})
            std::printf("%-16s %8.2fs %8.2fs %8.1f MiB %14ju\n", name, result.measurement.seconds, result.cpuSeconds,
                        static_cast<double>(result.measurement.peakKiB) / 1024.0, result.patchBytes);
        std::printf("\nours: %.1fx faster (%.1fx less cpu time), %.3fx the patch size, %.2fx the peak memory of /usr/bin/bsdiff\n",
                    reference.measurement.seconds / best.measurement.seconds, reference.cpuSeconds / best.cpuSeconds,
                    static_cast<double>(best.patchBytes) / static_cast<double>(reference.patchBytes),
                    static_cast<double>(best.measurement.peakKiB) / static_cast<double>(reference.measurement.peakKiB));
        const double oldBytes = static_cast<double>(fs::file_size(oldFile));
        std::printf("ours: peak memory %.2fx the old file's size (%.1f MiB for %.1f MiB)\n",
                    static_cast<double>(best.measurement.peakKiB) * 1024.0 / oldBytes,
                    static_cast<double>(best.measurement.peakKiB) / 1024.0, oldBytes / 1048576.0);
        std::printf("our patch gives the new file: applier %s, bspatch %s; bsdiff's patch with our applier: %s\n",
                    oursApplies ? "yes" : "NO", oursBspatch ? "yes" : "NO", theirsApplies ? "yes" : "NO");
        fs::remove_all(folder);
        return oursApplies && oursBspatch && theirsApplies ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_differ: %s\n", error.what());
        fs::remove_all(folder);
        return 1;
    }
}
