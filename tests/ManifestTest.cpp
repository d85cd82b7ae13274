#include <gtest/gtest.h>

#include "Engine.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names(const std::vector<fs::path>& paths) {
    std::vector<std::string> result;
    for (const fs::path& path : paths) result.push_back(path.filename().string());
    return result;
}

TEST(Manifest, BothVariantsFollowTheProfileInManifestOrder) {
    const Engine engine;
    const GamePaths paths("/nowhere/morra.app");  // nothing is read: missing files are fine
    const auto english = engine.gameAssets(paths, false);
    const auto translated = engine.gameAssets(paths, true);
    const Profile& profile = engine.profile();
    ASSERT_EQ(english.size(), 5u);
    ASSERT_EQ(translated.size(), 5u);

    const fs::path files[] = {paths.resources, paths.level2, paths.level3, paths.sharedAssets0, paths.sharedAssets1};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(english[i].file, files[i]);
        EXPECT_EQ(translated[i].file, files[i]);
        EXPECT_EQ(english[i].originalHash, profile.assets[i].original);
        EXPECT_EQ(english[i].patches.front().parent_path(), engine.payloadDirectory());
    }
    // The first two entries differ by variant.
    EXPECT_EQ(names(english[0].patches), (std::vector<std::string>{"resources.assets.bsdiff"}));
    EXPECT_EQ(names(translated[0].patches),
              (std::vector<std::string>{"resources.assets.bsdiff", "resources-skill-cards.delta.bsdiff"}));
    EXPECT_EQ(names(translated[1].patches), (std::vector<std::string>{"level2.bsdiff", "level2-skill-cards.delta.bsdiff"}));
    EXPECT_EQ(english[0].patchedHash, profile.assets[0].englishCards);
    EXPECT_EQ(translated[0].patchedHash, profile.assets[0].translatedCards);
    const auto& r = profile.assets[0].earlierReleases;
    EXPECT_EQ(english[0].legacyPatchedHashes,
              (std::vector<std::string>{profile.assets[0].translatedCards, r[0], r[1]}));
    EXPECT_EQ(translated[0].legacyPatchedHashes, (std::vector<std::string>{profile.assets[0].englishCards, r[0], r[1]}));
    EXPECT_EQ(translated[1].legacyPatchedHashes,
              (std::vector<std::string>{profile.assets[1].englishCards, profile.assets[1].earlierReleases[0]}));
    // The other three are equal field by field.
    for (std::size_t i = 2; i < 5; ++i) {
        EXPECT_EQ(english[i].patches, translated[i].patches);
        EXPECT_EQ(english[i].patchedHash, translated[i].patchedHash);
        EXPECT_EQ(english[i].legacyPatchedHashes, translated[i].legacyPatchedHashes);
        EXPECT_EQ(english[i].legacyPatchedHashes, profile.assets[i].earlierReleases);
    }
    EXPECT_EQ(names(english[3].patches), (std::vector<std::string>{"sharedassets0.assets.bsdiff"}));
}

TEST(Manifest, CompiledProfileIsTheDemoFixtures) {
    // The default build compiles in the profile of the demo fixture (seed 1); the fixtures of the
    // tests rely on it.
    const Profile& built = builtInProfile();
    const Profile& demo = test::demoFixture().profile;
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(built.assets[i].original, demo.assets[i].original);
        EXPECT_EQ(built.assets[i].translatedCards, demo.assets[i].translatedCards);
    }
    for (std::size_t i = 0; i < 11; ++i) EXPECT_EQ(built.payload[i].digest, demo.payload[i].digest);
}

}  // namespace
}  // namespace morra
