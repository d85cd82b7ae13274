#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#if __has_include(<pty.h>)
#include <pty.h>
#else
#include <util.h>  // openpty on macOS
#endif

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "files/Sha256.h"
#include "files/TemporaryFiles.h"

namespace morra::test {

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = (fs::temp_directory_path() / "morra-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    // By its canonical path (macOS's /var is a link to /private/var), as the engine names it.
    path_ = fs::canonical(pattern);
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

context::InstallContext demoContext(files::FileManager fileManager) { return context::InstallContext(std::move(fileManager), game::builtInBuilds()); }

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

std::string digestOf(const std::string& bytes) { return files::sha256Hex(bytes.data(), bytes.size()); }

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
        if (files::standInTarget(entry.path()) != entry.path()) found.push_back(fs::relative(entry.path(), folder).string());
    return found;
}

std::string failureWithin(int seconds, const std::function<void()>& call) {
    int channel[2];
    if (::pipe(channel) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        ::alarm(static_cast<unsigned>(seconds));  // a blocked call ends the child
        const std::string text = failureOf(call);
        ::_exit(::write(channel[1], text.data(), text.size()) < 0 ? 2 : 0);
    }
    ::close(channel[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t count; (count = ::read(channel[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(count));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) return "(timed out)";
    if (WIFSIGNALED(status)) return "(signal " + std::to_string(WTERMSIG(status)) + ")";
    return WEXITSTATUS(status) == 0 ? text : "(exit " + std::to_string(WEXITSTATUS(status)) + ")";
}

ProcessResult runProcess(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::optional<std::string>>& environment,
                         const fs::path& workingDirectory, bool unprivileged, bool errorsOnTerminal) {
    int terminal[2] = {-1, -1};  // what the child writes on it must fit in its buffer
    if (errorsOnTerminal && ::openpty(&terminal[0], &terminal[1], nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    TemporaryDirectory outputs;
    const fs::path outPath = outputs.path() / "stdout", errPath = outputs.path() / "stderr";
    std::vector<std::string> command = arguments;
    std::vector<char*> argv;
    for (std::string& argument : command) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int err = errorsOnTerminal ? terminal[1] : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
        if (!workingDirectory.empty() && ::chdir(workingDirectory.c_str()) != 0) ::_exit(126);
        if (unprivileged && ::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(126);
        for (const auto& [name, value] : environment) value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    ProcessResult result{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readFile(outPath), ""};
    if (!errorsOnTerminal) result.standardError = readFile(errPath);
    ::close(terminal[1]);
    char buffer[4096];
    for (ssize_t count; errorsOnTerminal && (count = ::read(terminal[0], buffer, sizeof buffer)) > 0;)
        result.standardError.append(buffer, static_cast<std::size_t>(count));
    ::close(terminal[0]);
    return result;
}

std::string systemTool(const std::string& name) {
    // A packaged build of the upstream tools first (Homebrew on macOS), then the system's own.
    for (const char* folder : {"/opt/homebrew/bin/", "/usr/local/bin/", "/usr/bin/"})
        if (::access((folder + name).c_str(), X_OK) == 0) return folder + name;
    return {};
}

}  // namespace morra::test
