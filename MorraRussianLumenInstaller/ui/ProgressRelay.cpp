#include "ProgressRelay.h"

#include <QMetaObject>

namespace morra {

ProgressRelay::ProgressRelay(QObject* receiver, std::function<void(const core::Progress&)> show)
    : shared_(std::make_shared<Shared>()) {
    shared_->receiver = receiver;
    shared_->show = std::move(show);
}

core::ProgressCallback ProgressRelay::callback() const {
    return [shared = shared_](const core::Progress& progress) {
        {
            std::lock_guard lock(shared->mutex);
            shared->latest = progress;
            if (shared->pickUpAsked) return;
            shared->pickUpAsked = true;
        }
        QMetaObject::invokeMethod(
            shared->receiver,
            [shared] {
                std::optional<core::Progress> latest;
                {
                    std::lock_guard lock(shared->mutex);
                    latest.swap(shared->latest);
                    shared->pickUpAsked = false;
                }
                if (latest) shared->show(*latest);
            },
            Qt::QueuedConnection);
    };
}

}  // namespace morra
