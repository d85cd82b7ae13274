#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "FixtureGenerator.h"
#include "InstallerEngine.h"
#include "InstallerError.h"
#include "files/FileError.h"
#include "files/FileManager.h"
#include "context/InstallContext.h"
#include "wording/PlayerError.h"

namespace morra::test {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, by its canonical path, removed with everything in it at the end.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const fs::path& relative) const { return path_ / relative; }

private:
    fs::path path_;
};

// Sets (or, with nullopt, unsets) an environment variable for the lifetime of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, std::optional<std::string> value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Settings that start the game in language 13, which the translation's release makes another language.
inline const std::string kThirteen = R"({"LANGUAGE":{"Language":{"intValue":13}}})";

// The fixture whose profile and payload are compiled into the program (seed 1, 4 MiB), made once.
const tools::Fixture& demoFixture();

// The program's engine (its compiled-in profile and payload), over the given file service.
context::InstallContext demoContext(files::FileManager fileManager = files::FileManager());

// A game in a temporary folder, with its own support folder and settings file location. While it
// lives, the engine's support folder and settings file point into it.
struct GameFixture {
    explicit GameFixture(tools::GameState state = tools::GameState::Untouched, bool backups = false,
                         const std::string& appName = "morra.app", const tools::Fixture& fixture = demoFixture());

    TemporaryDirectory root;
    fs::path app, support, settings;
    ScopedEnvironment supportOverride, settingsOverride;

    fs::path asset(std::size_t index) const;
    fs::path added(std::size_t index) const;
};

std::string readFile(const fs::path& path);
using tools::writeFile;
std::string digestOf(const std::string& bytes);

// Every file under a folder (relative path -> contents), to compare trees before and after.
std::map<std::string, std::string> snapshot(const fs::path& folder);
// Relative paths of the hidden temporaries of ours under a folder.
std::vector<std::string> temporaries(const fs::path& folder);

// What a call threw, as one comparable text: an InstallerError's description, a file error as the
// player reads it, or "(no error)".
template <typename Call>
std::string failureOf(Call call) {
    try {
        call();
    } catch (const files::FileError& error) {
        return wording::playerError(error).message();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(no error)";
}

// failureOf in a child process, or "(timed out)" when the call does not end within `seconds` (a
// call that blocks on a pipe fails the test instead of stalling it), "(signal N)" or "(exit N)"
// when the child ends otherwise without its text.
std::string failureWithin(int seconds, const std::function<void()>& call);

struct ProcessResult {
    int status = -1;
    std::string standardOutput, standardError;
    bool operator==(const ProcessResult&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const ProcessResult& r) {
    return out << "status " << r.status << ", out \"" << r.standardOutput << "\", err \"" << r.standardError << "\"";
}

// Runs a program with the given arguments (arguments[0] is the program) and environment changes
// (a nullopt value unsets the variable), in the given working folder; with `unprivileged`, as user
// and group 65534 ("nobody"), since root reads any file; standard error on a file or a terminal.
ProcessResult runProcess(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::optional<std::string>>& environment = {},
                         const fs::path& workingDirectory = {}, bool unprivileged = false, bool errorsOnTerminal = false);

// The system's own tool of this name (bspatch, bsdiff), or an empty text when it has none.
std::string systemTool(const std::string& name);

}  // namespace morra::test
