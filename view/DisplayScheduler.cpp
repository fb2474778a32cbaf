#include "view/DisplayScheduler.h"

namespace tarvik {

void DisplayScheduler::queuePendingDisplay() {
    if (pending_) return;
    pending_ = true;
    timer_->runAfter(delay, [weak = std::weak_ptr<DisplayScheduler*>(self_)] {
        const auto self = weak.lock();
        if (!self) return;
        DisplayScheduler& scheduler = **self;
        scheduler.pending_ = false;
        if (scheduler.updateDisplay_) scheduler.updateDisplay_();
    });
}

} // namespace tarvik
