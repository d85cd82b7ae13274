#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "InstallerEngine.h"

namespace morra {

// How the window and the command line word an operation's progress, in Russian (UTF-8).

// The step in words: "Проверка файлов…", "Резервные копии…", "Патч 2 из 5…".
std::string progressStepText(const core::Progress& progress);

// Whole percent of the work done, 0 to 100 (0 while the total is not known).
int progressPercent(const core::Progress& progress);

// "осталось около 20 с", "осталось около 3 мин" (with no-break spaces before the units), or "осталось несколько секунд".
std::string remainingText(std::chrono::seconds remaining);

// The step, the percent and, when there is one, the estimate: "Патч 2 из 5… 37 %, осталось около 20 с".
std::string progressLineText(const core::Progress& progress, std::optional<std::chrono::seconds> remaining);

// Estimates the time an operation has left from how fast its work has gone since it started. It
// gives nothing until enough time has passed and enough work is done for a fair guess.
class ProgressEstimate {
public:
    using Clock = std::chrono::steady_clock;

    explicit ProgressEstimate(Clock::time_point start = Clock::now()) : start_(start) {}

    std::optional<std::chrono::seconds> remaining(const core::Progress& progress,
                                                  Clock::time_point now = Clock::now()) const;

private:
    Clock::time_point start_;
};

}  // namespace morra
