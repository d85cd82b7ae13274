#include "TestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "Sha256.h"

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

std::string digestOf(const std::string& bytes) {
    Sha256 hasher;
    hasher.update(bytes.data(), bytes.size());
    return hasher.finalHex();
}

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
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        for (const char* infix : {".restoring-", ".updating-", ".installing-", ".russianblind-", ".backing-up-"})
            if (name.size() > 1 && name[0] == '.' && name.find(infix) != std::string::npos)
                found.push_back(fs::relative(entry.path(), folder).string());
    }
    return found;
}

ProcessResult runProcess(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::optional<std::string>>& environment,
                         const fs::path& workingDirectory, bool unprivileged) {
    TemporaryDirectory outputs;
    const fs::path outPath = outputs.path() / "stdout", errPath = outputs.path() / "stderr";

    std::vector<std::string> command;
    if (unprivileged) command = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    command.insert(command.end(), arguments.begin(), arguments.end());

    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        std::string text(*entry);
        auto equals = text.find('=');
        if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : environment) {
        if (value) variables[name] = *value;
        else variables.erase(name);
    }
    std::vector<std::string> environmentText;
    for (const auto& [name, value] : variables) environmentText.push_back(name + "=" + value);

    std::vector<char*> argv, envp;
    for (std::string& argument : command) argv.push_back(argument.data());
    argv.push_back(nullptr);
    for (std::string& entry : environmentText) envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (!workingDirectory.empty() && ::chdir(workingDirectory.c_str()) != 0) ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    ProcessResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.standardOutput = readFile(outPath);
    result.standardError = readFile(errPath);
    return result;
}

ProcessResult runInstaller(const std::vector<std::string>& options,
                           const std::map<std::string, std::optional<std::string>>& environment,
                           const fs::path& workingDirectory, bool unprivileged) {
    std::vector<std::string> arguments = {MORRA_PROGRAM};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return runProcess(arguments, environment, workingDirectory, unprivileged);
}

}  // namespace morra::test
