// The maintainer's pack tool, from copies of a game to the payload and the profile, and the
// profile file that the build compiles in.

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "FixtureGenerator.h"
#include "Pack.h"
#include "ProfileFile.h"
#include "TestSupport.h"
#include "operations/Install.h"
#include "operations/Remove.h"

namespace morra::test {
namespace {

using tools::GameState;

const tools::Fixture& packFixture() {
    static const tools::Fixture fixture = tools::makeFixture(21, 600000);
    return fixture;
}

const std::string kData = "Contents/Resources/Data/", kBundles = kData + "StreamingAssets/AssetBundles/OSX/";

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
        tools::PackInputs inputs{{{"", original, english, translated, {earlier, older}}}, out, {}, {}};
        inputs.differ.indexChunkBytes = 64 << 10;  // several chunks even for these small files
        return inputs;
    }
    // Whatever a failed run may have left beside the output folder.
    bool leftovers() const {
        for (const auto& entry : fs::directory_iterator(root.path()))
            if (entry.path().filename().string().rfind(".out", 0) == 0 || entry.path() == out) return true;
        return false;
    }

    TemporaryDirectory root;
    fs::path original = root.path() / "original.app", english = root.path() / "english.app",
             translated = root.path() / "translated.app", earlier = root.path() / "earlier.app",
             older = root.path() / "older.app", out = root.path() / "out";
};

TEST(PackTest, PackedPayloadInstallsUpdatesAndRemovesExactly) {
    const tools::Fixture& fixture = packFixture();
    Copies copies;
    tools::pack(copies.inputs());
    const fs::path payload = copies.out / "Payload", profileFile = copies.out / "profile.json";
    const ProcessResult compiled =
        runProcess({MORRA_PROFILE_COMPILER, "--profile", profileFile.string(), "--payload", payload.string(), "--output",
                    (copies.root.path() / "ProfileData.cpp").string(), "--resources", (copies.root.path() / "share").string()});
    ASSERT_EQ(compiled.status, 0) << compiled.standardError;

    // Each digest in its role; earlier forms once each, in the order of the copies.
    const Profile profile = tools::readProfileFile(profileFile).at(0);
    for (std::size_t i = 0; i < tools::Fixture::kAssets; ++i) {
        const AssetDigests &made = profile.assets[i], &known = fixture.profile.assets[i];
        EXPECT_EQ(std::tie(made.original, made.englishCards, made.translatedCards),
                  std::tie(known.original, known.englishCards, known.translatedCards)) << i;
        std::vector<std::string> earlier = {digestOf(fixture.earlierReleases[i].back())};
        if (i == 0) earlier.push_back(digestOf(fixture.earlierReleases[0].front()));
        EXPECT_EQ(made.earlierReleases, earlier) << i;
    }
    for (std::size_t row = 0; row < tools::Fixture::kAdded; ++row) {
        const AddedFileDigests &made = profile.addedFiles[row], &known = fixture.profile.addedFiles[row];
        EXPECT_EQ(std::tie(made.source, made.expected), std::tie(known.source, known.expected)) << row;
        std::vector<std::string> replaceable = {digestOf(fixture.addedReplaceable[row].front())};
        if (row == 1) replaceable.push_back(digestOf(fixture.addedReplaceable[1][1]));
        EXPECT_EQ(made.replaceable, replaceable) << row;
    }

    // An update from an earlier release, a switch of the variant, and a removal back to the original.
    const InstallContext engine(FileManager(), KnownBuilds{profile}, payload);
    GameFixture game(GameState::EarlierRelease, true, "morra.app", fixture);
    for (bool translatedCards : {true, false}) {
        install(engine, game.app, translatedCards ? SkillCards::Translated : SkillCards::English);
        for (std::size_t i = 0; i < tools::Fixture::kAssets; ++i)
            EXPECT_TRUE(readFile(game.asset(i)) == (translatedCards ? fixture.translatedCards[i] : fixture.englishCards[i])) << i;
        for (std::size_t i = 0; i < tools::Fixture::kAdded; ++i) EXPECT_TRUE(readFile(game.added(i)) == fixture.addedExpected[i]) << i;
    }
    remove(engine, game.app);
    EXPECT_TRUE(snapshot(game.app) == snapshot(copies.original));
}

// Each change to the copies returns a part of the refusal it must cause; nothing is left behind.
TEST(PackTest, RefusesCopiesItCannotUseAndLeavesNothing) {
    const tools::Fixture& fixture = packFixture();
    const std::function<std::string(const Copies&)> cases[] = {
        [](const Copies& c) {
            tools::writeFile(c.translated / "Contents/Info.plist", "<plist><dict/></plist>");
            return "the translated copy " + c.translated.string() + " is not the game";
        },
        [](const Copies& c) {
            tools::writeFile(c.original / (kBundles + "lockits/russianblind"), "x");
            return "extra file: " + (c.original / kBundles).string() + "lockits/russianblind";
        },
        [](const Copies& c) {
            tools::writeFile(c.older / (kData + "globalgamemanagers"), "other");
            return (c.older / kData).string() + "globalgamemanagers differs from the original copy's";
        },
        [&](const Copies& c) {
            for (const fs::path& copy : {c.english, c.translated}) tools::writeFile(copy / (kData + "sharedassets1.assets"), fixture.original[4]);
            return "same content where a patch is expected: " + (c.english / kData).string() + "sharedassets1.assets";
        },
        [&](const Copies& c) {
            tools::writeFile(c.translated / (kData + "level3"), fixture.original[2]);
            return (c.translated / kData).string() + "level3 differs from the English-card copy's";
        },
        [](const Copies& c) {
            fs::remove(c.english / (kData + "level2"));
            fs::create_symlink(c.translated / (kData + "level3"), c.english / (kData + "level2"));
            return (c.english / kData).string() + "level2 in the English-card copy is a symbolic link";
        },
    };
    for (const auto& change : cases) {
        Copies copies;
        const std::string expected = change(copies);
        EXPECT_NE(failureOf([&] { tools::pack(copies.inputs()); }).find(expected), std::string::npos) << expected;
        EXPECT_FALSE(copies.leftovers()) << expected;
    }
}

// An output folder in use is refused before anything is written; a run stopped midway leaves
// nothing beside it.
TEST(PackTest, WritesNothingIntoAnOutputFolderInUseOrWhenStoppedMidway) {
    Copies copies;
    tools::writeFile(copies.out / "keep", "mine");
    const ProcessResult result = runProcess({MORRA_PACK_PROGRAM, "--original", copies.original.string(), "--english-cards",
                                             copies.english.string(), "--translated", copies.translated.string(), "--out",
                                             copies.out.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.standardError.find(copies.out.string() + " already exists and is not an empty folder"), std::string::npos)
        << result.standardError;
    EXPECT_EQ(snapshot(copies.out), (std::map<std::string, std::string>{{"keep", "mine"}}));
    fs::remove_all(copies.out);
    tools::PackInputs inputs = copies.inputs();
    inputs.progress = [](const std::string& line) {
        if (line.find("level2.bsdiff") != std::string::npos) throw std::runtime_error("stopped");
    };
    EXPECT_THROW(tools::pack(inputs), std::runtime_error);
    EXPECT_FALSE(copies.leftovers());
}

// The profile file names every fault by its key; the build step refuses a bad profile or a
// tampered payload before it writes anything.
TEST(ProfileFile, EveryFaultNamesItsKeyAndTheBuildStepWritesNothing) {
    const auto demoJson = [] { return nlohmann::json::parse(tools::profileToJson({demoFixture().profile})); };
    const std::vector<std::pair<std::function<void(nlohmann::json&)>, std::string>> cases = {
        {[](auto& d) { d["assets"][1].erase("original"); }, "assets[1].original"},
        {[](auto& d) { d["assets"][2]["englishCards"] = std::string(64, 'A'); }, "assets[2].englishCards"},
        {[](auto& d) { d["assets"][0]["file"] = "level2"; }, "assets[0].file"},
        {[](auto& d) { d["payload"]["extra.bsdiff"] = std::string(64, 'a'); }, "payload.extra.bsdiff"},
        {[](auto& d) { d["addedFiles"][3]["replaceable"][1] = 5; }, "addedFiles[3].replaceable[1]"},
        {[](auto& d) { d["addedFiles"][0]["expected"] = std::string(64, 'b'); }, "payload.russianblind"},
        {[](auto& d) { d = nlohmann::json::array(); }, "top level"},
    };
    for (const auto& [spoil, key] : cases) {
        nlohmann::json document = demoJson();
        spoil(document);
        EXPECT_NE(failureOf([&] { tools::parseProfile(document.dump()); }).find(key), std::string::npos) << key;
    }
    TemporaryDirectory root;
    tools::writePayload(demoFixture(), root.path() / "Payload");
    const auto compile = [&](const nlohmann::json& profile) {
        writeFile(root.path() / "profile.json", profile.dump());
        return runProcess({MORRA_PROFILE_COMPILER, "--profile", (root.path() / "profile.json").string(), "--payload",
                           (root.path() / "Payload").string(), "--output", (root.path() / "out.cpp").string(), "--resources",
                           (root.path() / "resources").string()}).standardError;
    };
    nlohmann::json document = demoJson();
    document["assets"][4].erase("earlierReleases");
    EXPECT_NE(compile(document).find("assets[4].earlierReleases"), std::string::npos);
    writeFile(root.path() / "Payload" / "level2.bsdiff", "tampered");
    EXPECT_NE(compile(demoJson()).find("level2.bsdiff"), std::string::npos);
    EXPECT_FALSE(fs::exists(root.path() / "out.cpp"));
}

}  // namespace
}  // namespace morra::test
