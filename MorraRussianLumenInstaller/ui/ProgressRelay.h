#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "InstallerEngine.h"

namespace morra {

// Carries an operation's progress reports from its worker thread to the main thread. The worker
// only stores the latest report and, when none is on its way yet, asks the main thread once to
// pick it up; so the callback returns at once however often it is called, and the main thread
// sees at most one pending report, always the newest.
class ProgressRelay {
public:
    // `show` runs on the thread of `receiver`. The receiver must outlive every call of the
    // callback (the window's delegate waits for its worker before it goes); a pick-up still
    // queued when it goes is dropped with it.
    ProgressRelay(QObject* receiver, std::function<void(const core::Progress&)> show);

    // The callback for the engine, callable from any thread.
    core::ProgressCallback callback() const;

private:
    struct Shared {
        QObject* receiver = nullptr;
        std::function<void(const core::Progress&)> show;
        std::mutex mutex;
        std::optional<core::Progress> latest;
        bool pickUpAsked = false;
    };
    std::shared_ptr<Shared> shared_;
};

}  // namespace morra
