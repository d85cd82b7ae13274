#include "CommandLine.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <system_error>

#include "InstallerEngine.h"
#include "ProgressLine.h"

namespace morra {

namespace fs = std::filesystem;

namespace {

CommandLineOutcome success(std::string text) { return {0, std::move(text) + "\n", {}}; }
CommandLineOutcome failure(std::string text) { return {1, {}, std::move(text)}; }

// Runs one game operation and words its outcome: the returned text on standard output, or the
// error's own description on standard error.
CommandLineOutcome runGameOperation(const std::function<std::string()>& operation) {
    try {
        return success(operation());
    } catch (const std::exception& error) {
        return failure(std::string(error.what()) + "\n");
    }
}

// Writes all bytes in one write where the system allows it, continuing after partial writes.
void writeAll(int fd, const std::string& text) {
    const char* bytes = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t count = ::write(fd, bytes, left);
        if (count < 0) {
            if (errno == EINTR) continue;
            return;
        }
        bytes += count;
        left -= static_cast<std::size_t>(count);
    }
}

}  // namespace

std::optional<CommandLineOutcome> runCommandLine(const std::vector<std::string>& arguments,
                                                 const core::ProgressCallback& progress) {
    const api::InstallerEngine engine;
    std::function<CommandLineOutcome()> run;
    if (arguments.size() == 3) {
        // Relative to the working folder; when that is gone, the path goes on as given and the
        // operation reports what it finds.
        std::error_code error;
        fs::path game = fs::absolute(fs::path(arguments[2]), error);
        if (error) game = arguments[2];
        const std::string& option = arguments[1];
        if (option == "--install")
            run = [&, game] { return runGameOperation([&] { return engine.install(game, core::SkillCards::Translated, progress); }); };
        if (option == "--install-no-skill-cards")
            run = [&, game] { return runGameOperation([&] { return engine.install(game, core::SkillCards::English, progress); }); };
        if (option == "--remove")
            run = [&, game] { return runGameOperation([&] { return engine.remove(game, progress); }); };
        if (option == "--inspect") run = [&, game] { return runGameOperation([&] { return engine.inspect(game); }); };
    } else if (arguments.size() == 2 && arguments[1] == "--discover") {
        run = [&] {
            try {
                if (std::optional<fs::path> game = engine.discoverGame())
                    return success(api::readableText(game->string()));
            } catch (const std::exception& error) {
                return failure(std::string(error.what()) + "\n");
            }
            return failure("Morra Vellant для macOS не найдена.\n");
        };
    }
    if (!run) return std::nullopt;
    // A program without its resources is incomplete: every form stops at once, before it looks at
    // anything.
    if (!engine.resourcesAvailable()) return failure(std::string(core::kResourcesUnavailable) + "\n");
    return run();
}

void runCommandLineIfRequested(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    ProgressLine progressLine(STDERR_FILENO);
    std::optional<CommandLineOutcome> outcome = runCommandLine(arguments, progressLine.callback());
    if (!outcome) return;
    progressLine.finish();
    if (!outcome->standardOutput.empty()) {
        std::fwrite(outcome->standardOutput.data(), 1, outcome->standardOutput.size(), stdout);
    }
    if (std::fflush(stdout) != 0 && outcome->exitStatus == 0) std::_Exit(1);
    writeAll(STDERR_FILENO, outcome->standardError);
    std::exit(outcome->exitStatus);
}

}  // namespace morra
