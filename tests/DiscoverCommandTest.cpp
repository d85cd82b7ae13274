// "--discover" end to end: the built program, run with a prepared home folder.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "SearchTestSupport.h"

extern char** environ;

namespace morra {
namespace {

namespace fs = std::filesystem;
using test::makeGameBundle;
using test::ScratchFolder;

struct ProgramRun {
    int status = -1;
    std::string standardOutput;
    std::string standardError;
};

// Runs the installer with the given arguments in the given folder, with HOME replaced and the game
// override set or removed, and collects both output streams.
ProgramRun runInstaller(const std::vector<std::string>& arguments, const fs::path& home,
                        const std::optional<std::string>& gameOverride = std::nullopt,
                        const fs::path& workingDirectory = "/") {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view variable(*entry);
        if (variable.starts_with("HOME=") || variable.starts_with("MORRA_LUMEN_INSTALLER_GAME=")) continue;
        environment.emplace_back(variable);
    }
    environment.push_back("HOME=" + home.string());
    if (gameOverride) environment.push_back("MORRA_LUMEN_INSTALLER_GAME=" + *gameOverride);

    std::vector<std::string> argumentStrings{MORRA_INSTALLER_PROGRAM};
    argumentStrings.insert(argumentStrings.end(), arguments.begin(), arguments.end());
    auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> result;
        for (std::string& string : strings) result.push_back(string.data());
        result.push_back(nullptr);
        return result;
    };
    std::vector<char*> argv = pointers(argumentStrings);
    std::vector<char*> envp = pointers(environment);

    int output[2], error[2];
    if (::pipe(output) != 0 || ::pipe(error) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(error[1], STDERR_FILENO);
        ::close(output[0]), ::close(output[1]), ::close(error[0]), ::close(error[1]);
        if (::chdir(workingDirectory.c_str()) != 0) ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(output[1]);
    ::close(error[1]);
    ProgramRun run;
    pollfd streams[2] = {{output[0], POLLIN, 0}, {error[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.standardOutput, &run.standardError};
    int open = 2;
    while (open > 0) {
        if (::poll(streams, 2, 60000) <= 0) break;  // a program that says nothing for a minute hangs
        for (int index = 0; index < 2; ++index) {
            if (streams[index].fd < 0 || !streams[index].revents) continue;
            char buffer[4096];
            const ssize_t count = ::read(streams[index].fd, buffer, sizeof buffer);
            if (count > 0) {
                sinks[index]->append(buffer, static_cast<std::size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                ::close(streams[index].fd);
                streams[index].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& stream : streams)
        if (stream.fd >= 0) ::close(stream.fd);
    int status = 0;
    ::waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

constexpr const char* kNotFound = "Morra Vellant для macOS не найдена.\n";

TEST(DiscoverCommand, PrintsTheResolvedPathOfTheGameInTheHomeFolder) {
    ScratchFolder home;
    const fs::path game = makeGameBundle(home / "Games" / "Real Morra.app");
    fs::create_directories(home / "Applications");
    fs::create_directory_symlink(game, home / "Applications" / "morra.app");

    const ProgramRun run = runInstaller({"--discover"}, home.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.standardOutput, game.string() + "\n");
    EXPECT_EQ(run.standardError, "");
}

TEST(DiscoverCommand, SaysSoOnStandardErrorWhenThereIsNoGame) {
    ScratchFolder home;
    fs::create_directories(home / "Applications" / "morra.app");  // a folder without Info.plist
    fs::create_symlink("loop.app", home / "Applications" / "Morra Vellant.app");  // dangling
    fs::create_directory_symlink(home / "GOG Games", home / "GOG Games");        // a loop

    const ProgramRun run = runInstaller({"--discover"}, home.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(run.standardError, kNotFound);
}

TEST(DiscoverCommand, FindsTheGameInAListedSteamLibrary) {
    ScratchFolder home;
    // The list writes each backslash doubled; the folder's own name holds a single one.
    const fs::path library = home / R"(Steam\Library)";
    const std::string listed = (home.path() / R"(Steam\\Library)").string();
    test::writeFile(test::libraryFoldersUnder(home.path()),
                    test::libraryFoldersListing({(home / "missing").string(), listed}));
    const fs::path game = makeGameBundle(test::steamGameIn(library));

    const ProgramRun run = runInstaller({"--discover"}, home.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.standardOutput, game.string() + "\n");
}

TEST(DiscoverCommand, OverrideIsTakenFromTheProgramsWorkingDirectory) {
    ScratchFolder scratch;
    fs::create_directories(scratch / "home");
    const fs::path game = makeGameBundle(scratch / "work" / "copy" / "Morra Vellant.app");
    makeGameBundle(scratch / "home" / "Applications" / "morra.app");

    ProgramRun run = runInstaller({"--discover"}, scratch / "home", "copy/Morra Vellant.app/", scratch / "work");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.standardOutput, game.string() + "\n") << "the override wins, and no trailing slash";

    run = runInstaller({"--discover"}, scratch / "home", "copy/Morra Vellant.app", scratch.path());
    EXPECT_EQ(run.standardOutput, (scratch / "home" / "Applications" / "morra.app").string() + "\n")
        << "a missing override is passed over";
}

}  // namespace
}  // namespace morra
