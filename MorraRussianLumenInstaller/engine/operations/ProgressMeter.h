#pragma once

#include <cstdint>

#include "core/Progress.h"

namespace morra::operations {

// Turns the bytes an operation moves into progress reports. The operation plans its work in
// stretches of known size before it starts (from file sizes and patch headers), so the total is
// fixed; the file service's transfer observer feeds advance(). Work that turns out unnecessary is
// skipped at once, work that moves fewer bytes than planned is completed when the next stretch
// begins: `done` only grows, and finish() brings it to the total.
class ProgressMeter {
public:
    ProgressMeter(core::ProgressCallback callback, std::uint64_t total);

    // Starts a stretch of about `bytes` bytes; the previous stretch counts as done.
    void begin(core::Progress::Step step, std::uint64_t bytes, int item = 0, int itemCount = 0);
    // Planned work that is not needed after all.
    void skip(std::uint64_t bytes);
    // Bytes of the current stretch moved; never beyond the stretch.
    void advance(std::uint64_t bytes);
    void finish();

private:
    void report(bool force);

    core::ProgressCallback callback_;
    core::Progress progress_;
    std::uint64_t stretchEnd_ = 0;
    std::uint64_t reported_ = 0;
};

}  // namespace morra::operations
