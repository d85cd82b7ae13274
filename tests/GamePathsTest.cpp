#include <gtest/gtest.h>

#include "GamePaths.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

TEST(GamePaths, NamesEveryPlaceInsideTheBundleExactly) {
    test::TemporaryDirectory root;
    const fs::path app = root.path() / "morra.app";
    fs::create_directories(app);
    const GamePaths paths(app);
    const std::string data = app.string() + "/Contents/Resources/Data";
    const std::string bundles = data + "/StreamingAssets/AssetBundles/OSX";
    EXPECT_EQ(paths.app, app);
    EXPECT_EQ(paths.data.string(), data);
    EXPECT_EQ(paths.resources.string(), data + "/resources.assets");
    EXPECT_EQ(paths.level2.string(), data + "/level2");
    EXPECT_EQ(paths.level3.string(), data + "/level3");
    EXPECT_EQ(paths.sharedAssets0.string(), data + "/sharedassets0.assets");
    EXPECT_EQ(paths.sharedAssets1.string(), data + "/sharedassets1.assets");
    EXPECT_EQ(paths.bundles.string(), bundles);
    EXPECT_EQ(paths.lockit.string(), bundles + "/lockits/russianblind");
    EXPECT_EQ(paths.fontSource.string(), bundles + "/fonts/russian");
    EXPECT_EQ(paths.fontTarget.string(), bundles + "/fonts/russianblind");
    EXPECT_EQ(paths.imageSource.string(), bundles + "/images/english");
    EXPECT_EQ(paths.imageTarget.string(), bundles + "/images/russianblind");
    EXPECT_EQ(paths.dyslexicImageSource.string(), bundles + "/images_dyslexic/english");
    EXPECT_EQ(paths.dyslexicImageTarget.string(), bundles + "/images_dyslexic/russianblind");
}

TEST(GamePaths, BundleReachedThroughLinksDotsOrTrailingSlashGivesTheTarget) {
    test::TemporaryDirectory root;
    const fs::path app = root.path() / "real" / "morra.app";
    fs::create_directories(app / "Contents");
    fs::create_symlink(root.path() / "real", root.path() / "link");
    const fs::path canonicalApp = fs::canonical(app);
    EXPECT_EQ(GamePaths(root.path() / "link" / "morra.app").app, canonicalApp);
    EXPECT_EQ(GamePaths(root.path() / "link" / "morra.app" / "Contents" / "..").app, canonicalApp);
    EXPECT_EQ(GamePaths(root.path() / "real" / "." / "morra.app" / "").app, canonicalApp);
    // Links inside the bundle stay visible: only the bundle path itself is resolved.
    fs::create_directories(app / "Contents" / "Resources");
    fs::create_symlink(app / "Contents" / "Resources", app / "Contents" / "Data");
    EXPECT_EQ(GamePaths(app).resources, canonicalApp / "Contents/Resources/Data/resources.assets");
}

TEST(GamePaths, RelativeAndMissingBundlesAreStillNamed) {
    test::TemporaryDirectory root;
    const fs::path previous = fs::current_path();
    fs::current_path(root.path());
    const GamePaths paths("games/Morra Vellant.app");
    fs::current_path(previous);
    EXPECT_EQ(paths.app, fs::canonical(root.path()) / "games" / "Morra Vellant.app");
}

}  // namespace
}  // namespace morra
