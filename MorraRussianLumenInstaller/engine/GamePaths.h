#pragma once

#include <filesystem>

namespace morra {

// Removes "." and ".." components and then resolves every symbolic link of the existing part of
// the path. The result is absolute and has no trailing separator.
std::filesystem::path standardizedResolvedPath(const std::filesystem::path& path);

// Every place inside the game bundle that the installer touches, derived from the bundle path.
// Nothing is read from disk beyond resolving the bundle path's own symbolic links.
struct GamePaths {
    explicit GamePaths(const std::filesystem::path& bundle);

    std::filesystem::path app;
    std::filesystem::path data;
    std::filesystem::path resources;
    std::filesystem::path level2;
    std::filesystem::path level3;
    std::filesystem::path sharedAssets0;
    std::filesystem::path sharedAssets1;
    std::filesystem::path bundles;
    std::filesystem::path lockit;
    std::filesystem::path fontSource;
    std::filesystem::path fontTarget;
    std::filesystem::path imageSource;
    std::filesystem::path imageTarget;
    std::filesystem::path dyslexicImageSource;
    std::filesystem::path dyslexicImageTarget;
};

}  // namespace morra
