#pragma once

// The patch benchmarks' pair: a large random asset and a patch that changes it in scattered
// places, as a translation of text and tables does. Applying the patch gives the new form.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "BsdiffOffset.h"
#include "Bzip2Compressor.h"

namespace morra::bench {

inline std::string offset(std::int64_t value) {
    std::string bytes;
    morra::tools::appendBsdiffOffset(bytes, value);
    return bytes;
}

// A random asset and a patch that changes it in `edits` scattered places: most edits replace a
// few bytes, some insert bytes, some delete bytes, as a translation of text and tables does.
inline void makeAssetAndPatch(const std::filesystem::path& asset, const std::filesystem::path& patch, std::uint64_t size, int edits) {
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

    tools::Bzip2Compressor control, diff, extra;
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

}  // namespace morra::bench
