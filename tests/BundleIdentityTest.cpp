// Whether a folder is the game: the extension, then the identifier and executable name in its
// Info.plist, XML or binary; a property list built to hurt the parser is simply not the game.

#include "game/BundleIdentity.h"

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <pthread.h>

#include <functional>

#include "SearchTestSupport.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using test::infoPlist;
using test::plistString;

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
        if (array.size() < 15) {
            out.push_back(static_cast<char>(0xA0 | array.size()));
        } else {
            out.push_back(static_cast<char>(0xAF));
            out.push_back(static_cast<char>(0x12));  // a four-byte integer follows
            bigEndian(out, array.size(), 4);
        }
        for (std::uint32_t member : array) bigEndian(out, member, 4);
    }
    const std::uint64_t table = out.size();
    for (std::uint64_t offset : offsets) bigEndian(out, offset, 4);
    out.append(6, '\0');
    out.push_back(4);
    out.push_back(4);
    bigEndian(out, members.size(), 8);
    bigEndian(out, 0, 8);
    bigEndian(out, table, 8);
    return out;
}

TEST(BundleIdentity, OnlyTheGamesIdentifierAndExecutableInAnAppFolderPass) {
    test::ScratchFolder scratch;
    const std::string identifier = plistString("CFBundleIdentifier", "com.holtstudio.morravellant");
    const std::string executable = plistString("CFBundleExecutable", "Morra Vellant");
    const struct {
        const char* name;
        const char* bundle;
        std::string plist;
        bool accepted;
    } cases[] = {
        {"the game", "Morra Vellant.app", test::gameInfoPlist(), true},
        {"extension in capitals", "Game.APP", test::gameInfoPlist(), true},
        {"extension in mixed case", "Game.aPp", test::gameInfoPlist(), true},
        {"binary property list", "Game.app", binaryPlist("com.holtstudio.morravellant", "Morra Vellant"), true},
        {"another extension", "Game.apps", test::gameInfoPlist(), false},
        {"no extension", "Game", test::gameInfoPlist(), false},
        {"another executable", "Game.app", infoPlist(identifier + plistString("CFBundleExecutable", "Morra")), false},
        {"identifier in another case", "Game.app",
         infoPlist(plistString("CFBundleIdentifier", "com.holtstudio.MorraVellant") + executable), false},
        {"no executable", "Game.app", infoPlist(identifier), false},
        {"executable is a number", "Game.app", infoPlist(identifier + "\t<key>CFBundleExecutable</key>\n\t<integer>7</integer>\n"), false},
        {"identifier in an array", "Game.app",
         infoPlist("<key>CFBundleIdentifier</key><array><string>com.holtstudio.morravellant</string></array>\n" + executable), false},
        {"truncated", "Game.app", test::gameInfoPlist().substr(0, 150), false},
        {"not a property list", "Game.app", "Morra Vellant", false},
        {"binary, another executable", "Game.app", binaryPlist("com.holtstudio.morravellant", "morra"), false},
        {"binary, broken trailer", "Game.app", binaryPlist("com.holtstudio.morravellant", "Morra Vellant").substr(0, 60) + std::string(32, '\xff'), false},
    };
    int index = 0;
    for (const auto& entry : cases) {
        const fs::path bundle = test::makeBundle(scratch / std::to_string(index++) / entry.bundle, entry.plist);
        EXPECT_EQ(validateBundleIdentity(FileManager(), bundle), entry.accepted) << entry.name;
    }
    EXPECT_FALSE(validateBundleIdentity(FileManager(), scratch / "missing.app"));
    test::writeFile(scratch / "file.app", test::gameInfoPlist());
    EXPECT_FALSE(validateBundleIdentity(FileManager(), scratch / "file.app")) << "a plain file is no bundle";
}

// Runs the call on a thread with the small stack that secondary threads get on macOS (512 KiB),
// where the window's operations run.
void onSmallStack(const std::function<void()>& call) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 512 * 1024);
    pthread_t thread;
    std::function<void()> work = call;
    ASSERT_EQ(pthread_create(&thread, &attributes, [](void* argument) -> void* {
        (*static_cast<std::function<void()>*>(argument))();
        return nullptr;
    }, &work), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

// Nesting that would exhaust the parser's stack, references that loop, and references that expand
// into billions of values: refused quickly, never a crash.
TEST(BundleIdentity, PropertyListsBuiltToHurtTheParserAreNotTheGame) {
    std::string nestedXml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < 60000; ++i) nestedXml += "<array>";  // under the size bound
    for (int i = 0; i < 60000; ++i) nestedXml += "</array>";
    nestedXml += "</plist>";
    std::vector<std::vector<std::uint32_t>> chain(300000), loop{{0}}, laughs(30);
    for (std::uint32_t i = 0; i + 1 < chain.size(); ++i) chain[i] = {i + 1};
    for (std::uint32_t i = 0; i + 1 < laughs.size(); ++i) laughs[i] = std::vector<std::uint32_t>(16, i + 1);
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"XML nested 60000 deep", nestedXml},
        {"binary nested 300000 deep", binaryArrays(chain)},
        {"binary array containing itself", binaryArrays(loop)},
        {"binary arrays expanding to 16^29 values", binaryArrays(laughs)},
    };
    for (const auto& entry : cases) {
        EXPECT_EQ(test::failureWithin(30, [&] {
                      bool valuesRead = false;
                      onSmallStack([&] {
                          const BundleInfo info = parseBundleInfo(entry.bytes);
                          valuesRead = info.identifier || info.executable;
                      });
                      if (valuesRead) throw std::runtime_error("values read");
                  }),
                  "(no error)")
            << entry.name;
    }
}

}  // namespace
}  // namespace morra
