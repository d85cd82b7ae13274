#include "steps/DiskSpace.h"

#include <map>

#include "core/InstallerError.h"
#include "files/FileError.h"
#include "files/FileManager.h"

namespace morra::steps {

namespace fs = std::filesystem;

namespace {

// Room kept free beyond the files themselves: folders, the file system's own records.
constexpr std::uint64_t kMargin = 8ull << 20;
constexpr std::uint64_t kMegabyte = 1000 * 1000;

// The nearest part of a path that exists (a folder still to be made is on its parent's volume).
fs::path existingPart(const files::FileManager& fileManager, fs::path place) {
    while (!fileManager.fileExists(place) && place.has_relative_path()) place = place.parent_path();
    return place;
}

}  // namespace

void requireFreeSpace(const files::FileManager& fileManager, const std::vector<SpaceNeed>& needs) {
    struct Volume {
        fs::path place;
        std::uint64_t bytes = 0;
    };
    std::map<dev_t, Volume> volumes;
    for (const SpaceNeed& need : needs) {
        if (need.bytes == 0) continue;
        const fs::path place = existingPart(fileManager, need.place);
        Volume& volume = volumes[fileManager.volumeOf(place)];
        if (volume.place.empty()) volume.place = place;
        volume.bytes += need.bytes;
    }
    for (const auto& [device, volume] : volumes) {
        const std::uint64_t free = fileManager.freeSpace(volume.place);
        const std::uint64_t needed = volume.bytes + kMargin;
        if (free >= needed) continue;
        throw core::InstallerError(
            "Недостаточно места на диске: нужно " + std::to_string((needed + kMegabyte - 1) / kMegabyte) +
            " МБ, свободно " + std::to_string(free / kMegabyte) + " МБ (" + files::displayPath(volume.place) + ").");
    }
}

}  // namespace morra::steps
