#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "PatchTestSupport.h"
#include "steps/SettingsMigration.h"
#include "text/Utf8.h"

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
    InstallContext engine = test::demoContext();

    void write(const std::string& text) { test::writeFile(settings, text); }
    bool migrate() const { return migrateStartupLanguageToEnglish(engine); }
};

TEST_F(SettingsMigration, ThirteenBecomesEnglishWithEverythingElseKeptSortedAndPretty) {
    const std::string original =
        R"({"zeta":[1,2,{"b":true,"a":null}],"LANGUAGE":{"Language":{"intValue":13,"other":"x"},"Voice":{"intValue":13}},"alpha":"Ё"})";
    write(original);
    ::chmod(settings.c_str(), 0640);
    EXPECT_TRUE(migrate());
    // Only the startup language moves; the keys come sorted, pretty-printed, with a final line feed.
    EXPECT_EQ(test::readFile(settings), json::parse(R"({"LANGUAGE":{"Language":{"intValue":0,"other":"x"},"Voice":{"intValue":13}},
                                                        "alpha":"Ё","zeta":[1,2,{"a":null,"b":true}]})").dump(2) + "\n");
    EXPECT_EQ(test::readFile(copy), original);
    EXPECT_EQ(fs::status(settings).permissions(), fs::perms(0640));
    EXPECT_TRUE(test::temporaries(root.path()).empty());
    // Idempotent: the second run finds English and writes nothing.
    EXPECT_FALSE(migrate());
}

TEST_F(SettingsMigration, OtherValuesAndShapesAreLeftByteForByte) {
    const std::vector<std::string> untouched = {
        R"({"LANGUAGE":{"Language":{"intValue":0}}})",
        R"({"LANGUAGE":{"Language":{"intValue":14}}})",
        R"({"LANGUAGE":{"Language":{"intValue":"13"}}})",
        R"({"LANGUAGE":{"Language":{"intValue":true}}})",
        R"({"LANGUAGE":{"Language":{"intValue":18446744073709551629}}})",
        R"({"LANGUAGE":{"Language":{"intValue":12.99}}})",
        R"({"LANGUAGE":{"Language":{"value":13}}})",
        R"({"LANGUAGE":[13]})",
        R"({"Language":{"intValue":13}})",
        R"([{"LANGUAGE":{"Language":{"intValue":13}}}])",
    };
    for (const std::string& text : untouched) {
        write(text);
        EXPECT_FALSE(migrate()) << text;
        EXPECT_EQ(test::readFile(settings), text);
    }
    EXPECT_FALSE(fs::exists(copy));
}

// Anything but one JSON document is refused with a Russian text in valid UTF-8 that names the
// file (never the raw bytes), before anything is written; deep nesting never crashes.
TEST_F(SettingsMigration, OnlyOneStrictJsonDocumentIsAccepted) {
    const std::string valid = R"({"LANGUAGE":{"Language":{"intValue":13}}})";
    const std::vector<std::string> refused = {
        "{ this is not json",
        valid + "\xff",                                  // a stray byte after the document
        valid + std::string(1, '\0'),                    // NUL after the document
        R"({"LANGUAGE":{"Language":{"intValue":13}},"a":")" + std::string(1, '\0') + "\"}",  // NUL in a string
        valid.substr(0, valid.size() - 1) + ",\"name\":\"\xc3\x28\"}",  // invalid UTF-8 in a string
        valid.substr(0, valid.size() - 1) + ",\"name\":\"tab\there\"}",  // a raw control character
        R"({"LANGUAGE":{"Language":{"intValue":13}} /* a comment */})",
        R"({"LANGUAGE":{"Language":{"intValue":13}},})",   // a trailing comma
        R"({"LANGUAGE":{"Language":{"intValue":1e400}}})", // beyond any double
        std::string(100000, '[') + std::string(100000, ']'),
        R"({"LANGUAGE":{"Language":{"intValue":13}},"x":)" + std::string(5000, '[') + std::string(5000, ']') + "}",
    };
    for (const std::string& text : refused) {
        write(text);
        const std::string error = test::failureOf([&] { migrate(); });
        EXPECT_EQ(error.rfind("Файл настроек игры повреждён (это не JSON", 0), 0u) << error;
        EXPECT_NE(error.find(settings.string()), std::string::npos) << error;
        EXPECT_TRUE(isValidUtf8(error)) << error;
        EXPECT_EQ(test::readFile(settings), text);
    }
    EXPECT_FALSE(fs::exists(copy));
    // A byte-order mark before the document is allowed by the standard and ignored.
    write("\xef\xbb\xbf" + valid);
    EXPECT_TRUE(migrate());
}

// A link or a pipe is refused without waiting or writing; a huge file is left alone unread; the
// copy is made once, so a later migration keeps the first one; a fraction is truncated.
TEST_F(SettingsMigration, LinksPipesHugeFilesAndTheFirstCopy) {
    const std::string thirteen = R"({"LANGUAGE":{"Language":{"intValue":13}}})";
    test::writeFile(root.path() / "real.json", thirteen);
    fs::create_directories(settings.parent_path());
    fs::create_symlink(root.path() / "real.json", settings);
    EXPECT_EQ(test::failureOf([&] { migrate(); }), "Установщик не изменяет символические ссылки: " + settings.string());
    EXPECT_EQ(test::readFile(root.path() / "real.json"), thirteen);
    fs::remove(settings);
    ASSERT_EQ(::mkfifo(settings.c_str(), 0644), 0);
    EXPECT_EQ(test::failureWithin(20, [&] { migrate(); }),
              "Ожидался обычный файл, но это папка, канал или устройство: " + settings.string());
    fs::remove(settings);
    EXPECT_FALSE(migrate()) << "no file, nothing to do";
    write(thirteen);
    fs::resize_file(settings, 65ull << 20);
    EXPECT_FALSE(migrate());
    EXPECT_EQ(fs::file_size(settings), 65ull << 20);
    EXPECT_FALSE(fs::exists(copy));
    write(R"({"LANGUAGE":{"Language":{"intValue":13.75}}})");
    EXPECT_TRUE(migrate());
    write(thirteen);
    // The settings take their new content through a flushed temporary, never written in place.
    test::FaultInjector injector;
    EXPECT_TRUE(migrateStartupLanguageToEnglish(test::demoContext(injector.fileManager())));
    test::expectDurablyPublished(injector, settings, ".Settings.json.updating-");
    EXPECT_EQ(test::readFile(copy), R"({"LANGUAGE":{"Language":{"intValue":13.75}}})");
}

}  // namespace
}  // namespace morra
