#include <gtest/gtest.h>

#include <set>

#include "Engine.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

TEST(FixtureGenerator, SameSeedSameBytesOtherSeedOtherBytes) {
    const tools::Fixture a = tools::makeFixture(7, 64 << 10);
    const tools::Fixture b = tools::makeFixture(7, 64 << 10);
    const tools::Fixture c = tools::makeFixture(8, 64 << 10);
    EXPECT_EQ(a.payload, b.payload);
    EXPECT_EQ(a.original, b.original);
    EXPECT_NE(a.profile.assets[0].original, c.profile.assets[0].original);
}

TEST(FixtureGenerator, EighteenDistinctAssetDigestsAndEighteenAddedFileDigests) {
    const Profile& profile = test::demoFixture().profile;
    std::set<std::string> assets, added;
    for (const AssetDigests& entry : profile.assets) {
        assets.insert({entry.original, entry.englishCards, entry.translatedCards});
        assets.insert(entry.earlierReleases.begin(), entry.earlierReleases.end());
    }
    for (const AddedFileDigests& entry : profile.addedFiles) {
        if (!entry.source.empty()) added.insert(entry.source);
        added.insert(entry.expected);
        added.insert(entry.replaceable.begin(), entry.replaceable.end());
    }
    EXPECT_EQ(assets.size(), 18u);
    EXPECT_EQ(added.size(), 18u);
}

TEST(FixtureGenerator, PatchesAreValidForTheRealBspatchAndSomeChangeTheSize) {
    // The reference tool turns every source form into its target form with the generated patches.
    const tools::Fixture fixture = tools::makeFixture(3, 256 << 10);
    test::TemporaryDirectory root;
    tools::writePayload(fixture, root.path() / "Payload");
    struct Case {
        std::string from, patch, to;
    };
    const std::vector<Case> cases = {
        {fixture.original[0], "resources.assets.bsdiff", fixture.englishCards[0]},
        {fixture.englishCards[0], "resources-skill-cards.delta.bsdiff", fixture.translatedCards[0]},
        {fixture.englishCards[1], "level2-skill-cards.delta.bsdiff", fixture.translatedCards[1]},
        {fixture.original[2], "level3.bsdiff", fixture.englishCards[2]},
        {fixture.original[4], "sharedassets1.assets.bsdiff", fixture.englishCards[4]},
        {fixture.sourceBundles[0], "fonts-russianblind.bsdiff", fixture.addedExpected[1]},
        {fixture.sourceBundles[2], "images-dyslexic-russianblind.bsdiff", fixture.addedExpected[3]},
    };
    int sizeChanges = 0;
    for (const Case& c : cases) {
        test::writeFile(root.path() / "old", c.from);
        fs::remove(root.path() / "new");
        const auto result = test::runProcess({"/usr/bin/bspatch", (root.path() / "old").string(),
                                              (root.path() / "new").string(), (root.path() / "Payload" / c.patch).string()});
        ASSERT_EQ(result.status, 0) << c.patch << result.standardError;
        EXPECT_EQ(test::readFile(root.path() / "new"), c.to) << c.patch;
        sizeChanges += c.from.size() != c.to.size();
    }
    EXPECT_GE(sizeChanges, 3);
}

TEST(FixtureGenerator, CommandWritesGameInTheChosenStatePayloadProfileAndBackups) {
    test::TemporaryDirectory root;
    const auto result = test::runProcess({MORRA_FIXTURE_PROGRAM, "--out", (root.path() / "out").string(), "--seed", "1",
                                          "--size", "4194304", "--state", "installed-english", "--support",
                                          (root.path() / "support").string(), "--app", "Morra Vellant.app"});
    ASSERT_EQ(result.status, 0) << result.standardError;
    const fs::path app = root.path() / "out/Morra Vellant.app";
    const tools::Fixture& fixture = test::demoFixture();
    EXPECT_EQ(test::readFile(app / tools::assetPaths()[0]), fixture.englishCards[0]);
    EXPECT_EQ(test::readFile(app / tools::addedFilePaths()[2]), fixture.addedExpected[2]);
    EXPECT_EQ(test::readFile(root.path() / "support/Steam-57314208/level3"), fixture.original[2]);
    EXPECT_EQ(test::readFile(root.path() / "out/Payload/russianblind"), fixture.addedExpected[0]);
    EXPECT_TRUE(fs::exists(root.path() / "out/profile.json"));
    EXPECT_TRUE(fs::exists(root.path() / "out/forms/translated-cards/level2"));
    EXPECT_NE(test::runProcess({MORRA_FIXTURE_PROGRAM, "--out", (root.path() / "x").string(), "--state", "bogus"}).status, 0);
}

}  // namespace
}  // namespace morra
