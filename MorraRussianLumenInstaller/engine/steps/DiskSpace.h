#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace morra::files {
class FileManager;
}  // namespace morra::files

namespace morra::steps {

// Room that an operation will take in one place before it can give any back.
struct SpaceNeed {
    std::filesystem::path place;  // a folder, or a file or folder still to be made
    std::uint64_t bytes = 0;
};

// Refuses, before anything changes, an operation that would fill a disk: the needs of places on
// one volume are added up and compared with the room left there. The text names what is needed
// and what is free, in megabytes as the system's own windows count them (10^6 bytes).
void requireFreeSpace(const files::FileManager& fileManager, const std::vector<SpaceNeed>& needs);

}  // namespace morra::steps
