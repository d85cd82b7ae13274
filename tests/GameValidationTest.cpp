#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "SearchTestSupport.h"
#include "game/GameValidation.h"
#include "platform/Platform.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

// What is not the game, lacks its data or holds a link among its assets is refused, naming the cause.
TEST(ValidateGame, RefusesWhatIsNotTheGameOrLacksItsDataOrHoldsALink) {
    const std::string missing = "В morra.app отсутствуют ожидаемые игровые данные.";
    const fs::path bundles = "Contents/Resources/Data/StreamingAssets/AssetBundles/OSX";
    const std::vector<std::tuple<const char*, std::function<void(const test::GameFixture&)>, std::string>> cases = {
        {"not the game", [](auto& g) { test::writeFile(g.app / "Contents/Info.plist", test::infoPlist("")); },
         "Выбранный файл не является Morra Vellant для macOS."},
        {"an asset missing", [](auto& g) { fs::remove(g.asset(2)); }, missing},
        {"a dangling link for an asset", [](auto& g) { fs::remove(g.asset(2)), fs::create_symlink(g.root.path() / "nowhere", g.asset(2)); },
         missing},
        {"no bundles folder", [&](auto& g) { fs::remove_all(g.app / bundles); }, missing},
        {"a file for the bundles folder", [&](auto& g) { fs::remove_all(g.app / bundles), test::writeFile(g.app / bundles, "x"); }, missing},
        {"a link to the right bytes",
         [](auto& g) { fs::rename(g.asset(0), g.root.path() / "real"), fs::create_symlink(g.root.path() / "real", g.asset(0)); },
         "Установщик не изменяет символические ссылки: {app}/Contents/Resources/Data/resources.assets"},
    };
    for (const auto& [label, prepare, message] : cases) {
        test::GameFixture game;
        prepare(game);
        std::string expected = message;
        if (auto at = expected.find("{app}"); at != std::string::npos) expected.replace(at, 5, fs::canonical(game.app).string());
        EXPECT_EQ(test::failureOf([&] { validateGame(FileManager(), game.app); }), expected) << label;
    }
    // The game reached through a link to its bundle is the bundle itself.
    test::GameFixture game;
    fs::create_symlink(game.app, game.root.path() / "link.app");
    EXPECT_EQ(validateGame(FileManager(), game.root.path() / "link.app").app, fs::canonical(game.app));
}

// Runs a copy of the sleeper from the given path until the object ends; returns once the system lists it
// among the running applications.
class RunningCopy {
public:
    explicit RunningCopy(const fs::path& executable) {
        fs::create_directories(executable.parent_path());
        fs::copy_file(MORRA_SLEEPER, executable, fs::copy_options::overwrite_existing);
        const fs::path real = fs::canonical(executable);
        const std::optional<fs::path> bundle = platform::bundleOfExecutable(real);
        if ((pid_ = ::fork()) == 0) {
            ::execl(executable.c_str(), executable.c_str(), "30", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 500; ++i) {
            for (const platform::RunningApplication& running : platform::runningApplications())
                if (bundle ? running.bundle == bundle : running.localizedName == real.filename().string()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "the copy is not listed as running: " << real;
    }
    ~RunningCopy() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_;
};

// The game running from this bundle is refused, even through a link; a copy in another bundle is
// not the game, but one running outside any bundle may be.
TEST(RequireGameStopped, TheGameRunningFromThisBundleIsRefused) {
    const std::string running = "Полностью закройте Morra Vellant перед установкой.";
    test::GameFixture game;
    test::TemporaryDirectory other;
    fs::create_symlink(game.app, game.root.path() / "link.app");
    EXPECT_EQ(test::failureOf([&] { requireGameStopped(FileManager(), game.app); }), "(no error)");
    {
        RunningCopy elsewhere(other.path() / "Morra Vellant.app/Contents/MacOS/Morra Vellant");
        EXPECT_EQ(test::failureOf([&] { requireGameStopped(FileManager(), game.app); }), "(no error)");
    }
    {
        RunningCopy unbundled(other.path() / "bin/Morra Vellant");
        EXPECT_EQ(test::failureOf([&] { requireGameStopped(FileManager(), game.app); }), running);
    }
    RunningCopy copy(game.app / "Contents/MacOS/Morra Vellant");
    for (const fs::path& path : {game.app, game.root.path() / "link.app"})
        EXPECT_EQ(test::failureOf([&] { requireGameStopped(FileManager(), path); }), running) << path;
    EXPECT_EQ(platform::bundleOfExecutable("/x/Morra.APP/Contents/MacOS/run"), fs::path("/x/Morra.APP"));
    for (const char* path : {"/usr/bin/Morra Vellant", "/x/morra.app/Contents/Other/run", "/x/morra/Contents/MacOS/run"})
        EXPECT_FALSE(platform::bundleOfExecutable(path)) << path;
}

}  // namespace
}  // namespace morra
