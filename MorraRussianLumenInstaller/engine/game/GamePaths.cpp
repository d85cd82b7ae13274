#include "game/GamePaths.h"

#include "game/Manifest.h"

namespace morra {

namespace fs = std::filesystem;

GamePaths::GamePaths(const fs::path& resolvedBundle)
    : app(resolvedBundle),
      data(app / "Contents" / "Resources" / "Data"),
      resources(data / kAssetTable[0].name),
      level2(data / kAssetTable[1].name),
      level3(data / kAssetTable[2].name),
      sharedAssets0(data / kAssetTable[3].name),
      sharedAssets1(data / kAssetTable[4].name),
      bundles(data / "StreamingAssets" / "AssetBundles" / "OSX"),
      lockit(bundles / kAddedFileTable[0].target),
      fontSource(bundles / kAddedFileTable[1].source),
      fontTarget(bundles / kAddedFileTable[1].target),
      imageSource(bundles / kAddedFileTable[2].source),
      imageTarget(bundles / kAddedFileTable[2].target),
      dyslexicImageSource(bundles / kAddedFileTable[3].source),
      dyslexicImageTarget(bundles / kAddedFileTable[3].target) {}

std::array<fs::path, 5> GamePaths::assets() const { return {resources, level2, level3, sharedAssets0, sharedAssets1}; }

}  // namespace morra
