#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

#include <plist/plist.h>

#include "BundleInfo.h"
#include "Engine.h"
#include "RunningApplications.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

std::string plist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + body + "</dict>\n</plist>\n";
}

const std::string kIdentity =
    "<key>CFBundleIdentifier</key><string>com.holtstudio.morravellant</string>\n"
    "<key>CFBundleExecutable</key><string>Morra Vellant</string>\n";

fs::path makeBundle(const fs::path& folder, const std::string& infoPlist) {
    fs::create_directories(folder / "Contents");
    test::writeFile(folder / "Contents" / "Info.plist", infoPlist);
    return folder;
}

TEST(BundleIdentity, AcceptsTheGameWhateverTheCaseOfItsExtension) {
    test::TemporaryDirectory root;
    const Engine engine;
    EXPECT_TRUE(engine.validateBundleIdentity(makeBundle(root.path() / "Morra Vellant.app", plist(kIdentity))));
    EXPECT_TRUE(engine.validateBundleIdentity(makeBundle(root.path() / "morra.APP", plist(kIdentity))));
    EXPECT_TRUE(engine.validateBundleIdentity(makeBundle(root.path() / "morra.aPp", plist(kIdentity))));
    EXPECT_FALSE(engine.validateBundleIdentity(makeBundle(root.path() / "morra.apps", plist(kIdentity))));
    EXPECT_FALSE(engine.validateBundleIdentity(makeBundle(root.path() / "morra", plist(kIdentity))));
    EXPECT_FALSE(engine.validateBundleIdentity(root.path() / "missing.app"));
}

TEST(BundleIdentity, BinaryPropertyListsAreReadToo) {
    test::TemporaryDirectory folder;
    const Engine engine;
    const fs::path bundle = makeBundle(folder.path() / "morra.app", plist(kIdentity));
    // The binary form of the same property list, written by libplist.
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "CFBundleIdentifier", plist_new_string("com.holtstudio.morravellant"));
    plist_dict_set_item(root, "CFBundleExecutable", plist_new_string("Morra Vellant"));
    char* data = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &data, &length);
    plist_free(root);
    ASSERT_NE(data, nullptr);
    test::writeFile(folder.path() / "binary.plist", std::string(data, length));
    std::free(data);
    const std::string binary = test::readFile(folder.path() / "binary.plist");
    ASSERT_EQ(binary.substr(0, 8), "bplist00");
    test::writeFile(bundle / "Contents/Info.plist", binary);
    EXPECT_TRUE(engine.validateBundleIdentity(bundle));
    // Binary with broken offsets: the offset table points past the end.
    std::string broken = binary;
    for (std::size_t i = broken.size() - 32; i < broken.size(); ++i) broken[i] = '\xff';
    test::writeFile(bundle / "Contents/Info.plist", broken);
    EXPECT_FALSE(engine.validateBundleIdentity(bundle));
}

TEST(BundleIdentity, AnyOtherIdentityOrBrokenPropertyListIsNotTheGame) {
    test::TemporaryDirectory root;
    const Engine engine;
    const std::vector<std::string> refused = {
        plist("<key>CFBundleIdentifier</key><string>com.holtstudio.morravellant</string>\n"),
        plist("<key>CFBundleIdentifier</key><string>com.holtstudio.morravellant</string>\n"
              "<key>CFBundleExecutable</key><integer>7</integer>\n"),
        plist("<key>CFBundleIdentifier</key><string>com.holtstudio.MorraVellant</string>\n"
              "<key>CFBundleExecutable</key><string>Morra Vellant</string>\n"),
        plist("<key>CFBundleIdentifier</key><string>com.holtstudio.morravellant</string>\n"
              "<key>CFBundleExecutable</key><string>Morra</string>\n"),
        plist("<key>CFBundleIdentifier</key><array><string>com.holtstudio.morravellant</string></array>\n"
              "<key>CFBundleExecutable</key><string>Morra Vellant</string>\n"),
        plist(kIdentity).substr(0, 90),  // truncated
        "this is not a property list",
        "bplist00\x01\x02\x03",
        "",
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>com.holtstudio.morravellant</string></array></plist>",
    };
    for (std::size_t i = 0; i < refused.size(); ++i) {
        const fs::path bundle = makeBundle(root.path() / ("case" + std::to_string(i) + ".app"), refused[i]);
        EXPECT_FALSE(engine.validateBundleIdentity(bundle)) << i;
    }
    fs::create_directories(root.path() / "noplist.app" / "Contents");
    EXPECT_FALSE(engine.validateBundleIdentity(root.path() / "noplist.app"));
    test::writeFile(root.path() / "file.app", plist(kIdentity));
    EXPECT_FALSE(engine.validateBundleIdentity(root.path() / "file.app"));
}

TEST(BundleIdentity, GarbageNeverCrashesTheReader) {
    // Random bytes behind both magic forms: the parser must answer, never crash.
    std::string bytes;
    for (unsigned seed = 0; seed < 400; ++seed) {
        bytes.assign(40 + seed % 200, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((seed * 2654435761u + i * 40503u) >> 7);
        bytes.replace(0, 8, seed % 2 ? "bplist00" : "<?xml ve");
        const BundleInfo info = parseBundleInfo(bytes);
        EXPECT_FALSE(info.identifier.has_value() && info.executable.has_value());
    }
}

TEST(ValidateGame, RefusesWhatIsNotTheGameOrLacksItsData) {
    const Engine engine;
    test::TemporaryDirectory root;
    try {
        engine.validateGame(makeBundle(root.path() / "other.app", plist("")));
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_STREQ(error.what(), "Выбранный файл не является Morra Vellant для macOS.");
    }
    test::GameFixture game(tools::GameState::Untouched, false, "Morra Vellant.app");
    fs::remove(game.asset(2));  // level3
    try {
        engine.validateGame(game.app);
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_STREQ(error.what(), "В morra.app отсутствуют ожидаемые игровые данные.");
    }
    // A dangling link counts as missing data.
    fs::create_symlink(game.root.path() / "nowhere", game.asset(2));
    EXPECT_THROW(engine.validateGame(game.app), InstallerError);
}

TEST(ValidateGame, RefusesSymbolicLinksAmongTheAssetsAndResolvesTheBundleLink) {
    const Engine engine;
    test::GameFixture game;
    const fs::path real = game.root.path() / "resources.real";
    fs::rename(game.asset(0), real);
    fs::create_symlink(real, game.asset(0));
    try {
        engine.validateGame(game.app);
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_EQ(std::string(error.what()), "Установщик не изменяет символические ссылки: " +
                                                 (fs::canonical(game.app) / "Contents/Resources/Data/resources.assets").string());
    }
    fs::remove(game.asset(0));
    fs::rename(real, game.asset(0));
    fs::create_symlink(game.app, game.root.path() / "link.app");
    EXPECT_EQ(engine.validateGame(game.root.path() / "link.app").app, fs::canonical(game.app));
}

TEST(ValidateGame, MissingBundlesFolderIsMissingData) {
    const Engine engine;
    test::GameFixture game;
    fs::remove_all(game.app / "Contents/Resources/Data/StreamingAssets");
    EXPECT_THROW(engine.validateGame(game.app), InstallerError);
}

TEST(RejectSymbolicLink, LinkRefusedFileAcceptedMissingPathIsAPlatformError) {
    const Engine engine;
    test::TemporaryDirectory root;
    test::writeFile(root.path() / "file", "x");
    fs::create_symlink(root.path() / "file", root.path() / "link");
    EXPECT_NO_THROW(engine.rejectSymbolicLink(root.path() / "file"));
    try {
        engine.rejectSymbolicLink(root.path() / "link");
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_EQ(std::string(error.what()), "Установщик не изменяет символические ссылки: " + (root.path() / "link").string());
    }
    try {
        engine.rejectSymbolicLink(root.path() / "missing");
        FAIL();
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ENOENT);
    }
}

// Starts a process whose executable lies at the given path (a copy of sleep) and stops it at the end.
class RunningCopy {
public:
    explicit RunningCopy(const fs::path& executable) {
        fs::create_directories(executable.parent_path());
        fs::copy_file("/bin/sleep", executable, fs::copy_options::overwrite_existing);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl(executable.c_str(), executable.c_str(), "30", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Wait until the process runs the copy (its executable link names it), not the test.
        const fs::path exe = "/proc/" + std::to_string(pid_) + "/exe";
        for (int i = 0; i < 500; ++i) {
            std::error_code error;
            if (fs::read_symlink(exe, error) == executable) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~RunningCopy() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_;
};

TEST(RequireGameStopped, TheGameRunningFromThisBundleIsRefusedEvenThroughALink) {
    const Engine engine;
    test::GameFixture game;
    EXPECT_NO_THROW(engine.requireGameStopped(game.app));
    RunningCopy running(game.app / "Contents/MacOS/Morra Vellant");
    fs::create_symlink(game.app, game.root.path() / "link.app");
    for (const fs::path& path : {game.app, game.root.path() / "link.app"}) {
        try {
            engine.requireGameStopped(path);
            FAIL() << path;
        } catch (const InstallerError& error) {
            EXPECT_STREQ(error.what(), "Полностью закройте Morra Vellant перед установкой.");
        }
    }
}

TEST(RequireGameStopped, ACopyElsewhereDoesNotCountButAnUnbundledGameDoes) {
    const Engine engine;
    test::GameFixture game;
    test::TemporaryDirectory other;
    {
        RunningCopy elsewhere(other.path() / "Morra Vellant.app/Contents/MacOS/Morra Vellant");
        EXPECT_NO_THROW(engine.requireGameStopped(game.app));
    }
    RunningCopy unbundled(other.path() / "bin/Morra Vellant");
    EXPECT_THROW(engine.requireGameStopped(game.app), InstallerError);
}

TEST(RunningApplications, BundleIsTakenFromTheExecutablesPlace) {
    EXPECT_EQ(bundleOfExecutable("/Applications/morra.app/Contents/MacOS/Morra Vellant"), fs::path("/Applications/morra.app"));
    EXPECT_EQ(bundleOfExecutable("/x/Morra.APP/Contents/MacOS/run"), fs::path("/x/Morra.APP"));
    EXPECT_FALSE(bundleOfExecutable("/usr/bin/Morra Vellant"));
    EXPECT_FALSE(bundleOfExecutable("/x/morra.app/Contents/Other/run"));
    EXPECT_FALSE(bundleOfExecutable("/x/morra/Contents/MacOS/run"));
}

}  // namespace
}  // namespace morra
