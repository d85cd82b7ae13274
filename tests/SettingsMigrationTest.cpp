#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "Engine.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class SettingsMigration : public ::testing::Test {
protected:
    test::TemporaryDirectory root;
    fs::path settings = root.path() / "Settings" / "Settings.json";
    fs::path support = root.path() / "support";
    fs::path copy = support / "User Settings" / "Settings.before-language-index-migration.json";
    test::ScopedEnvironment settingsOverride{"MORRA_LUMEN_INSTALLER_GAME_SETTINGS", settings.string()};
    test::ScopedEnvironment supportOverride{"MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", support.string()};
    Engine engine;

    void write(const std::string& text) { test::writeFile(settings, text); }
};

TEST_F(SettingsMigration, ThirteenBecomesEnglishWithEverythingElseKeptSortedAndPretty) {
    const std::string original =
        R"({"zeta":[1,2,{"b":true,"a":null}],"LANGUAGE":{"Language":{"intValue":13,"other":"x"},"Voice":{"intValue":13}},"alpha":"Ё"})";
    write(original);
    ::chmod(settings.c_str(), 0640);
    EXPECT_TRUE(engine.migrateStartupLanguageToEnglish());
    const std::string rewritten = test::readFile(settings);
    EXPECT_EQ(rewritten.back(), '\n');
    EXPECT_NE(rewritten.find("\n  "), std::string::npos);  // pretty-printed
    const json document = json::parse(rewritten);
    EXPECT_EQ(document["LANGUAGE"]["Language"]["intValue"], 0);
    EXPECT_EQ(document["LANGUAGE"]["Language"]["other"], "x");
    EXPECT_EQ(document["LANGUAGE"]["Voice"]["intValue"], 13);  // only the startup language moves
    EXPECT_EQ(document["zeta"], json::parse(R"([1,2,{"b":true,"a":null}])"));
    EXPECT_EQ(document["alpha"], "Ё");
    EXPECT_LT(rewritten.find("\"LANGUAGE\""), rewritten.find("\"alpha\""));
    EXPECT_LT(rewritten.find("\"alpha\""), rewritten.find("\"zeta\""));
    EXPECT_EQ(test::readFile(copy), original);
    struct stat status {};
    ASSERT_EQ(::stat(settings.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    EXPECT_TRUE(test::temporaries(root.path()).empty());
    // Idempotent: the second run finds English and writes nothing.
    EXPECT_FALSE(engine.migrateStartupLanguageToEnglish());
}

TEST_F(SettingsMigration, OtherValuesAndShapesAreLeftByteForByte) {
    const std::vector<std::string> untouched = {
        R"({"LANGUAGE":{"Language":{"intValue":0}}})",
        R"({"LANGUAGE":{"Language":{"intValue":5}}})",
        R"({"LANGUAGE":{"Language":{"intValue":14}}})",
        R"({"LANGUAGE":{"Language":{"intValue":-13}}})",
        R"({"LANGUAGE":{"Language":{"intValue":"13"}}})",
        R"({"LANGUAGE":{"Language":{"intValue":true}}})",
        R"({"LANGUAGE":{"Language":{"intValue":1.3e1000}}})",
        R"({"LANGUAGE":{"Language":{"intValue":18446744073709551629}}})",
        R"({"LANGUAGE":{"Language":{"intValue":12.99}}})",
        R"({"LANGUAGE":{"Language":{"value":13}}})",
        R"({"LANGUAGE":{"language":{"intValue":13}}})",
        R"({"LANGUAGE":[13]})",
        R"({"Language":{"intValue":13}})",
        R"([{"LANGUAGE":{"Language":{"intValue":13}}}])",
        R"(13)",
    };
    for (const std::string& text : untouched) {
        write(text);
        bool changed = true;
        try {
            changed = engine.migrateStartupLanguageToEnglish();
        } catch (const std::exception& error) {
            // Numbers too large for the platform's reader are a parse error; nothing is written.
            EXPECT_NE(text.find("e1000"), std::string::npos) << text << ": " << error.what();
            changed = false;
        }
        EXPECT_FALSE(changed) << text;
        EXPECT_EQ(test::readFile(settings), text);
    }
    EXPECT_FALSE(fs::exists(copy));
}

TEST_F(SettingsMigration, FractionsAreTruncatedAsThePlatformConvertsThem) {
    write(R"({"LANGUAGE":{"Language":{"intValue":13.75}}})");
    EXPECT_TRUE(engine.migrateStartupLanguageToEnglish());
    EXPECT_EQ(json::parse(test::readFile(settings))["LANGUAGE"]["Language"]["intValue"], 0);
}

TEST_F(SettingsMigration, AHugeFileIsLeftAloneUnread) {
    // Far beyond any settings file the game writes: not read whole, not changed, no error.
    write(R"({"LANGUAGE":{"Language":{"intValue":13}}})");
    fs::resize_file(settings, 65ull << 20);
    EXPECT_FALSE(engine.migrateStartupLanguageToEnglish());
    EXPECT_EQ(fs::file_size(settings), 65ull << 20);
    EXPECT_FALSE(fs::exists(copy));
}

TEST_F(SettingsMigration, NoFileIsNothingToDo) {
    EXPECT_FALSE(engine.migrateStartupLanguageToEnglish());
    EXPECT_FALSE(fs::exists(support));
}

TEST_F(SettingsMigration, BrokenDeepOrLinkedFilesFailWithoutWriting) {
    write("{ this is not json");
    EXPECT_ANY_THROW(engine.migrateStartupLanguageToEnglish());
    EXPECT_EQ(test::readFile(settings), "{ this is not json");

    // Thousands of levels: refused cleanly, never a crash.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    write(deep);
    EXPECT_ANY_THROW(engine.migrateStartupLanguageToEnglish());
    const std::string deepObject = R"({"LANGUAGE":{"Language":{"intValue":13}},"x":)" + std::string(5000, '[') +
                                   std::string(5000, ']') + "}";
    write(deepObject);
    EXPECT_ANY_THROW(engine.migrateStartupLanguageToEnglish());
    EXPECT_EQ(test::readFile(settings), deepObject);

    const fs::path real = root.path() / "real.json";
    test::writeFile(real, R"({"LANGUAGE":{"Language":{"intValue":13}}})");
    fs::remove(settings);
    fs::create_symlink(real, settings);
    try {
        engine.migrateStartupLanguageToEnglish();
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_EQ(std::string(error.what()), "Установщик не изменяет символические ссылки: " + settings.string());
    }
    EXPECT_EQ(test::readFile(real), R"({"LANGUAGE":{"Language":{"intValue":13}}})");
    EXPECT_FALSE(fs::exists(copy));
}

TEST_F(SettingsMigration, AnEarlierCopyIsKeptAndAFailedRewriteLeavesTheSettings) {
    fs::create_directories(copy.parent_path());
    test::writeFile(copy, "first copy");
    const std::string text = R"({"LANGUAGE":{"Language":{"intValue":13}}})";
    write(text);
    // The rewrite fails at its last step: the settings keep their bytes, no temporary remains.
    const Engine failing(FileManager([&](FileOperation operation, const fs::path& path) {
        return operation == FileOperation::Rename && path == settings ? EIO : 0;
    }));
    EXPECT_ANY_THROW(failing.migrateStartupLanguageToEnglish());
    EXPECT_EQ(test::readFile(settings), text);
    EXPECT_TRUE(test::temporaries(root.path()).empty());
    EXPECT_TRUE(engine.migrateStartupLanguageToEnglish());
    EXPECT_EQ(test::readFile(copy), "first copy");
}

TEST_F(SettingsMigration, ACopyThatCannotBeMadeStopsBeforeTheSettingsChange) {
    const std::string text = R"({"LANGUAGE":{"Language":{"intValue":13}}})";
    write(text);
    const Engine failing(FileManager([&](FileOperation operation, const fs::path&) {
        return operation == FileOperation::Write || operation == FileOperation::Clone ? ENOSPC : 0;
    }));
    EXPECT_ANY_THROW(failing.migrateStartupLanguageToEnglish());
    EXPECT_EQ(test::readFile(settings), text);
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_TRUE(test::temporaries(root.path()).empty());
}

}  // namespace
}  // namespace morra
