#pragma once

#include <cstddef>
#include <mutex>
#include <string>

#include "InstallerEngine.h"
#include "ProgressText.h"

namespace morra {

// An operation's progress as one line on a terminal, rewritten in place: "Патч 2 из 5… 37 %".
// It writes only when the file descriptor is a terminal, so that what a pipe or a file receives
// stays exactly the operation's own output; at the end it blanks the line again.
class ProgressLine {
public:
    explicit ProgressLine(int fd);
    // Blanks the line, as finish() does.
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Whether the line is shown at all: the descriptor is a terminal.
    bool active() const { return active_; }
    // The engine's callback: shows each report (callable from any thread). Empty when not active,
    // so that the operation runs exactly as without progress.
    core::ProgressCallback callback();
    // Blanks the line and puts the cursor back at its start, before the result is printed.
    void finish();

    // Shows one report now (what the callback does).
    void show(const core::Progress& progress);

private:
    void write(const std::string& text);

    int fd_;
    bool active_;
    std::mutex mutex_;
    ProgressEstimate estimate_;
    std::string shown_;
    std::size_t shownWidth_ = 0;
};

}  // namespace morra
