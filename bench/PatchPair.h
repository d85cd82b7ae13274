#pragma once

// The patch benchmarks' pairs: a large asset and a patch that changes it in scattered places, as a
// translation of text and tables does. Applying the patch gives the new form.
//
// The asset is either random bytes (for the applier, whose speed does not depend on the content)
// or shaped like a game's asset (for the differ, whose matching does): compressed textures and
// sounds (random bytes), tables of records that repeat one layout with a few fields changed, text
// as length-prefixed strings from a small vocabulary, float arrays, zero padding, and copies of
// earlier parts (the same material or mesh twice).
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
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

// Words of a made-up language: Latin for the old text, Cyrillic (two bytes a letter) for the new.
inline std::string word(std::mt19937_64& random, bool cyrillic) {
    static constexpr std::array<const char*, 12> latin = {"the", "card", "skill", "attack", "shield", "deck",
                                                          "enemy", "turn", "draw", "poison", "heal", "block"};
    static constexpr std::array<const char*, 12> russian = {"карта", "навык", "атака", "щит", "колода", "враг",
                                                            "ход", "взять", "яд", "лечение", "блок", "сила"};
    return (cyrillic ? russian : latin)[random() % 12];
}

// Text as the game stores it: a 4-byte length, the bytes, padding to 4.
inline void appendText(std::string& out, std::mt19937_64& random, bool cyrillic) {
    std::string text;
    for (int words = 1 + static_cast<int>(random() % 12); words > 0; --words) text += word(random, cyrillic) + " ";
    const auto length = static_cast<std::uint32_t>(text.size());
    out.append(reinterpret_cast<const char*>(&length), 4);
    out += text;
    out.append((4 - text.size() % 4) % 4, '\0');
}

// One part of a game-like asset, about `size` bytes; `earlier` holds what was written before.
inline std::string assetPart(std::mt19937_64& random, std::size_t size, const std::string& earlier) {
    std::string part;
    const int kind = static_cast<int>(random() % 20);
    if (kind < 6) {  // compressed texture or sound
        part.resize(size);
        for (char& byte : part) byte = static_cast<char>(random());
    } else if (kind < 11) {  // a table of records of one layout
        std::string record(16 + random() % 112, '\0');
        for (char& byte : record) byte = static_cast<char>(random() % 4 == 0 ? random() : 0);
        for (std::uint32_t id = 0; part.size() < size; ++id) {
            std::memcpy(record.data(), &id, 4);
            record[4 + random() % (record.size() - 4)] = static_cast<char>(random());
            part += record;
        }
    } else if (kind < 15) {  // text
        while (part.size() < size) appendText(part, random, false);
    } else if (kind < 17) {  // vertices: floats that change slowly
        float value = 0;
        for (; part.size() < size; value += static_cast<float>(random() % 1000) / 1000.0f - 0.5f)
            part.append(reinterpret_cast<const char*>(&value), 4);
    } else if (kind < 18 || earlier.size() < size) {  // padding
        part.assign(size, '\0');
    } else {  // a copy of something earlier
        part = earlier.substr(random() % (earlier.size() - size + 1), size);
    }
    return part;
}

inline void writeAsset(const std::filesystem::path& asset, std::uint64_t size, std::mt19937_64& random, bool gameLike) {
    std::ofstream out(asset, std::ios::binary | std::ios::trunc);
    if (!gameLike) {
        std::vector<std::uint64_t> block((1 << 20) / 8);
        for (std::uint64_t done = 0; done < size; done += 1 << 20) {
            for (auto& word : block) word = random();
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(std::min<std::uint64_t>(1 << 20, size - done)));
        }
        return;
    }
    // Earlier parts are kept (up to 64 MiB) so that later ones can copy them.
    std::string earlier;
    for (std::uint64_t done = 0; done < size;) {
        std::string part = assetPart(random, static_cast<std::size_t>(4096 + random() % (1 << 20)), earlier);
        part.resize(static_cast<std::size_t>(std::min<std::uint64_t>(part.size(), size - done)));
        out.write(part.data(), static_cast<std::streamsize>(part.size()));
        done += part.size();
        if (earlier.size() < (std::size_t{64} << 20)) earlier += part;
    }
}

// A patch that changes the asset in `edits` scattered places: most edits replace a few bytes, some
// insert bytes, some delete bytes, as a translation of text and tables does. With `longRuns`, one
// edit in twenty also inserts new text or deletes up to 64 KiB, shifting everything after it.
inline void writeEditPatch(const std::filesystem::path& patch, std::uint64_t size, int edits, std::mt19937_64& random, bool longRuns) {
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
        const bool longRun = longRuns && kind < 2 && random() % 10 == 0;
        const std::uint64_t inserted = kind == 0 && !longRun ? 1 + random() % 64 : 0;
        const std::uint64_t add = position - oldPosition + changed;
        const std::uint64_t deleted =
            kind != 1 ? 0 : std::min(size - oldPosition - add, longRun ? 1 + random() % 65536 : 1 + random() % 64);
        addZeros(add - changed);
        std::string delta(changed, '\0');
        for (char& byte : delta) byte = static_cast<char>(1 + random() % 255);
        diff.add(delta.data(), delta.size());
        std::string bytes(inserted, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random());
        if (kind == 0 && longRun)
            for (const std::uint64_t length = 1 + random() % 65536; bytes.size() < length;) appendText(bytes, random, true);
        extra.add(bytes.data(), bytes.size());
        const std::string entry = offset(static_cast<std::int64_t>(add)) + offset(static_cast<std::int64_t>(bytes.size())) +
                                  offset(static_cast<std::int64_t>(deleted));
        control.add(entry.data(), entry.size());
        oldPosition += add + deleted;
        newSize += add + bytes.size();
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

// A random asset and a patch with `edits` scattered small edits.
inline void makeAssetAndPatch(const std::filesystem::path& asset, const std::filesystem::path& patch, std::uint64_t size, int edits) {
    std::mt19937_64 random(57314208);
    writeAsset(asset, size, random, false);
    writeEditPatch(patch, size, edits, random, false);
}

// A game-like asset and a patch with `edits` scattered edits, some of them long insertions and
// deletions.
inline void makeGameLikeAssetAndPatch(const std::filesystem::path& asset, const std::filesystem::path& patch, std::uint64_t size, int edits) {
    std::mt19937_64 random(57314208);
    writeAsset(asset, size, random, true);
    writeEditPatch(patch, size, edits, random, true);
}

}  // namespace morra::bench
