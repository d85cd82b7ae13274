#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "files/Sha256.h"
#include "files/TemporaryFiles.h"

extern char** environ;

namespace morra::test {

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = (fs::temp_directory_path() / "morra-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    // Readable by everyone, so that tests can run the program as an unprivileged user inside.
    fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code error;
    fs::remove_all(path_, error);
}

ScopedEnvironment::ScopedEnvironment(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    if (const char* current = std::getenv(name_.c_str())) previous_ = current;
    if (value) ::setenv(name_.c_str(), value->c_str(), 1);
    else ::unsetenv(name_.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
    if (previous_) ::setenv(name_.c_str(), previous_->c_str(), 1);
    else ::unsetenv(name_.c_str());
}

const tools::Fixture& demoFixture() {
    static const tools::Fixture fixture = tools::makeFixture(1, 4 << 20);
    return fixture;
}

Engine demoEngine(FileManager fileManager) { return Engine(std::move(fileManager), builtInProfile()); }

Engine fixtureEngine(const tools::Fixture& fixture, const fs::path& payload, FaultHook hook) {
    return Engine(hook ? FileManager(std::move(hook)) : FileManager(), fixture.profile, payload);
}

GameFixture::GameFixture(tools::GameState state, bool backups, const std::string& appName,
                         const tools::Fixture& fixture)
    : app(root.path() / appName),
      support(root.path() / "support"),
      settings(root.path() / "Settings.json"),
      supportOverride("MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", support.string()),
      settingsOverride("MORRA_LUMEN_INSTALLER_GAME_SETTINGS", settings.string()) {
    tools::writeGame(fixture, app, state);
    if (backups) tools::writeBackups(fixture, support);
}

fs::path GameFixture::asset(std::size_t index) const { return app / tools::assetPaths().at(index); }
fs::path GameFixture::added(std::size_t index) const { return app / tools::addedFilePaths().at(index); }

std::string readFile(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) throw std::runtime_error("cannot read " + path.string());
    return std::string((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& contents) { tools::writeFile(path, contents); }

std::string digestOf(const std::string& bytes) { return sha256Hex(bytes.data(), bytes.size()); }

std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    if (!fs::exists(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string relative = fs::relative(entry.path(), folder).string();
        if (entry.is_symlink()) files[relative] = "-> " + fs::read_symlink(entry.path()).string();
        else if (entry.is_regular_file()) files[relative] = readFile(entry.path());
    }
    return files;
}

std::vector<std::string> temporaries(const fs::path& folder) {
    std::vector<std::string> found;
    if (!fs::exists(folder)) return found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (standInTarget(entry.path()) != entry.path()) found.push_back(fs::relative(entry.path(), folder).string());
    return found;
}

void ProgressLog::expectCompleteAndMonotonic() const {
    ASSERT_FALSE(reports.empty());
    const std::uint64_t total = reports.front().total;
    EXPECT_GT(total, 0u);
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].total, total) << i;
        EXPECT_LE(reports[i].done, total) << i;
        if (i > 0) {
            EXPECT_GE(reports[i].done, reports[i - 1].done) << i;
        }
    }
    EXPECT_EQ(reports.back().done, total);
}

bool ProgressLog::sawStep(Progress::Step step) const {
    return std::any_of(reports.begin(), reports.end(), [step](const Progress& progress) { return progress.step == step; });
}

std::string failureWithin(int seconds, const std::function<void()>& call) {
    int channel[2];
    if (::pipe(channel) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        ::close(channel[0]);
        const std::string text = failureOf(call);
        if (::write(channel[1], text.data(), text.size()) < 0) ::_exit(2);
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string text;
    bool timedOut = false;
    for (;;) {
        pollfd waiting{channel[0], POLLIN, 0};
        if (::poll(&waiting, 1, seconds * 1000) <= 0) {
            timedOut = true;
            break;
        }
        char buffer[4096];
        const ssize_t count = ::read(channel[0], buffer, sizeof buffer);
        if (count <= 0) break;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(channel[0]);
    if (timedOut) ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return timedOut ? "(timed out)" : text;
}

bool dropRoot() {
    return ::geteuid() != 0 || (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0);
}

ProcessResult runProcess(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::optional<std::string>>& environment,
                         const fs::path& workingDirectory, bool unprivileged) {
    TemporaryDirectory outputs;
    const fs::path outPath = outputs.path() / "stdout", errPath = outputs.path() / "stderr";
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        if (const auto equals = text.find('='); equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : environment) {
        if (value) variables[name] = *value;
        else variables.erase(name);
    }
    std::vector<std::string> command = arguments, environmentText;
    for (const auto& [name, value] : variables) environmentText.push_back(name + "=" + value);
    std::vector<char*> argv, envp;
    for (std::string& argument : command) argv.push_back(argument.data());
    for (std::string& entry : environmentText) envp.push_back(entry.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
        if (!workingDirectory.empty() && ::chdir(workingDirectory.c_str()) != 0) ::_exit(126);
        if (unprivileged && !dropRoot()) ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readFile(outPath), readFile(errPath)};
}

std::string systemTool(const std::string& name) {
    // A packaged build of the upstream tools first (Homebrew on macOS), then the system's own.
    for (const char* folder : {"/opt/homebrew/bin/", "/usr/local/bin/", "/usr/bin/"})
        if (::access((folder + name).c_str(), X_OK) == 0) return folder + name;
    return {};
}

ProcessResult runInstaller(const std::vector<std::string>& options,
                           const std::map<std::string, std::optional<std::string>>& environment,
                           const fs::path& workingDirectory, bool unprivileged) {
    std::vector<std::string> arguments = {MORRA_PROGRAM};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return runProcess(arguments, environment, workingDirectory, unprivileged);
}

}  // namespace morra::test
