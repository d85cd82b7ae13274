#include "operations/ProgressMeter.h"

#include <algorithm>

namespace morra::operations {

namespace {
// Reports come at least this far apart (or at a new step), so a fast disk does not flood the
// window with them.
constexpr std::uint64_t kReportStep = 4ull << 20;
}  // namespace

ProgressMeter::ProgressMeter(core::ProgressCallback callback, std::uint64_t total) : callback_(std::move(callback)) {
    progress_.total = total;
}

void ProgressMeter::begin(core::Progress::Step step, std::uint64_t bytes, int item, int itemCount) {
    progress_.done = std::max(progress_.done, std::min(stretchEnd_, progress_.total));
    stretchEnd_ = progress_.done + bytes;
    progress_.step = step;
    progress_.item = item;
    progress_.itemCount = itemCount;
    report(true);
}

void ProgressMeter::skip(std::uint64_t bytes) {
    progress_.done = std::min(progress_.done + bytes, progress_.total);
    stretchEnd_ = std::max(stretchEnd_, progress_.done);
    report(false);
}

void ProgressMeter::advance(std::uint64_t bytes) {
    progress_.done = std::min({progress_.done + bytes, stretchEnd_, progress_.total});
    report(false);
}

void ProgressMeter::finish() {
    progress_.done = progress_.total;
    report(true);
}

void ProgressMeter::report(bool force) {
    if (!callback_) return;
    if (!force && progress_.done - reported_ < kReportStep) return;
    reported_ = progress_.done;
    callback_(progress_);
}

}  // namespace morra::operations
