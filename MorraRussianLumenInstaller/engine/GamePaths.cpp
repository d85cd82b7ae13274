#include "GamePaths.h"

namespace morra {

namespace fs = std::filesystem;

fs::path standardizedResolvedPath(const fs::path& path) {
    fs::path standardized = fs::absolute(path).lexically_normal();
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(standardized, error);
    if (error) resolved = standardized;
    if (!resolved.has_filename() && resolved.has_relative_path()) resolved = resolved.parent_path();
    return resolved;
}

GamePaths::GamePaths(const fs::path& bundle)
    : app(standardizedResolvedPath(bundle)),
      data(app / "Contents" / "Resources" / "Data"),
      resources(data / "resources.assets"),
      level2(data / "level2"),
      level3(data / "level3"),
      sharedAssets0(data / "sharedassets0.assets"),
      sharedAssets1(data / "sharedassets1.assets"),
      bundles(data / "StreamingAssets" / "AssetBundles" / "OSX"),
      lockit(bundles / "lockits" / "russianblind"),
      fontSource(bundles / "fonts" / "russian"),
      fontTarget(bundles / "fonts" / "russianblind"),
      imageSource(bundles / "images" / "english"),
      imageTarget(bundles / "images" / "russianblind"),
      dyslexicImageSource(bundles / "images_dyslexic" / "english"),
      dyslexicImageTarget(bundles / "images_dyslexic" / "russianblind") {}

}  // namespace morra
