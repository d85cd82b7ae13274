// Measures the Steam library list scanner against ICU running the same pattern (the engine behind
// the platform's regular expressions on macOS, so what the search costs there), on lists of
// growing size, and prints the times, their ratio and how the scanner's time grows with size.
//
//   bench_steam_libraries [LARGEST_MIB]   (default 64)
#include <unicode/regex.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "search/SteamLibraries.h"

namespace {

using Clock = std::chrono::steady_clock;

// A list in the Steam client's layout, grown to the size with one library entry per block.
std::string libraryList(std::size_t bytes) {
    std::string text = "\"libraryfolders\"\n{\n";
    text.reserve(bytes + 4096);
    for (std::size_t index = 0; text.size() < bytes; ++index) {
        text += "\t\"" + std::to_string(index) + "\"\n\t{\n\t\t\"path\"\t\t\"D:\\\\Steam Library " +
                std::to_string(index) + "\"\n\t\t\"label\"\t\t\"\"\n\t\t\"contentid\"\t\t\"7482367\"\n"
                "\t\t\"totalsize\"\t\t\"0\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"228980\"\t\t\"346452\"\n\t\t}\n\t}\n";
    }
    text += "}\n";
    return text;
}

// Keys everywhere, most of them failing: a `"path"` with an empty value, one without white space
// and one whose white space runs into something other than a quote; one line, no line breaks.
std::string adversarialList(std::size_t bytes) {
    const std::string filler = "\"path\" \"\" \"path\"\"x\" \"path\" \xE2\x80\x80\t\xC2\xA0x ";
    std::string text;
    while (text.size() < bytes) text += filler;
    return text + "\"path\" \"/last\"";
}

std::size_t icuMatchCount(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> pattern(
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(R"re("path"\s+"([^"]+)")re"), 0, status));
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(text);
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(input, status));
    std::size_t count = 0;
    while (U_SUCCESS(status) && matcher->find(status)) {
        std::string value;
        matcher->group(1, status).toUTF8String(value);
        ++count;
    }
    if (U_FAILURE(status)) throw std::runtime_error(std::string("ICU: ") + u_errorName(status));
    return count;
}

std::size_t scannerMatchCount(const std::string& text) {
    const auto values = morra::search::libraryFolderPathValues(text);
    if (!values) throw std::runtime_error("not UTF-8");
    std::size_t count = 0;
    for (const std::string& value : *values) count += !morra::search::collapseDoubledBackslashes(value).empty();
    return count;
}

double bestOf(int rounds, const std::function<std::size_t()>& work, std::size_t& result) {
    double best = 1e9;
    for (int round = 0; round < rounds; ++round) {
        const auto start = Clock::now();
        result = work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t largestMiB = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    // Peak memory first, while this process is still small (a child starts with its parent's peak):
    // a child that makes the largest list and reads it through, against one that makes it and scans it.
    std::fflush(stdout);
    const morra::bench::Measurement reading = morra::bench::measureInChild([&] {
        const std::string list = libraryList(largestMiB << 20);
        return std::count(list.begin(), list.end(), '"') > 0 ? 0 : 1;
    });
    const morra::bench::Measurement scanning = morra::bench::measureInChild([&] {
        const std::string list = libraryList(largestMiB << 20);
        return scannerMatchCount(list) > 0 ? 0 : 1;
    });
    std::printf("peak memory with a %zu MiB list: reading it %.1f MiB, scanning it %.1f MiB (ratio %.2f)\n",
                largestMiB, reading.peakKiB / 1024.0, scanning.peakKiB / 1024.0,
                static_cast<double>(scanning.peakKiB) / static_cast<double>(reading.peakKiB));
    std::printf("%-12s %8s %10s %12s %12s %9s %14s\n", "list", "MiB", "entries", "scanner s", "ICU s", "ICU/ours",
                "scanner s/MiB");
    for (const auto& [name, make] : std::vector<std::pair<const char*, std::function<std::string(std::size_t)>>>{
             {"steam", libraryList}, {"adversarial", adversarialList}}) {
        for (std::size_t mib = 1; mib <= largestMiB; mib *= 4) {
            const std::string text = make(mib << 20);
            std::size_t ours = 0, theirs = 0;
            const double scannerSeconds = bestOf(3, [&] { return scannerMatchCount(text); }, ours);
            const double icuSeconds = bestOf(3, [&] { return icuMatchCount(text); }, theirs);
            if (ours != theirs) {
                std::fprintf(stderr, "match counts differ: %zu against ICU's %zu\n", ours, theirs);
                return 1;
            }
            std::printf("%-12s %8zu %10zu %12.4f %12.4f %9.1f %14.5f\n", name, mib, ours, scannerSeconds, icuSeconds,
                        icuSeconds / scannerSeconds, scannerSeconds / static_cast<double>(mib));
        }
    }
    return 0;
}
