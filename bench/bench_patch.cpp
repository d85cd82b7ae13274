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
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "PatchPair.h"
#include "bsdiff/BsdiffFile.h"
#include "files/Sha256.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// ---- Child modes ----

int applyMode(const char* oldFile, const char* newFile, const char* patchFile, bool sync) {
    try {
        morra::bsdiff::BsdiffFileOptions options;
        options.sync = sync;
        const morra::bsdiff::PatchedFile result = morra::bsdiff::applyBsdiffFile(morra::files::FileManager(), oldFile, newFile, patchFile, options);
        std::printf("%s\n", result.digest.c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fputs(error.what(), stderr);
        return 1;
    }
}

int digestMode(const char* file) {
    try {
        std::printf("%s\n", morra::files::sha256(morra::files::FileManager(), file).c_str());
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

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && (std::string(argv[1]) == "--apply" || std::string(argv[1]) == "--apply-sync"))
        return applyMode(argv[2], argv[3], argv[4], std::string(argv[1]) == "--apply-sync");
    if (argc == 3 && std::string(argv[1]) == "--sha256") return digestMode(argv[2]);

    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const fs::path folder = fs::absolute(argc > 2 ? fs::path(argv[2]) : fs::current_path()) / "bench-patch";
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    const std::string self = morra::platform::executablePath().value_or(fs::absolute(argv[0])).string();
    fs::create_directories(folder);
    const fs::path asset = folder / "asset", patch = folder / "asset.bsdiff", output = folder / "new";

    std::printf("making a %llu MiB asset and its patch...\n", static_cast<unsigned long long>(mib));
    std::fflush(stdout);
    morra::bench::makeAssetAndPatch(asset, patch, mib << 20, 2000);
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
