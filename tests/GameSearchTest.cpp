// Finding the game: whether a folder is the game (its Info.plist, XML or binary), the Steam
// library list, and the places searched in their order.

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <pthread.h>
#include <sys/stat.h>

#include <cerrno>
#include <functional>

#include "IcuReference.h"
#include "SearchTestSupport.h"
#include "game/BundleIdentity.h"
#include "search/GameSearch.h"
#include "search/SteamLibraries.h"
#include "text/Utf8.h"

namespace morra::test {
namespace {

using Values = std::vector<std::string>;
using namespace std::string_literals;

const std::string kGamePlist = infoPlist(plistString("CFBundleIdentifier", "com.holtstudio.morravellant") +
                                         plistString("CFBundleExecutable", "Morra Vellant"));

fs::path makeBundle(const fs::path& bundle, const std::string& plist = kGamePlist) {
    writeFile(bundle / "Contents" / "Info.plist", plist);
    return bundle;
}

fs::path libraryFoldersUnder(const fs::path& home) {
    return home / "Library" / "Application Support" / "Steam" / "steamapps" / "libraryfolders.vdf";
}

fs::path steamGameIn(const fs::path& library) { return library / "steamapps" / "common" / "Morra Vellant" / "morra.app"; }

// A library list in the Steam client's layout naming the given folders, in order.
std::string libraryFoldersListing(const std::vector<std::string>& libraries) {
    std::string text = "\"libraryfolders\"\n{\n";
    for (std::size_t index = 0; index < libraries.size(); ++index)
        text += "\t\"" + std::to_string(index) + "\"\n\t{\n\t\t\"path\"\t\t\"" + libraries[index] +
                "\"\n\t\t\"label\"\t\t\"\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"228980\"\t\t\"1234\"\n\t\t}\n\t}\n";
    return text + "}\n";
}

std::string binaryPlist(const char* identifier, const char* executable) {
    plist_t dictionary = plist_new_dict();
    plist_dict_set_item(dictionary, "CFBundleIdentifier", plist_new_string(identifier));
    plist_dict_set_item(dictionary, "CFBundleExecutable", plist_new_string(executable));
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(dictionary, &bytes, &length);
    std::string result(bytes, length);
    plist_to_bin_free(bytes);
    plist_free(dictionary);
    return result;
}

// A binary property list written by hand: each object is an array whose members refer to the
// objects that `members` names, with four-byte references and offsets.
std::string binaryArrays(const std::vector<std::vector<std::uint32_t>>& members) {
    auto bigEndian = [](std::string& out, std::uint64_t value, int size) {
        for (int i = size - 1; i >= 0; --i) out.push_back(static_cast<char>(value >> (8 * i)));
    };
    std::string out = "bplist00";
    std::vector<std::uint64_t> offsets;
    for (const std::vector<std::uint32_t>& array : members) {
        offsets.push_back(out.size());
        out.push_back(static_cast<char>(array.size() < 15 ? 0xA0 | array.size() : 0xAF));
        if (array.size() >= 15) out.push_back(static_cast<char>(0x12)), bigEndian(out, array.size(), 4);  // a four-byte count
        for (std::uint32_t member : array) bigEndian(out, member, 4);
    }
    const std::uint64_t table = out.size();
    for (std::uint64_t offset : offsets) bigEndian(out, offset, 4);
    out += std::string(6, '\0') + "\x04\x04";
    bigEndian(out, members.size(), 8);
    bigEndian(out, 0, 8);
    bigEndian(out, table, 8);
    return out;
}

TEST(BundleIdentity, OnlyTheGamesIdentifierAndExecutableInAnAppFolderPassNeverACrash) {
    TemporaryDirectory scratch;
    const std::string identifier = plistString("CFBundleIdentifier", "com.holtstudio.morravellant");
    const std::string executable = plistString("CFBundleExecutable", "Morra Vellant");
    const std::tuple<const char*, std::string, bool> cases[] = {
        {"Morra Vellant.app", kGamePlist, true},
        {"Game.aPp", kGamePlist, true},
        {"Game.app", binaryPlist("com.holtstudio.morravellant", "Morra Vellant"), true},
        {"Game.apps", kGamePlist, false},
        {"Game", kGamePlist, false},
        {"Game.app", infoPlist(identifier + plistString("CFBundleExecutable", "Morra")), false},
        {"Game.app", infoPlist(plistString("CFBundleIdentifier", "com.holtstudio.MorraVellant") + executable), false},
        {"Game.app", infoPlist(identifier + "\t<key>CFBundleExecutable</key>\n\t<integer>7</integer>\n"), false},
        {"Game.app", infoPlist("<key>CFBundleIdentifier</key><array><string>com.holtstudio.morravellant</string></array>\n" + executable), false},
        {"Game.app", kGamePlist.substr(0, 150), false},
        {"Game.app", binaryPlist("com.holtstudio.morravellant", "morra"), false},
        {"Game.app", binaryPlist("com.holtstudio.morravellant", "Morra Vellant").substr(0, 60) + std::string(32, '\xff'), false},
    };
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        const auto& [name, plist, accepted] = cases[index];
        const fs::path bundle = makeBundle(scratch / std::to_string(index) / name, plist);
        EXPECT_EQ(game::validateBundleIdentity(files::FileManager(), bundle), accepted) << index;
    }
    EXPECT_FALSE(game::validateBundleIdentity(files::FileManager(), scratch / "missing.app"));
    writeFile(scratch / "file.app", kGamePlist);
    EXPECT_FALSE(game::validateBundleIdentity(files::FileManager(), scratch / "file.app")) << "a plain file is no bundle";

    // Nesting that would exhaust the parser's stack (on the 512 KiB stack that secondary threads
    // get on macOS, where the window's operations run), references that loop, and references that
    // expand into billions of values: refused quickly, never a crash.
    std::string nestedXml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < 60000; ++i) nestedXml += "<array>";  // under the size bound
    for (int i = 0; i < 60000; ++i) nestedXml += "</array>";
    nestedXml += "</plist>";
    std::vector<std::vector<std::uint32_t>> chain(300000), loop{{0}}, laughs(30);
    for (std::uint32_t i = 0; i + 1 < chain.size(); ++i) chain[i] = {i + 1};
    for (std::uint32_t i = 0; i + 1 < laughs.size(); ++i) laughs[i] = std::vector<std::uint32_t>(16, i + 1);
    for (const std::string& bytes : {nestedXml, binaryArrays(chain), binaryArrays(loop), binaryArrays(laughs)}) {
        EXPECT_EQ(failureWithin(30, [&] {
                      pthread_attr_t attributes;
                      pthread_attr_init(&attributes);
                      pthread_attr_setstacksize(&attributes, 512 * 1024);
                      pthread_t thread;
                      pthread_create(&thread, &attributes, [](void* input) -> void* {
                          const auto* text = static_cast<const std::string*>(input);
                          const game::BundleInfo info = game::parseBundleInfo(*text);
                          return info.identifier || info.executable ? input : nullptr;
                      }, const_cast<std::string*>(&bytes));
                      void* valuesRead = nullptr;
                      pthread_join(thread, &valuesRead);
                      if (valuesRead) throw std::runtime_error("values read");
                  }),
                  "(no error)")
            << bytes.size();
    }
}

// The scanner follows the pattern "path"\s+"([^"]+)" exactly as ICU (the platform's regular
// expressions on macOS) runs it, and refuses text that is not UTF-8. 32 MiB of filler that almost
// matches everywhere, and runs that make a naive scanner quadratic or a recursive matcher overflow
// its stack: all end quickly.
TEST(LibraryFolderPathValues, FollowsThePatternExactlyAndEndsQuicklyOnHostileInput) {
    const std::string filler = "\"path\"\"x\" \"path\" \"\" \"path\" \xE2\x80\x80\tx ";
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
        {R"("path" "a\" "b")", {R"(a\)"}},                        // a backslash escapes no quote
        {"\"path\" \"caf\xC3\xA9 \xF0\x9F\x8E\xAE\"", {"caf\xC3\xA9 \xF0\x9F\x8E\xAE"}},
        {"\"path\" \"a\0b\""s, {"a\0b"s}},
        {"\"path\"\0\"a\""s, {}},  // NUL is no white space
        {libraryFoldersListing({"/Volumes/Games", "/Users/me/Steam Library"}) + "\"deeper\" { \"x\" { \"path\" \"/nested\" } }",
         {"/Volumes/Games", "/Users/me/Steam Library", "/nested"}},
        {filler + "\"path\" \"/a\"", {"/a"}},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(search::libraryFolderPathValues(text), expected) << text;
        EXPECT_EQ(icuPathCaptures(text), expected) << "reference disagrees on: " << text;
    }
    for (const char* text : {"\"path\" \"\x80\"", "\"path\" \"a\"\xE2\x80", "\"path\" \"\xC0\xA2\"", "\"path\" \"\xE0\x80\xA2\"",
                             "\"path\" \"\xED\xA0\x80\"", "\"path\" \"\xF4\x90\x80\x80\"", "\"path\" \"\xFF\""})
        EXPECT_EQ(search::libraryFolderPathValues(text), std::nullopt) << text;
    EXPECT_TRUE(text::isValidUtf8("\xF4\x8F\xBF\xBF\xEF\xBF\xBF\xED\x9F\xBF"));

    std::string text;
    Values expected;
    while (text.size() < (32u << 20)) {
        for (std::size_t index = 0; index < (1u << 20) / filler.size(); ++index) text += filler;
        expected.push_back("/lib" + std::to_string(expected.size()));
        text += "\"path\" \"" + expected.back() + "\"";
    }
    EXPECT_EQ(search::libraryFolderPathValues(text), expected);
    const std::size_t size = 16u << 20;
    EXPECT_EQ(search::libraryFolderPathValues("\"path\"" + std::string(size, ' ')), Values{});
    EXPECT_EQ(search::libraryFolderPathValues("\"path\" \"" + std::string(size, 'x')), Values{});
    EXPECT_EQ(search::libraryFolderPathValues(std::string(size, '"')), Values{});
    std::string keys;
    while (keys.size() < size) keys += "\"path\" ";
    EXPECT_EQ(search::libraryFolderPathValues(keys), Values(keys.size() / 14, "path"));
}

// The default root first, then every listed library as written; a list that cannot be read, is
// not UTF-8, is no regular file or is too large gives the default root only; a pipe never blocks.
TEST(SteamLibraryRoots, DefaultRootFirstThenEveryListedLibrary) {
    TemporaryDirectory home;
    const fs::path steam = home / "Library" / "Application Support" / "Steam", list = libraryFoldersUnder(home.path());
    EXPECT_EQ(search::steamLibraryRoots(files::FileManager(), home.path()), std::vector<fs::path>{steam});
    writeFile(list, "\xEF\xBB\xBF" + libraryFoldersListing({R"(D:\\Steam\\Library)", "/b", "/a", "/b", steam.string()}) +
                        "\"path\" \"/with\0nul\"\n"s + "\"path\" \"relative/library\"\n");
    EXPECT_EQ(search::steamLibraryRoots(files::FileManager(), home.path()),
              (std::vector<fs::path>{steam, R"(D:\Steam\Library)", "/b", "/a", "/b", steam, "relative/library"}));

    const std::string listing = libraryFoldersListing({"/Volumes/Games"});
    const auto failing = [&](files::FileOperation failed) {
        return files::FileManager([=](files::FileOperation o, const fs::path& p) { return o == failed && p == list ? EIO : 0; });
    };
    const std::vector<std::pair<std::function<void()>, files::FileManager>> cases = {
        {[&] { writeFile(list, listing); }, failing(files::FileOperation::Open)},
        {[&] { writeFile(list, listing); }, failing(files::FileOperation::Read)},
        {[&] { writeFile(list, listing + "\"path\" \"/x\xFF\"\n"); }, files::FileManager()},
        {[&] { fs::create_directories(list); }, files::FileManager()},
        {[&] { fs::create_symlink("libraryfolders.vdf", list); }, files::FileManager()},
        {[&] { ::mkfifo(list.c_str(), 0644); }, files::FileManager()},
        {[&] { writeFile(list, listing), fs::resize_file(list, search::kLibraryFoldersSizeLimit + 1); }, files::FileManager()},
    };
    for (std::size_t index = 0; index < cases.size(); ++index) {
        fs::remove_all(list);
        cases[index].first();
        EXPECT_EQ(failureWithin(20, [&] {
                      if (search::steamLibraryRoots(cases[index].second, home.path()).size() != 1) throw std::runtime_error("more than the default root");
                  }),
                  "(no error)")
            << index;
    }
}

// From the last place to the first: each new game found wins over those placed before it, and the
// override beats every other place. A rejected, missing or empty override is passed over
// silently; a relative one is taken from the working folder, and a working folder that is gone
// does not stop the search.
TEST(GameSearch, EarlierPlacesWinAndOverridesThatCannotBeUsedArePassedOver) {
    TemporaryDirectory scratch;
    const fs::path home = scratch / "home";
    const ScopedEnvironment homeVariable("HOME", home.string());
    const ScopedEnvironment noOverride("MORRA_LUMEN_INSTALLER_GAME", std::nullopt);
    const auto discover = [] { return search::discoverGame(files::FileManager()); };
    EXPECT_EQ(discover(), std::nullopt);
    fs::create_directories(home / "Applications/morra.app/Contents");  // a folder, but no bundle
    EXPECT_EQ(discover(), std::nullopt);
    writeFile(libraryFoldersUnder(home),
              libraryFoldersListing({(scratch / "Library One").string(), (scratch / "Library Two").string()}));
    for (const fs::path& place : {steamGameIn(scratch / "Library Two"), steamGameIn(scratch / "Library One"),
                                  steamGameIn(home / "Library" / "Application Support" / "Steam"),
                                  home / "GOG Games/Morra Vellant/Morra Vellant.app",
                                  home / "GOG Games/Morra Vellant/morra.app",
                                  home / "Applications/Morra Vellant.app", home / "Applications/morra.app"}) {
        makeBundle(place);
        EXPECT_EQ(discover(), place);
    }
    const fs::path fallback = home / "Applications/morra.app";
    const fs::path other = makeBundle(scratch / "Other.app", binaryPlist("org.other", "Morra Vellant"));
    const fs::path game = makeBundle(scratch / "work" / "games" / "morra.app");
    const fs::path previous = fs::current_path();
    fs::current_path(scratch / "work");
    for (const auto& [value, expected] : std::vector<std::pair<std::string, fs::path>>{
             {game.string(), game}, {other.string(), fallback},
             {(scratch / "missing.app").string(), fallback}, {"", fallback},
             {"relative/missing.app", fallback}, {"games/../games/./morra.app", game}}) {
        ScopedEnvironment override("MORRA_LUMEN_INSTALLER_GAME", value);
        EXPECT_EQ(discover(), expected) << "override: " << value;
    }
    fs::create_directory(scratch / "gone");
    fs::current_path(scratch / "gone");
    fs::remove(scratch / "gone");
    ScopedEnvironment override("MORRA_LUMEN_INSTALLER_GAME", "relative/morra.app");
    std::optional<fs::path> found;
    EXPECT_NO_THROW(found = discover());
    fs::current_path(previous);
    EXPECT_EQ(found, fallback);
}

// A symbolic link and its target, or one folder written several ways, are one candidate; paths
// that loop through links are tested once and never throw; the first accepted ends the search.
TEST(FirstAcceptedCandidate, TestsEachResolvedPathOnce) {
    TemporaryDirectory scratch;
    const fs::path game = makeBundle(scratch / "games" / "morra.app");
    fs::create_directory_symlink(game, scratch / "link.app");
    fs::create_directory_symlink(scratch / "link.app", scratch / "link-to-link.app");
    fs::create_directory_symlink(scratch / "games", scratch / "games-link");
    fs::create_symlink("b.app", scratch / "a.app");
    fs::create_symlink("a.app", scratch / "b.app");
    fs::create_directory_symlink("loop", scratch / "loop");
    const std::vector<fs::path> candidates = {
        scratch / "link.app", game, scratch / "games" / "." / "morra.app", scratch / "games-link" / "morra.app",
        scratch / "link-to-link.app", scratch / "x" / ".." / "games" / "morra.app", scratch / "missing.app",
        scratch / "games" / "morra.app/", scratch / "a.app", scratch / "loop" / "x" / "morra.app", scratch / "a.app"};
    std::vector<fs::path> tested;
    std::optional<fs::path> found = game;
    EXPECT_NO_THROW(found = search::firstAcceptedCandidate(files::FileManager(), candidates, [&](const fs::path& bundle) {
                        return tested.push_back(bundle), false;
                    }));
    EXPECT_EQ(found, std::nullopt);
    ASSERT_EQ(tested.size(), 4u);
    EXPECT_EQ(std::vector<fs::path>(tested.begin(), tested.begin() + 2), (std::vector<fs::path>{game, scratch / "missing.app"}));
    tested.clear();
    EXPECT_EQ(search::firstAcceptedCandidate(files::FileManager(), {scratch / "missing.app", scratch / "link-to-link.app", scratch / "other.app"},
                                             [&](const fs::path& bundle) { return tested.push_back(bundle), bundle == game; }),
              game);
    EXPECT_EQ(tested, (std::vector<fs::path>{scratch / "missing.app", game}));
}

}  // namespace
}  // namespace morra::test
