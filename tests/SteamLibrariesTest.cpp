#include "search/SteamLibraries.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "IcuReference.h"
#include "SearchTestSupport.h"
#include "files/FileManager.h"
#include "text/Utf8.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using test::ScratchFolder;
using test::writeFile;
using Values = std::vector<std::string>;
using namespace std::string_literals;

Values icuCaptures(std::string_view text) { return test::icuPathCaptures(text); }

Values scan(std::string_view text) {
    std::optional<Values> values = libraryFolderPathValues(text);
    if (!values) throw std::runtime_error("text refused as not UTF-8");
    return *values;
}

std::string utf8(char32_t codePoint) {
    icu::UnicodeString text;
    text.append(static_cast<UChar32>(codePoint));
    std::string bytes;
    text.toUTF8String(bytes);
    return bytes;
}

TEST(LibraryFolderPathValues, FollowsThePatternExactly) {
    // Each line: text, values the pattern captures in it.
    const std::vector<std::pair<std::string, Values>> cases = {
        {R"("path" "")", {}},                                   // an empty value never matches
        {R"("path" ""path" "x")", {"x"}},                       // ...and the search goes on inside it
        {R"("path""x")", {}},                                   // white space is required
        {R"("path" "path" "x")", {"path"}},                     // matches do not overlap
        {R"("Path" "x" "PATH" "y")", {}},                       // the key's case matters
        {R"("paths" "x" path "y" "path" x "path")", {}},        // only the quoted word, then a quoted value
        {R"("path" "a" "path" "b")", {"a", "b"}},
        {"\"path\" \t\r\n\f\v \"multi\nline\"", {"multi\nline"}},  // [^"] takes line breaks
        {R"("path" "unterminated)", {}},
        {R"(x"path" "y" "path")", {"y"}},
        {R"(""path"  "a b")", {"a b"}},
        {R"("path" "C:\\Games\\Steam")", {R"(C:\\Games\\Steam)"}},  // captured unchanged
        {"\"path\" \"caf\xC3\xA9 \xF0\x9F\x8E\xAE\"", {"caf\xC3\xA9 \xF0\x9F\x8E\xAE"}},
        {"\"path\" \"a\0b\""s, {"a\0b"s}},
        {"\"path\"\0\"a\""s, {}},               // NUL is no white space
        {"", {}},
        {test::libraryFoldersListing({"/Volumes/Games", "/Users/me/Steam Library"}) + "\"deeper\" { \"x\" { \"path\" \"/nested\" } }",
         {"/Volumes/Games", "/Users/me/Steam Library", "/nested"}},  // every entry in file order, at any depth
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(scan(text), expected) << text;
        EXPECT_EQ(icuCaptures(text), expected) << "reference disagrees on: " << text;
    }
}

// The white-space set must be ICU's for every code point, including the Unicode spaces.
TEST(LibraryFolderPathValues, WhiteSpaceIsIcusForEveryCodePoint) {
    std::size_t whiteSpaceCount = 0;
    for (char32_t codePoint = 0; codePoint <= 0x10FFFF; ++codePoint) {
        if (codePoint >= 0xD800 && codePoint <= 0xDFFF) continue;
        const std::string character = utf8(codePoint);
        const std::string text = "\"path\"" + character + "\"v\"";
        const bool referenceMatches = !icuCaptures(text).empty();
        ASSERT_EQ(!scan(text).empty(), referenceMatches) << "U+" << std::hex << static_cast<unsigned>(codePoint);
        if (referenceMatches) {
            ++whiteSpaceCount;
            // A run of mixed white space, and the character between other white space.
            ASSERT_EQ(scan("\"path\" " + character + character + "\t\"v\""), Values{"v"});
        }
    }
    EXPECT_EQ(whiteSpaceCount, 25u);
}

TEST(LibraryFolderPathValues, RefusesTextThatIsNotUtf8) {
    const std::vector<std::string> invalid = {
        "\"path\" \"\x80\"",            // stray continuation byte
        "\"path\" \"\xC3\"",            // truncated sequence before a quote
        "\"path\" \"a\"\xE2\x80",       // truncated at the end
        "\"path\" \"\xC0\xA2\"",        // overlong quote
        "\"path\" \"\xE0\x80\xA2\"",    // overlong, three bytes
        "\"path\" \"\xED\xA0\x80\"",    // encoded surrogate
        "\"path\" \"\xF4\x90\x80\x80\"",  // beyond U+10FFFF
        "\"path\" \"\xF5\x80\x80\x80\"",
        "\"path\" \"\xFF\"",
    };
    for (const std::string& text : invalid) {
        EXPECT_FALSE(isValidUtf8(text)) << text;
        EXPECT_FALSE(libraryFolderPathValues(text).has_value()) << text;
    }
    for (const std::string& text : {std::string("\xF4\x8F\xBF\xBF\xEF\xBF\xBF\xED\x9F\xBF"), "a\0b"s})
        EXPECT_TRUE(isValidUtf8(text));
}

// Thousands of entries, 32 MiB on one line, and runs that make a naive scanner quadratic or a
// recursive matcher overflow its stack.
TEST(LibraryFolderPathValues, LargeAndHostileInputsEndQuickly) {
    Values libraries;
    for (int index = 0; index < 5000; ++index) libraries.push_back("/Volumes/Library " + std::to_string(index));
    EXPECT_EQ(scan(test::libraryFoldersListing(libraries)), libraries);

    // Filler that almost matches everywhere, with a real entry every megabyte.
    const std::string filler = "\"path\"\"x\" \"path\" \"\" \"path\" \xE2\x80\x80\tx ";
    const std::string sample = filler + filler + "\"path\" \"/a\"" + filler + "\"path\" \"/b\"";
    ASSERT_EQ(icuCaptures(sample), (Values{"/a", "/b"}));
    ASSERT_EQ(scan(sample), icuCaptures(sample));
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

TEST(CollapseDoubledBackslashes, MakesEachPairSingleLeftToRight) {
    for (const auto& [text, expected] : std::vector<std::pair<std::string, std::string>>{
             {R"(D:\\SteamLibrary)", R"(D:\SteamLibrary)"}, {R"(a\b)", R"(a\b)"}, {R"(\\\)", R"(\\)"},
             {R"(\\\\)", R"(\\)"}, {R"(\\\\\)", R"(\\\)"}, {"", ""}})
        EXPECT_EQ(collapseDoubledBackslashes(text), expected) << text;
}

// ---- Reading the list from disk -------------------------------------------------------------

fs::path defaultRoot(const fs::path& home) { return home / "Library" / "Application Support" / "Steam"; }

TEST(SteamLibraryRoots, DefaultRootFirstThenEveryListedLibrary) {
    ScratchFolder home;
    EXPECT_EQ(steamLibraryRoots(FileManager(), home.path()), std::vector<fs::path>{defaultRoot(home.path())});

    writeFile(test::libraryFoldersUnder(home.path()),
              test::libraryFoldersListing({R"(D:\\Steam\\Library)", "/b", "/a", "/b", defaultRoot(home.path()).string()}) +
                  "\"path\" \"/with\0nul\"\n"s + "\"path\" \"relative/library\"\n");
    EXPECT_EQ(steamLibraryRoots(FileManager(), home.path()),
              (std::vector<fs::path>{defaultRoot(home.path()), R"(D:\Steam\Library)", "/b", "/a", "/b",
                                     defaultRoot(home.path()), "relative/library"}));
}

TEST(SteamLibraryRoots, AListThatCannotBeReadGivesTheDefaultRootOnly) {
    ScratchFolder home;
    const fs::path list = test::libraryFoldersUnder(home.path());
    const std::vector<fs::path> defaultOnly{defaultRoot(home.path())};
    const std::string listing = test::libraryFoldersListing({"/Volumes/Games"});

    writeFile(list, "\xEF\xBB\xBF" + listing);  // a byte-order mark is valid UTF-8
    ASSERT_EQ(steamLibraryRoots(FileManager(), home.path()).size(), 2u);

    for (FileOperation failing : {FileOperation::Open, FileOperation::Read}) {
        FileManager failingManager([&](FileOperation operation, const fs::path& path) {
            return operation == failing && path == list ? EIO : 0;
        });
        EXPECT_EQ(steamLibraryRoots(failingManager, home.path()), defaultOnly);
    }

    writeFile(list, listing + "\"path\" \"/x\xFF\"\n");
    EXPECT_EQ(steamLibraryRoots(FileManager(), home.path()), defaultOnly) << "not UTF-8";

    fs::remove(list);
    fs::create_directory(list);
    EXPECT_EQ(steamLibraryRoots(FileManager(), home.path()), defaultOnly) << "a folder";
    fs::remove(list);

    fs::create_symlink("libraryfolders.vdf", list);
    EXPECT_EQ(steamLibraryRoots(FileManager(), home.path()), defaultOnly) << "a link to itself";
    fs::remove(list);

    ASSERT_EQ(::mkfifo(list.c_str(), 0644), 0);
    EXPECT_EQ(steamLibraryRoots(FileManager(), home.path()), defaultOnly) << "a named pipe must not block";
    fs::remove(list);

    writeFile(list, listing);
    fs::resize_file(list, kLibraryFoldersSizeLimit + 1);  // sparse: nothing is written
    EXPECT_EQ(steamLibraryRoots(FileManager(), home.path()), defaultOnly) << "too large";
}

// Root reads any file, so the unreadable list is tried by an unprivileged user in a child process.
TEST(SteamLibraryRoots, AListTheUserMayNotReadGivesTheDefaultRootOnly) {
    ScratchFolder home;
    fs::permissions(home.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    const fs::path list = test::libraryFoldersUnder(home.path());
    writeFile(list, test::libraryFoldersListing({"/Volumes/Games", "/Volumes/More"}));

    auto rootCountAsNobody = [&] {
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                ::setresuid(65534, 65534, 65534) != 0)
                ::_exit(100);
            ::_exit(static_cast<int>(steamLibraryRoots(FileManager(), home.path()).size()));
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };

    EXPECT_EQ(rootCountAsNobody(), 3) << "the unprivileged user reads a readable list";
    fs::permissions(list, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(rootCountAsNobody(), 1);
}

}  // namespace
}  // namespace morra
