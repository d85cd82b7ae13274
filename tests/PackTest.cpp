#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "FixtureGenerator.h"
#include "Pack.h"
#include "ProfileFile.h"
#include "TestSupport.h"
#include "context/InstallContext.h"
#include "operations/Install.h"
#include "operations/Remove.h"

namespace morra::test {
namespace {

using tools::GameState;

const tools::Fixture& packFixture() {
    static const tools::Fixture fixture = tools::makeFixture(21, 600000);
    return fixture;
}

// Copies of a small fixture game in the states the pack tool is given: untouched, both variants
// installed, and two earlier releases (the second with another earlier form of resources.assets
// and of fonts/russianblind, and without images_dyslexic/russianblind).
struct Copies {
    Copies() {
        const tools::Fixture& fixture = packFixture();
        tools::writeGame(fixture, original, GameState::Untouched);
        tools::writeGame(fixture, english, GameState::InstalledEnglish);
        tools::writeGame(fixture, translated, GameState::InstalledTranslated);
        tools::writeGame(fixture, earlier, GameState::EarlierRelease);
        tools::writeGame(fixture, older, GameState::EarlierRelease);
        tools::writeFile(older / tools::assetPaths()[0], fixture.earlierReleases[0].front());
        tools::writeFile(older / tools::addedFilePaths()[1], fixture.addedReplaceable[1][1]);
        fs::remove(older / tools::addedFilePaths()[3]);
    }

    tools::PackInputs inputs() const {
        tools::PackInputs inputs{original, english, translated, {earlier, older}, out, {}, {}};
        inputs.differ.indexChunkBytes = 64 << 10;  // several chunks even for these small files
        return inputs;
    }

    // Whatever a failed run may have left beside the output folder.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(root.path()))
            if (entry.path().filename().string().rfind(".out", 0) == 0 || entry.path() == out)
                found.push_back(entry.path().filename().string());
        return found;
    }

    TemporaryDirectory root;
    fs::path original = root.path() / "original.app", english = root.path() / "english.app",
             translated = root.path() / "translated.app", earlier = root.path() / "earlier.app",
             older = root.path() / "older.app", out = root.path() / "out";
};

void expectForms(const GameFixture& game, bool translatedCards) {
    const tools::Fixture& fixture = packFixture();
    for (std::size_t i = 0; i < tools::Fixture::kAssets; ++i)
        EXPECT_TRUE(readFile(game.asset(i)) == (translatedCards ? fixture.translatedCards[i] : fixture.englishCards[i]))
            << tools::assetPaths()[i];
    for (std::size_t i = 0; i < tools::Fixture::kAdded; ++i)
        EXPECT_TRUE(readFile(game.added(i)) == fixture.addedExpected[i]) << tools::addedFilePaths()[i];
}

TEST(PackTest, PackedPayloadInstallsUpdatesAndRemovesExactly) {
    const tools::Fixture& fixture = packFixture();
    Copies copies;
    tools::pack(copies.inputs());
    const fs::path payload = copies.out / "Payload", profileFile = copies.out / "profile.json";

    // The build's own step accepts the profile and the payload.
    const ProcessResult compiled =
        runProcess({MORRA_PROFILE_COMPILER, "--profile", profileFile.string(), "--payload", payload.string(), "--output",
                    (copies.root.path() / "ProfileData.cpp").string(), "--resources", (copies.root.path() / "share").string()});
    ASSERT_EQ(compiled.status, 0) << compiled.standardError;

    // Each digest in its role; earlier forms once each, in the order of the copies.
    const Profile profile = tools::readProfileFile(profileFile);
    for (std::size_t i = 0; i < tools::Fixture::kAssets; ++i) {
        const AssetDigests& made = profile.assets[i];
        const AssetDigests& known = fixture.profile.assets[i];
        EXPECT_EQ(made.original, known.original);
        EXPECT_EQ(made.englishCards, known.englishCards);
        EXPECT_EQ(made.translatedCards, known.translatedCards);
        std::vector<std::string> earlier = {digestOf(fixture.earlierReleases[i].back())};
        if (i == 0) earlier.push_back(digestOf(fixture.earlierReleases[0].front()));
        EXPECT_EQ(made.earlierReleases, earlier) << made.file;
    }
    for (std::size_t row = 0; row < tools::Fixture::kAdded; ++row) {
        EXPECT_EQ(profile.addedFiles[row].source, fixture.profile.addedFiles[row].source);
        EXPECT_EQ(profile.addedFiles[row].expected, fixture.profile.addedFiles[row].expected);
        std::vector<std::string> replaceable = {digestOf(fixture.addedReplaceable[row].front())};
        if (row == 1) replaceable.push_back(digestOf(fixture.addedReplaceable[1][1]));
        EXPECT_EQ(profile.addedFiles[row].replaceable, replaceable) << profile.addedFiles[row].target;
    }

    const InstallContext engine(FileManager(), profile, payload);
    for (bool translatedCards : {true, false}) {
        SCOPED_TRACE(translatedCards ? "translated cards" : "English cards");
        GameFixture game(GameState::Untouched, false, "morra.app", fixture);
        const auto untouched = snapshot(game.app);
        install(engine, game.app, translatedCards ? SkillCards::Translated : SkillCards::English);
        expectForms(game, translatedCards);
        remove(engine, game.app);
        EXPECT_TRUE(snapshot(game.app) == untouched);
    }
    // An update from an earlier release, then a switch of the variant.
    GameFixture game(GameState::EarlierRelease, true, "morra.app", fixture);
    install(engine, game.app, SkillCards::Translated);
    expectForms(game, true);
    install(engine, game.app, SkillCards::English);
    expectForms(game, false);
}

TEST(PackTest, RefusesCopiesItCannotUseAndLeavesNothing) {
    const tools::Fixture& fixture = packFixture();
    const std::string data = "Contents/Resources/Data/";
    const std::string bundles = data + "StreamingAssets/AssetBundles/OSX/";
    const struct {
        const char* name;
        std::function<void(const Copies&)> change;
        std::string message;  // a part of the refusal, with <copy> for the copy's folder
    } cases[] = {
        {"not the game",
         [](const Copies& c) { tools::writeFile(c.translated / "Contents/Info.plist", "<plist><dict/></plist>"); },
         "the translated copy <translated> is not the game"},
        {"missing asset", [&](const Copies& c) { fs::remove(c.english / (data + "level3")); },
         "missing file: <english>/" + data + "level3"},
        {"added bundle in the original", [&](const Copies& c) { tools::writeFile(c.original / (bundles + "lockits/russianblind"), "x"); },
         "extra file: <original>/" + bundles + "lockits/russianblind"},
        {"stray file", [&](const Copies& c) { tools::writeFile(c.translated / (data + "notes.txt"), "x"); },
         "extra file: <translated>/" + data + "notes.txt"},
        {"source bundle changed",
         [&](const Copies& c) { tools::writeFile(c.translated / (bundles + "fonts/russian"), "other"); },
         "<translated>/" + bundles + "fonts/russian differs from the original copy's"},
        {"earlier copy of another build",
         [&](const Copies& c) { tools::writeFile(c.older / (data + "globalgamemanagers"), "other"); },
         "<older>/" + data + "globalgamemanagers differs from the original copy's"},
        {"asset left untouched",
         [&](const Copies& c) {
             for (const fs::path& copy : {c.english, c.translated})
                 tools::writeFile(copy / (data + "sharedassets1.assets"), fixture.original[4]);
         },
         "same content where a patch is expected: <english>/" + data + "sharedassets1.assets"},
        {"variants differ beyond the skill cards",
         [&](const Copies& c) { tools::writeFile(c.translated / (data + "level3"), fixture.original[2]); },
         "<translated>/" + data + "level3 differs from the English-card copy's"},
        {"asset through a symbolic link",
         [&](const Copies& c) {
             fs::remove(c.english / (data + "level2"));
             fs::create_symlink(c.translated / (data + "level3"), c.english / (data + "level2"));
         },
         "<english>/" + data + "level2 in the English-card copy is a symbolic link"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        Copies copies;
        test.change(copies);
        std::string expected = test.message;
        for (const auto& [tag, path] : {std::pair<std::string, fs::path>{"<original>", copies.original},
                                        {"<english>", copies.english}, {"<translated>", copies.translated},
                                        {"<older>", copies.older}})
            if (auto at = expected.find(tag); at != std::string::npos) expected.replace(at, tag.size(), path.string());
        try {
            tools::pack(copies.inputs());
            ADD_FAILURE() << "no refusal";
        } catch (const tools::PackError& error) {
            EXPECT_NE(std::string(error.what()).find(expected), std::string::npos) << error.what();
        }
        EXPECT_TRUE(copies.leftovers().empty());
    }
}

TEST(PackTest, WritesNothingIntoAnOutputFolderInUseOrWhenStoppedMidway) {
    {
        Copies copies;
        tools::writeFile(copies.out / "keep", "mine");
        const ProcessResult result = runProcess({MORRA_PACK_PROGRAM, "--original", copies.original.string(), "--english-cards",
                                                 copies.english.string(), "--translated", copies.translated.string(),
                                                 "--out", copies.out.string()});
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.standardError.find(copies.out.string() + " already exists and is not an empty folder"), std::string::npos)
            << result.standardError;
        EXPECT_EQ(snapshot(copies.out), (std::map<std::string, std::string>{{"keep", "mine"}}));
    }
    {
        // A failure after some payload files were written aside.
        Copies copies;
        tools::PackInputs inputs = copies.inputs();
        inputs.progress = [](const std::string& line) {
            if (line.find("level2.bsdiff") != std::string::npos) throw std::runtime_error("stopped");
        };
        EXPECT_THROW(tools::pack(inputs), std::runtime_error);
        EXPECT_TRUE(copies.leftovers().empty());
    }
}

}  // namespace
}  // namespace morra::test
