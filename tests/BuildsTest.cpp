// Several game builds, from the maintainer's copies through the pack tool and the build step to
// the installer: the profile file, the game's build found by its files, backups that serve
// whichever build made them, and a game that Steam updated past every build the installer knows.

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <tuple>
#include <nlohmann/json.hpp>

#include "FixtureGenerator.h"
#include "Pack.h"
#include "ProfileFile.h"
#include "TestSupport.h"
#include "operations/Inspect.h"
#include "operations/Install.h"
#include "operations/Remove.h"

namespace morra::test {
namespace {

using tools::GameState;

const std::string kData = "Contents/Resources/Data/", kBundles = kData + "StreamingAssets/AssetBundles/OSX/";
const std::string kTranslatedDone =
    "Готово. Официальный русский не изменён.\nЗапустите игру и выберите «Русский (Lumen)» в настройках языка."
    "\nНазвания навыков на карточках переведены.";
const std::string kRemoved = "Перевод удалён. Файлы игры восстановлены.";
const std::string kUpdated = "игра обновлена до версии, которую этот выпуск перевода ещё не знает; "
                             "перевод можно удалить там, где есть резервные копии";

// Build 57314208 and its update 57390117 (level2, sharedassets1.assets and images/english changed).
const std::vector<tools::Fixture>& twoBuilds() {
    static const std::vector<tools::Fixture> builds = tools::makeTwoBuilds(3, 256 << 10);
    return builds;
}
const tools::Fixture& buildA() { return twoBuilds()[0]; }
const tools::Fixture& buildB() { return twoBuilds()[1]; }

// The build step on the profile file and payload folder in `packed`, into `resources`.
ProcessResult compileProfile(const fs::path& packed, const fs::path& resources) {
    return runProcess({MORRA_PROFILE_COMPILER, "--profile", (packed / "profile.json").string(), "--payload",
                       (packed / "Payload").string(), "--output", (resources / "ProfileData.cpp").string(),
                       "--resources", resources.string()});
}

// Whatever a failed pack run may have left beside its output folder.
bool leftoversBeside(const fs::path& out) {
    for (const auto& entry : fs::directory_iterator(out.parent_path()))
        if (entry.path().filename().string().rfind(".out", 0) == 0 || entry.path() == out) return true;
    return false;
}

// Copies of a small fixture game in the states the pack tool is given: untouched, both variants
// installed, and two earlier releases (the second with another earlier form of resources.assets
// and of fonts/russianblind, and without images_dyslexic/russianblind).
struct Copies {
    Copies() {
        const tools::Fixture& fixture = buildA();
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
    TemporaryDirectory root;
    fs::path original = root.path() / "original.app", english = root.path() / "english.app",
             translated = root.path() / "translated.app", earlier = root.path() / "earlier.app",
             older = root.path() / "older.app", out = root.path() / "out";
};

TEST(PackTest, PackedPayloadInstallsUpdatesAndRemovesExactly) {
    const tools::Fixture& fixture = buildA();
    Copies copies;
    tools::pack(copies.inputs());

    // Earlier forms once each, in the order of the copies (the other roles are checked below).
    const game::Profile profile = tools::readProfileFile(copies.out / "profile.json").at(0);
    for (std::size_t i = 0; i < tools::Fixture::kAssets; ++i) {
        std::vector<std::string> earlier = {digestOf(fixture.earlierReleases[i].back())};
        if (i == 0) earlier.push_back(digestOf(fixture.earlierReleases[0].front()));
        EXPECT_EQ(profile.assets[i].earlierReleases, earlier) << i;
    }
    for (std::size_t row = 0; row < tools::Fixture::kAdded; ++row) {
        std::vector<std::string> replaceable = {digestOf(fixture.addedReplaceable[row].front())};
        if (row == 1) replaceable.push_back(digestOf(fixture.addedReplaceable[1][1]));
        EXPECT_EQ(profile.addedFiles[row].replaceable, replaceable) << row;
    }

    // An update from an earlier release, a switch of the variant, and a removal back to the original.
    const context::InstallContext engine(files::FileManager(), game::KnownBuilds{profile}, copies.out / "Payload");
    GameFixture game(GameState::EarlierRelease, true, "morra.app", fixture);
    for (bool translatedCards : {true, false}) {
        operations::install(engine, game.app, translatedCards ? core::SkillCards::Translated : core::SkillCards::English);
        for (std::size_t i = 0; i < tools::Fixture::kAssets; ++i)
            EXPECT_TRUE(readFile(game.asset(i)) == (translatedCards ? fixture.translatedCards[i] : fixture.englishCards[i])) << i;
        for (std::size_t i = 0; i < tools::Fixture::kAdded; ++i) EXPECT_TRUE(readFile(game.added(i)) == fixture.addedExpected[i]) << i;
    }
    operations::remove(engine, game.app);
    EXPECT_TRUE(snapshot(game.app) == snapshot(copies.original));
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

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// Installed under 57314208, then updated by Steam to 57390117: the game is found as 57390117
// partly installed. Removing gives back exactly the untouched 57390117 from the first build's
// backups; installing (right after the update, or after that removal) backs up only the changed
// originals into Steam-57390117, and removing gives back the untouched 57390117 again. The first
// build's backups never change.
void expectUpdateBetweenTheBuilds(const context::InstallContext& context) {
    const auto untouchedB = snapshot(GameFixture(GameState::Untouched, false, "morra.app", buildB()).app);
    for (bool installFirst : {false, true}) {
        GameFixture game(GameState::Untouched, false, "morra.app", buildA());
        EXPECT_EQ(firstLine(operations::inspect(context, game.app)), "Совместимый профиль macOS 57314208: перевод не установлен");
        EXPECT_EQ(operations::install(context, game.app, core::SkillCards::Translated), kTranslatedDone);
        const auto backupsA = snapshot(game.support / "Steam-57314208");
        EXPECT_EQ(backupsA.size(), 5u);
        tools::writeUpdate(buildA(), buildB(), game.app);
        EXPECT_EQ(firstLine(operations::inspect(context, game.app)),
                  "Совместимый профиль macOS 57390117: установлена предыдущая или неполная версия");
        if (!installFirst) {
            EXPECT_EQ(operations::remove(context, game.app), kRemoved);
            EXPECT_TRUE(snapshot(game.app) == untouchedB);
        }
        EXPECT_EQ(operations::install(context, game.app, core::SkillCards::Translated), kTranslatedDone);
        for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(readFile(game.asset(i)), buildB().translatedCards[i]) << i;
        for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(readFile(game.added(i)), buildB().addedExpected[i]) << i;
        EXPECT_EQ(snapshot(game.support / "Steam-57390117"),
                  (std::map<std::string, std::string>{{"level2", buildB().original[1]},
                                                      {"sharedassets1.assets", buildB().original[4]}}));
        EXPECT_EQ(firstLine(operations::inspect(context, game.app)),
                  "Совместимый профиль macOS 57390117: перевод установлен, карточки навыков переведены");
        EXPECT_EQ(operations::remove(context, game.app), kRemoved);
        EXPECT_TRUE(snapshot(game.app) == untouchedB) << installFirst;
        EXPECT_TRUE(snapshot(game.support / "Steam-57314208") == backupsA);
        EXPECT_TRUE(temporaries(game.root.path()).empty());
    }
}

// Two builds in one run: a fault in the second build's copies names it and leaves nothing; then
// each digest in its role, each payload file stored once where the installer looks for it, as the
// fixture generator stores it, accepted by the build step and serving an update between the
// builds as a release does; a tampered shared file is refused.
TEST(Builds, TwoArePackedOnceAndAnUpdateBetweenThemIsFoundRemovedAndInstalledExactly) {
    TemporaryDirectory root;
    const tools::PackInputs inputs = twoBuildInputs(root.path());
    const fs::path english = inputs.builds[1].englishCards / kData / "level2";
    fs::remove(english);
    EXPECT_NE(failureOf([&] { tools::pack(inputs); }).find("build 57390117: missing file: " + english.string()), std::string::npos);
    EXPECT_FALSE(leftoversBeside(inputs.out));
    tools::writeFile(english, twoBuilds()[1].englishCards[1]);
    tools::pack(inputs);

    const game::KnownBuilds builds = tools::readProfileFile(inputs.out / "profile.json");
    ASSERT_EQ(builds.size(), 2u);
    for (std::size_t b = 0; b < 2; ++b) {
        const tools::Fixture& fixture = twoBuilds()[b];
        EXPECT_EQ(std::tie(builds[b].build, builds[b].payloadFolder), std::tie(fixture.profile.build, fixture.profile.build));
        for (std::size_t i = 0; i < tools::Fixture::kAssets; ++i) {
            const game::AssetDigests &made = builds[b].assets[i], &known = fixture.profile.assets[i];
            const std::vector<std::string> earlier =
                known.earlierReleases.empty() ? std::vector<std::string>{} : std::vector{known.earlierReleases.back()};
            EXPECT_EQ(std::tie(made.original, made.englishCards, made.translatedCards, made.earlierReleases),
                      std::tie(known.original, known.englishCards, known.translatedCards, earlier)) << b << i;
        }
        for (std::size_t row = 0; row < tools::Fixture::kAdded; ++row) {
            const game::AddedFileDigests &made = builds[b].addedFiles[row], &known = fixture.profile.addedFiles[row];
            EXPECT_EQ(std::tie(made.source, made.expected, made.replaceable.at(0)),
                      std::tie(known.source, known.expected, known.replaceable.at(0))) << b << row;
        }
    }
    // The update's own files: level2's two patches, sharedassets1.assets's and images/russianblind's.
    std::set<std::string> stored, expected, onDisk, generated;
    for (const fs::path& file : tools::storedPayloadFiles(builds)) stored.insert(file.generic_string());
    for (const std::string& name : game::payloadFileNames()) expected.insert("57314208/" + name);
    for (const char* name : {"level2.bsdiff", "level2-skill-cards.delta.bsdiff", "sharedassets1.assets.bsdiff", "images-russianblind.bsdiff"})
        expected.insert(std::string("57390117/") + name);
    EXPECT_EQ(stored, expected);
    for (const auto& [path, bytes] : snapshot(inputs.out / "Payload")) onDisk.insert(path);
    tools::writePayload(twoBuilds(), root.path() / "generated");
    for (const auto& [path, bytes] : snapshot(root.path() / "generated")) generated.insert(path);
    EXPECT_EQ(std::tie(onDisk, generated), std::tie(expected, expected));

    const fs::path share = root.path() / "share";
    const ProcessResult compiled = compileProfile(inputs.out, share);
    ASSERT_EQ(compiled.status, 0) << compiled.standardError;
    EXPECT_EQ(snapshot(share / "Payload"), snapshot(inputs.out / "Payload"));
    expectUpdateBetweenTheBuilds(context::InstallContext(files::FileManager(), builds, share / "Payload"));
    tools::writeFile(inputs.out / "Payload" / "57314208" / "level3.bsdiff", "tampered");
    const std::string refusal = failureOf([&] { tools::checkPayload(builds, inputs.out / "Payload"); });
    EXPECT_NE(refusal.find("57314208/level3.bsdiff has digest"), std::string::npos) << refusal;
}

// Each change to the copies returns a part of the refusal it must cause; nothing is left behind.
TEST(PackTest, RefusesCopiesItCannotUseOrAnOutputFolderInUseAndLeavesNothing) {
    const tools::Fixture& fixture = buildA();
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
        EXPECT_FALSE(leftoversBeside(copies.out)) << expected;
    }

    // An output folder in use is refused before anything is written; a run stopped midway leaves
    // nothing beside it.
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
    EXPECT_FALSE(leftoversBeside(copies.out));
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
        return compileProfile(root.path(), root.path() / "resources").standardError;
    };
    nlohmann::json document = demoJson();
    document["assets"][4].erase("earlierReleases");
    EXPECT_NE(compile(document).find("assets[4].earlierReleases"), std::string::npos);
    writeFile(root.path() / "Payload" / "level2.bsdiff", "tampered");
    EXPECT_NE(compile(demoJson()).find("level2.bsdiff"), std::string::npos);
    EXPECT_FALSE(fs::exists(root.path() / "resources" / "ProfileData.cpp"));
}

// An engine that knows the given builds, over their payload written as the build step stores it.
struct Engine {
    explicit Engine(const std::vector<tools::Fixture>& builds) : context(files::FileManager(), tools::knownBuilds(builds), payload.path()) {
        tools::writePayload(builds, payload.path());
    }
    TemporaryDirectory payload;
    context::InstallContext context;
};

// Files of two builds with no backup fit no build: inspect, install and remove refuse before any
// change and name every known build. A game of the second build with the first build's source
// bundle is refused naming the build found.
TEST(Builds, AMixtureOfBuildsWithoutBackupsIsRefusedNamingEveryBuild) {
    const Engine engine(twoBuilds());
    GameFixture game(GameState::Untouched, false, "morra.app", buildA());
    writeFile(game.asset(1), buildB().original[1]);
    const auto before = snapshot(game.root.path());
    EXPECT_EQ(firstLine(operations::inspect(engine.context, game.app)),
              "Совместимые профили macOS 57314208, 57390117: неподдерживаемая или изменённая сборка");
    EXPECT_EQ(failureOf([&] { operations::install(engine.context, game.app, core::SkillCards::Translated); }),
              "Эта версия игры не поддерживается.\nМагазин значения не имеет, но игровые файлы должны\n"
              "соответствовать одному из совместимых профилей macOS\n57314208, 57390117.\nlevel2: " +
                  digestOf(buildB().original[1]));
    EXPECT_EQ(failureOf([&] { operations::remove(engine.context, game.app); }),
              "level2 изменён другой программой\nили обновлением Steam. Удаление остановлено.");
    EXPECT_TRUE(snapshot(game.root.path()) == before);

    GameFixture other(GameState::Untouched, false, "morra.app", buildB());
    writeFile(other.app / tools::sourceBundlePaths()[1], buildA().sourceBundles[1]);
    EXPECT_EQ(failureOf([&] { operations::install(engine.context, other.app, core::SkillCards::Translated); }),
              "Игровой ресурс не соответствует совместимому профилю macOS 57390117: " +
                  (fs::canonical(other.app) / tools::sourceBundlePaths()[1]).string());
}

// An installer that knows only 57314208, on a game Steam updated to 57390117: inspection says the
// game was updated, install refuses before any change, removal stops while a needed backup is
// missing, and otherwise restores what the backups allow and leaves the updated files.
TEST(Builds, AGameUpdatedPastEveryKnownBuildIsSaidSoAndRemovedAsFarAsBackupsAllow) {
    const Engine engine({buildA()});
    const auto untouchedB = snapshot(GameFixture(GameState::Untouched, false, "morra.app", buildB()).app);
    GameFixture game(GameState::InstalledTranslated, /*backups=*/true, "morra.app", buildA());
    tools::writeUpdate(buildA(), buildB(), game.app);
    EXPECT_EQ(firstLine(operations::inspect(engine.context, game.app)), "Совместимый профиль macOS 57314208: " + kUpdated);
    EXPECT_EQ(operations::installationState(engine.context, game.app), core::InstallationState::GameUpdated);
    const auto before = snapshot(game.root.path());
    EXPECT_EQ(failureOf([&] { operations::install(engine.context, game.app, core::SkillCards::English); }),
              "Игра обновлена до версии, которую этот выпуск перевода ещё не знает.\n"
              "Перевод знает совместимый профиль macOS 57314208.\n"
              "Установить перевод можно будет, когда выйдет его новый выпуск. Удалить перевод можно и сейчас: "
              "файлы, для которых есть проверенные резервные копии, будут восстановлены.");
    EXPECT_TRUE(snapshot(game.root.path()) == before);

    const fs::path level3 = game.support / "Steam-57314208" / "level3";
    fs::rename(level3, game.root.path() / "level3");
    const auto gameBefore = snapshot(game.app);
    EXPECT_EQ(failureOf([&] { operations::remove(engine.context, game.app); }), "Проверенная резервная копия не найдена: level3");
    EXPECT_TRUE(snapshot(game.app) == gameBefore);
    fs::rename(game.root.path() / "level3", level3);

    EXPECT_EQ(operations::remove(engine.context, game.app),
              "Перевод удалён там, где это было возможно: игра обновлена до версии, которую этот выпуск перевода "
              "ещё не знает.\nВосстановлены из резервных копий: resources.assets, level3, sharedassets0.assets."
              "\nОставлены как есть: level2, sharedassets1.assets.");
    EXPECT_TRUE(snapshot(game.app) == untouchedB);
    EXPECT_EQ(firstLine(operations::inspect(engine.context, game.app)), "Совместимый профиль macOS 57314208: " + kUpdated);
}

}  // namespace
}  // namespace morra::test
