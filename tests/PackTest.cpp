// The maintainer's pack tool, from copies of a game to the payload and the profile, and the
// profile file that the build compiles in.

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <tuple>
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

const std::vector<tools::Fixture>& twoBuilds() {
    static const std::vector<tools::Fixture> fixtures = tools::makeTwoBuilds(22, 600000);
    return fixtures;
}

// The copies of each of the two builds, given to the pack tool each after its build number.
tools::PackInputs twoBuildInputs(const fs::path& root) {
    tools::PackInputs inputs;
    inputs.out = root / "out";
    for (const tools::Fixture& fixture : twoBuilds()) {
        const fs::path folder = root / fixture.profile.build;
        tools::BuildCopies copies{fixture.profile.build, folder / "original.app", folder / "english.app",
                                  folder / "translated.app", {folder / "earlier.app"}};
        tools::writeGame(fixture, copies.original, GameState::Untouched);
        tools::writeGame(fixture, copies.englishCards, GameState::InstalledEnglish);
        tools::writeGame(fixture, copies.translated, GameState::InstalledTranslated);
        tools::writeGame(fixture, copies.earlier[0], GameState::EarlierRelease);
        inputs.builds.push_back(std::move(copies));
    }
    return inputs;
}

// Two builds in one run: a fault in the second build's copies names it and leaves nothing; then
// each digest in its role, each payload file stored once where the installer looks for it, as the
// fixture generator stores it, accepted by the build step; a tampered shared file is refused.
TEST(PackTest, PacksTwoBuildsStoringEachPayloadFileOnce) {
    TemporaryDirectory root;
    const tools::PackInputs inputs = twoBuildInputs(root.path());
    const fs::path english = inputs.builds[1].englishCards / kData / "level2";
    fs::remove(english);
    EXPECT_NE(failureOf([&] { tools::pack(inputs); }).find("build 57390117: missing file: " + english.string()), std::string::npos);
    EXPECT_EQ(snapshot(root.path()).count("out"), 0u);
    for (const auto& entry : fs::directory_iterator(root.path())) EXPECT_NE(entry.path().filename().string().rfind(".out", 0), 0u);
    tools::writeFile(english, twoBuilds()[1].englishCards[1]);
    tools::pack(inputs);

    const KnownBuilds builds = tools::readProfileFile(inputs.out / "profile.json");
    ASSERT_EQ(builds.size(), 2u);
    for (std::size_t b = 0; b < 2; ++b) {
        const tools::Fixture& fixture = twoBuilds()[b];
        EXPECT_EQ(std::tie(builds[b].build, builds[b].payloadFolder), std::tie(fixture.profile.build, fixture.profile.build));
        for (std::size_t i = 0; i < tools::Fixture::kAssets; ++i) {
            const AssetDigests &made = builds[b].assets[i], &known = fixture.profile.assets[i];
            const std::vector<std::string> earlier =
                known.earlierReleases.empty() ? std::vector<std::string>{} : std::vector{known.earlierReleases.back()};
            EXPECT_EQ(std::tie(made.original, made.englishCards, made.translatedCards, made.earlierReleases),
                      std::tie(known.original, known.englishCards, known.translatedCards, earlier)) << b << i;
        }
        for (std::size_t row = 0; row < tools::Fixture::kAdded; ++row) {
            const AddedFileDigests &made = builds[b].addedFiles[row], &known = fixture.profile.addedFiles[row];
            EXPECT_EQ(std::tie(made.source, made.expected, made.replaceable.at(0)),
                      std::tie(known.source, known.expected, known.replaceable.at(0))) << b << row;
        }
    }
    // The update's own files: level2's two patches, sharedassets1.assets's and images/russianblind's.
    std::set<std::string> stored;
    for (const fs::path& file : tools::storedPayloadFiles(builds)) stored.insert(file.generic_string());
    std::set<std::string> expected;
    for (const std::string& name : payloadFileNames()) expected.insert("57314208/" + name);
    for (const char* name : {"level2.bsdiff", "level2-skill-cards.delta.bsdiff", "sharedassets1.assets.bsdiff", "images-russianblind.bsdiff"})
        expected.insert(std::string("57390117/") + name);
    EXPECT_EQ(stored, expected);
    std::set<std::string> onDisk, generated;
    for (const auto& [path, bytes] : snapshot(inputs.out / "Payload")) onDisk.insert(path);
    tools::writePayload(twoBuilds(), root.path() / "generated");
    for (const auto& [path, bytes] : snapshot(root.path() / "generated")) generated.insert(path);
    EXPECT_EQ(onDisk, expected);
    EXPECT_EQ(generated, expected);

    const fs::path share = root.path() / "share";
    const ProcessResult compiled =
        runProcess({MORRA_PROFILE_COMPILER, "--profile", (inputs.out / "profile.json").string(), "--payload",
                    (inputs.out / "Payload").string(), "--output", (root.path() / "ProfileData.cpp").string(), "--resources", share.string()});
    ASSERT_EQ(compiled.status, 0) << compiled.standardError;
    EXPECT_EQ(snapshot(share / "Payload"), snapshot(inputs.out / "Payload"));
    tools::writeFile(inputs.out / "Payload" / "57314208" / "level3.bsdiff", "tampered");
    const std::string refusal = failureOf([&] { tools::checkPayload(builds, inputs.out / "Payload"); });
    EXPECT_NE(refusal.find("57314208/level3.bsdiff has digest"), std::string::npos) << refusal;
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

// The profile file, in either form, names every fault by its key; the build step refuses a bad
// profile or a tampered payload before it writes anything.
TEST(ProfileFile, EveryFaultNamesItsKeyAndTheBuildStepWritesNothing) {
    const auto demoJson = [] { return nlohmann::json::parse(tools::profileToJson({demoFixture().profile})); };
    const auto listJson = [] { return nlohmann::json::parse(tools::profileToJson(tools::knownBuilds(twoBuilds()))); };
    const std::vector<std::tuple<bool, std::function<void(nlohmann::json&)>, std::string>> cases = {
        {false, [](auto& d) { d["assets"][1].erase("original"); }, "assets[1].original"},
        {false, [](auto& d) { d["assets"][2]["englishCards"] = std::string(64, 'A'); }, "assets[2].englishCards"},
        {false, [](auto& d) { d["assets"][0]["file"] = "level2"; }, "assets[0].file"},
        {false, [](auto& d) { d["payload"]["extra.bsdiff"] = std::string(64, 'a'); }, "payload.extra.bsdiff"},
        {false, [](auto& d) { d["addedFiles"][3]["replaceable"][1] = 5; }, "addedFiles[3].replaceable[1]"},
        {false, [](auto& d) { d["addedFiles"][0]["expected"] = std::string(64, 'b'); }, "payload.russianblind"},
        {false, [](auto& d) { d = nlohmann::json::array(); }, "top level"},
        {true, [](auto& d) { d["builds"][1]["build"] = "57314208"; }, "builds[1].build repeats"},
        {true, [](auto& d) { d["builds"][1]["payloadFolder"] = "57314208"; }, "builds[1].payloadFolder repeats"},
        {true, [](auto& d) { d["builds"][0]["payloadFolder"] = "a/b"; }, "builds[0].payloadFolder must be one folder name"},
        {true, [](auto& d) { d["builds"][1]["payloadFolder"] = ".."; }, "builds[1].payloadFolder must be one folder name"},
        {true, [](auto& d) { d["builds"][0].erase("build"); }, "builds[0].build"},
        {true, [](auto& d) { d["builds"][1]["build"] = "5739 0117"; }, "builds[1].build must be decimal digits"},
        {true, [](auto& d) { d["builds"][1]["assets"][4].erase("original"); }, "builds[1].assets[4].original"},
        {true, [](auto& d) { d["assets"] = d["builds"][0]["assets"]; }, "assets belongs inside builds"},
        {true, [](auto& d) { d["builds"] = nlohmann::json::array(); }, "builds must be a list of one or more"},
    };
    for (const auto& [list, spoil, key] : cases) {
        nlohmann::json document = list ? listJson() : demoJson();
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
