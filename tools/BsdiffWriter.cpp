#include "BsdiffWriter.h"

#include <stdexcept>

#include "BsdiffOffset.h"

namespace morra::tools {

std::string makeBsdiffPatch(std::string_view oldData, std::string_view newData,
                            const std::vector<BsdiffControl>& controls) {
    std::string control, diff, extra;
    std::uint64_t newPosition = 0;
    std::int64_t oldPosition = 0;
    for (const BsdiffControl& entry : controls) {
        if (entry.add > newData.size() - newPosition || entry.copy > newData.size() - newPosition - entry.add)
            throw std::invalid_argument("controls run past the new size");
        appendBsdiffOffset(control, static_cast<std::int64_t>(entry.add));
        appendBsdiffOffset(control, static_cast<std::int64_t>(entry.copy));
        appendBsdiffOffset(control, entry.seek);
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
    appendBsdiffOffset(patch, static_cast<std::int64_t>(compressedControl.size()));
    appendBsdiffOffset(patch, static_cast<std::int64_t>(compressedDiff.size()));
    appendBsdiffOffset(patch, static_cast<std::int64_t>(newData.size()));
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
