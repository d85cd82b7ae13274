#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

#include "SearchTestSupport.h"
#include "TestSupport.h"
#include "game/GameValidation.h"
#include "platform/Platform.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

fs::path makeBundle(const fs::path& folder, const std::string& infoPlist) {
    fs::create_directories(folder / "Contents");
    test::writeFile(folder / "Contents" / "Info.plist", infoPlist);
    return folder;
}

TEST(ValidateGame, RefusesWhatIsNotTheGameOrLacksItsData) {
    const FileManager files;
    test::TemporaryDirectory root;
    try {
        validateGame(files, makeBundle(root.path() / "other.app", test::infoPlist("")));
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_STREQ(error.what(), "Выбранный файл не является Morra Vellant для macOS.");
    }
    test::GameFixture game(tools::GameState::Untouched, false, "Morra Vellant.app");
    fs::remove(game.asset(2));  // level3
    try {
        validateGame(files, game.app);
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_STREQ(error.what(), "В morra.app отсутствуют ожидаемые игровые данные.");
    }
    // A dangling link counts as missing data.
    fs::create_symlink(game.root.path() / "nowhere", game.asset(2));
    EXPECT_THROW(validateGame(files, game.app), InstallerError);
}

TEST(ValidateGame, RefusesSymbolicLinksAmongTheAssetsAndResolvesTheBundleLink) {
    const FileManager files;
    test::GameFixture game;
    const fs::path real = game.root.path() / "resources.real";
    fs::rename(game.asset(0), real);
    fs::create_symlink(real, game.asset(0));
    try {
        validateGame(files, game.app);
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_EQ(std::string(error.what()), "Установщик не изменяет символические ссылки: " +
                                                 (fs::canonical(game.app) / "Contents/Resources/Data/resources.assets").string());
    }
    fs::remove(game.asset(0));
    fs::rename(real, game.asset(0));
    fs::create_symlink(game.app, game.root.path() / "link.app");
    EXPECT_EQ(validateGame(files, game.root.path() / "link.app").app, fs::canonical(game.app));
}

TEST(ValidateGame, TheBundlesFolderMustBeAFolder) {
    const FileManager files;
    test::GameFixture game;
    const fs::path bundles = game.app / "Contents/Resources/Data/StreamingAssets/AssetBundles/OSX";
    fs::remove_all(bundles);
    EXPECT_EQ(test::failureOf([&] { validateGame(files, game.app); }), "В morra.app отсутствуют ожидаемые игровые данные.");
    test::writeFile(bundles, "a file where a folder belongs");
    EXPECT_EQ(test::failureOf([&] { validateGame(files, game.app); }), "В morra.app отсутствуют ожидаемые игровые данные.");
}

TEST(RejectSymbolicLink, LinkRefusedFileAcceptedMissingPathIsAPlatformError) {
    const FileManager files;
    test::TemporaryDirectory root;
    test::writeFile(root.path() / "file", "x");
    fs::create_symlink(root.path() / "file", root.path() / "link");
    EXPECT_NO_THROW(rejectSymbolicLink(files, root.path() / "file"));
    try {
        rejectSymbolicLink(files, root.path() / "link");
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_EQ(std::string(error.what()), "Установщик не изменяет символические ссылки: " + (root.path() / "link").string());
    }
    try {
        rejectSymbolicLink(files, root.path() / "missing");
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
    const FileManager files;
    test::GameFixture game;
    EXPECT_NO_THROW(requireGameStopped(files, game.app));
    RunningCopy running(game.app / "Contents/MacOS/Morra Vellant");
    fs::create_symlink(game.app, game.root.path() / "link.app");
    for (const fs::path& path : {game.app, game.root.path() / "link.app"}) {
        try {
            requireGameStopped(files, path);
            FAIL() << path;
        } catch (const InstallerError& error) {
            EXPECT_STREQ(error.what(), "Полностью закройте Morra Vellant перед установкой.");
        }
    }
}

TEST(RequireGameStopped, ACopyElsewhereDoesNotCountButAnUnbundledGameDoes) {
    const FileManager files;
    test::GameFixture game;
    test::TemporaryDirectory other;
    {
        RunningCopy elsewhere(other.path() / "Morra Vellant.app/Contents/MacOS/Morra Vellant");
        EXPECT_NO_THROW(requireGameStopped(files, game.app));
    }
    RunningCopy unbundled(other.path() / "bin/Morra Vellant");
    EXPECT_THROW(requireGameStopped(files, game.app), InstallerError);
}

TEST(RunningApplications, BundleIsTakenFromTheExecutablesPlace) {
    using platform::bundleOfExecutable;
    EXPECT_EQ(bundleOfExecutable("/Applications/morra.app/Contents/MacOS/Morra Vellant"), fs::path("/Applications/morra.app"));
    EXPECT_EQ(bundleOfExecutable("/x/Morra.APP/Contents/MacOS/run"), fs::path("/x/Morra.APP"));
    EXPECT_FALSE(bundleOfExecutable("/usr/bin/Morra Vellant"));
    EXPECT_FALSE(bundleOfExecutable("/x/morra.app/Contents/Other/run"));
    EXPECT_FALSE(bundleOfExecutable("/x/morra/Contents/MacOS/run"));
}

}  // namespace
}  // namespace morra
