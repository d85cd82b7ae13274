#include "BsdiffWriter.h"

#include <bzlib.h>

#include <stdexcept>

#include "bsdiff/SignMagnitude.h"

namespace morra::tools {

namespace {

void appendOffset(std::string& out, std::int64_t value) {
    unsigned char bytes[8];
    encodeOffset(value, bytes);
    out.append(reinterpret_cast<const char*>(bytes), 8);
}

}  // namespace

std::string bzip2Compress(std::string_view data) {
    bz_stream stream{};
    if (BZ2_bzCompressInit(&stream, 9, 0, 0) != BZ_OK) throw std::runtime_error("bzip2 init failed");
    std::string out;
    char buffer[1 << 16];
    stream.next_in = const_cast<char*>(data.data());
    stream.avail_in = 0;
    std::size_t offset = 0;
    int result;
    do {
        if (stream.avail_in == 0 && offset < data.size()) {
            std::size_t chunk = std::min<std::size_t>(data.size() - offset, 1u << 30);
            stream.next_in = const_cast<char*>(data.data() + offset);
            stream.avail_in = static_cast<unsigned>(chunk);
            offset += chunk;
        }
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        result = BZ2_bzCompress(&stream, offset < data.size() || stream.avail_in > 0 ? BZ_RUN : BZ_FINISH);
        if (result < 0) {
            BZ2_bzCompressEnd(&stream);
            throw std::runtime_error("bzip2 compression failed");
        }
        out.append(buffer, sizeof buffer - stream.avail_out);
    } while (result != BZ_STREAM_END);
    BZ2_bzCompressEnd(&stream);
    return out;
}

std::string makeBsdiffPatch(std::string_view oldData, std::string_view newData,
                            const std::vector<BsdiffControl>& controls) {
    std::string control, diff, extra;
    std::uint64_t newPosition = 0;
    std::int64_t oldPosition = 0;
    for (const BsdiffControl& entry : controls) {
        if (entry.add > newData.size() - newPosition || entry.copy > newData.size() - newPosition - entry.add)
            throw std::invalid_argument("controls run past the new size");
        appendOffset(control, static_cast<std::int64_t>(entry.add));
        appendOffset(control, static_cast<std::int64_t>(entry.copy));
        appendOffset(control, entry.seek);
        for (std::uint64_t i = 0; i < entry.add; ++i) {
            const std::int64_t at = oldPosition + static_cast<std::int64_t>(i);
            const unsigned char oldByte =
                at >= 0 && static_cast<std::uint64_t>(at) < oldData.size() ? static_cast<unsigned char>(oldData[at]) : 0;
            diff.push_back(static_cast<char>(static_cast<unsigned char>(newData[newPosition + i]) - oldByte));
        }
        newPosition += entry.add;
        extra.append(newData.substr(newPosition, entry.copy));
        newPosition += entry.copy;
        oldPosition += static_cast<std::int64_t>(entry.add) + entry.seek;
    }
    if (newPosition != newData.size()) throw std::invalid_argument("controls do not cover the new file");

    const std::string compressedControl = bzip2Compress(control);
    const std::string compressedDiff = bzip2Compress(diff);
    std::string patch = "BSDIFF40";
    appendOffset(patch, static_cast<std::int64_t>(compressedControl.size()));
    appendOffset(patch, static_cast<std::int64_t>(compressedDiff.size()));
    appendOffset(patch, static_cast<std::int64_t>(newData.size()));
    patch += compressedControl;
    patch += compressedDiff;
    patch += bzip2Compress(extra);
    return patch;
}

std::vector<BsdiffControl> wholeFileControls(std::uint64_t oldSize, std::uint64_t newSize, std::uint64_t runLength) {
    std::vector<BsdiffControl> controls;
    const std::uint64_t common = std::min(oldSize, newSize);
    for (std::uint64_t done = 0; done < common; done += runLength)
        controls.push_back({std::min(runLength, common - done), 0, 0});
    if (newSize > common) {
        if (controls.empty()) controls.push_back({});
        controls.back().copy = newSize - common;
    }
    return controls;
}

}  // namespace morra::tools
