#pragma once

#include <array>
#include <filesystem>

namespace morra {

// Every place inside the game bundle that the installer touches, derived from the bundle's path
// (as validateGame resolved it). Nothing is read from disk to build it.
struct GamePaths {
    explicit GamePaths(const std::filesystem::path& resolvedBundle);

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

    // The five assets in manifest order.
    std::array<std::filesystem::path, 5> assets() const;
};

}  // namespace morra
