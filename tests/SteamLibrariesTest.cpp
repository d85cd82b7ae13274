#include "search/SteamLibraries.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <functional>

#include "IcuReference.h"
#include "SearchTestSupport.h"
#include "text/Utf8.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using test::writeFile;
using Values = std::vector<std::string>;
using namespace std::string_literals;

// The values, or "refused" for text that is not UTF-8.
std::optional<Values> scan(std::string_view text) { return libraryFolderPathValues(text); }

// The scanner follows the pattern "path"\s+"([^"]+)" exactly as ICU (the platform's regular
// expressions on macOS) runs it, and refuses text that is not UTF-8.
TEST(LibraryFolderPathValues, FollowsThePatternExactly) {
    const std::vector<std::pair<std::string, Values>> cases = {
        {R"("path" "")", {}},                                   // an empty value never matches
        {R"("path" ""path" "x")", {"x"}},                       // ...and the search goes on inside it
        {R"("path""x")", {}},                                   // white space is required
        {R"("path" "path" "x")", {"path"}},                     // matches do not overlap
        {R"("Path" "x" "PATH" "y")", {}},                       // the key's case matters
        {R"("paths" "x" path "y" "path" x "path")", {}},
        {"\"path\" \t\r\n\f\v \"multi\nline\"", {"multi\nline"}},
        {R"("path" "unterminated)", {}},
        {R"(""path"  "a b")", {"a b"}},
        {R"("path" "C:\\Games\\Steam")", {R"(C:\\Games\\Steam)"}},  // captured unchanged
        {"\"path\" \"caf\xC3\xA9 \xF0\x9F\x8E\xAE\"", {"caf\xC3\xA9 \xF0\x9F\x8E\xAE"}},
        {"\"path\" \"a\0b\""s, {"a\0b"s}},
        {"\"path\"\0\"a\""s, {}},  // NUL is no white space
        {test::libraryFoldersListing({"/Volumes/Games", "/Users/me/Steam Library"}) + "\"deeper\" { \"x\" { \"path\" \"/nested\" } }",
         {"/Volumes/Games", "/Users/me/Steam Library", "/nested"}},
        {"\"path\"\"x\" \"path\" \"\" \"path\" \xE2\x80\x80\tx \"path\" \"/a\"", {"/a"}},  // the filler below
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(scan(text), expected) << text;
        EXPECT_EQ(test::icuPathCaptures(text), expected) << "reference disagrees on: " << text;
    }
    for (const char* text : {"\"path\" \"\x80\"", "\"path\" \"a\"\xE2\x80", "\"path\" \"\xC0\xA2\"", "\"path\" \"\xE0\x80\xA2\"",
                             "\"path\" \"\xED\xA0\x80\"", "\"path\" \"\xF4\x90\x80\x80\"", "\"path\" \"\xFF\""}) {
        EXPECT_FALSE(isValidUtf8(text)) << text;
        EXPECT_EQ(scan(text), std::nullopt) << text;
    }
    EXPECT_TRUE(isValidUtf8("\xF4\x8F\xBF\xBF\xEF\xBF\xBF\xED\x9F\xBF"));
}

// 32 MiB of filler that almost matches everywhere, and runs that make a naive scanner quadratic
// or a recursive matcher overflow its stack: all end quickly.
TEST(LibraryFolderPathValues, LargeAndHostileInputsEndQuickly) {
    const std::string filler = "\"path\"\"x\" \"path\" \"\" \"path\" \xE2\x80\x80\tx ";
    std::string text;
    Values expected;
    while (text.size() < (32u << 20)) {
        for (std::size_t index = 0; index < (1u << 20) / filler.size(); ++index) text += filler;
        expected.push_back("/lib" + std::to_string(expected.size()));
        text += "\"path\" \"" + expected.back() + "\"";
    }
    EXPECT_EQ(scan(text), expected);
    const std::size_t size = 16u << 20;
    EXPECT_EQ(scan("\"path\"" + std::string(size, ' ')), Values{});
    EXPECT_EQ(scan("\"path\" \"" + std::string(size, 'x')), Values{});
    EXPECT_EQ(scan(std::string(size, '"')), Values{});
    std::string keys;
    while (keys.size() < size) keys += "\"path\" ";
    EXPECT_EQ(scan(keys), Values(keys.size() / 14, "path"));
}

TEST(SteamLibraryRoots, DefaultRootFirstThenEveryListedLibrary) {
    test::ScratchFolder home;
    const fs::path steam = home / "Library" / "Application Support" / "Steam";
    EXPECT_EQ(steamLibraryRoots(FileManager(), home.path()), std::vector<fs::path>{steam});
    writeFile(test::libraryFoldersUnder(home.path()),
              "\xEF\xBB\xBF" + test::libraryFoldersListing({R"(D:\\Steam\\Library)", "/b", "/a", "/b", steam.string()}) +
                  "\"path\" \"/with\0nul\"\n"s + "\"path\" \"relative/library\"\n");
    EXPECT_EQ(steamLibraryRoots(FileManager(), home.path()),
              (std::vector<fs::path>{steam, R"(D:\Steam\Library)", "/b", "/a", "/b", steam, "relative/library"}));
}

// A list that cannot be read, is not UTF-8, is no regular file or is too large gives the default
// root only; a named pipe must not block.
TEST(SteamLibraryRoots, AListThatCannotBeReadGivesTheDefaultRootOnly) {
    const std::string listing = test::libraryFoldersListing({"/Volumes/Games"});
    const std::vector<std::pair<const char*, std::function<FileManager(const fs::path&)>>> cases = {
        {"open fails", [](const fs::path& list) { return FileManager([list](FileOperation o, const fs::path& p) { return o == FileOperation::Open && p == list ? EIO : 0; }); }},
        {"read fails", [](const fs::path& list) { return FileManager([list](FileOperation o, const fs::path& p) { return o == FileOperation::Read && p == list ? EIO : 0; }); }},
        {"not UTF-8", [&](const fs::path& list) { return writeFile(list, listing + "\"path\" \"/x\xFF\"\n"), FileManager(); }},
        {"a folder", [](const fs::path& list) { return fs::create_directories(list), FileManager(); }},
        {"a link to itself", [](const fs::path& list) { return fs::create_symlink("libraryfolders.vdf", list), FileManager(); }},
        {"a named pipe", [](const fs::path& list) { return ::mkfifo(list.c_str(), 0644), FileManager(); }},
        {"too large", [&](const fs::path& list) { return writeFile(list, listing), fs::resize_file(list, kLibraryFoldersSizeLimit + 1), FileManager(); }},
    };
    for (const auto& [label, prepare] : cases) {
        test::ScratchFolder home;
        const fs::path list = test::libraryFoldersUnder(home.path());
        writeFile(list, listing);
        if (std::string(label).find("fails") == std::string::npos) fs::remove(list);
        const FileManager files = prepare(list);
        EXPECT_EQ(test::failureWithin(20, [&] {
                      if (steamLibraryRoots(files, home.path()).size() != 1) throw std::runtime_error("more than the default root");
                  }),
                  "(no error)")
            << label;
    }
}

}  // namespace
}  // namespace morra
