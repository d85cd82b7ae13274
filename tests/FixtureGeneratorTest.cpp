#include <gtest/gtest.h>

#include "PatchTestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

TEST(FixtureGenerator, PatchesAreValidForTheRealBspatchAndSomeChangeTheSize) {
    MORRA_NEEDS_TOOL("bspatch");
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
        const auto result = test::runProcess({test::systemTool("bspatch"), (root.path() / "old").string(),
                                              (root.path() / "new").string(), (root.path() / "Payload" / c.patch).string()});
        ASSERT_EQ(result.status, 0) << c.patch << result.standardError;
        EXPECT_EQ(test::readFile(root.path() / "new"), c.to) << c.patch;
        sizeChanges += c.from.size() != c.to.size();
    }
    EXPECT_GE(sizeChanges, 3);
}

}  // namespace
}  // namespace morra
