#include "view/DisplayScheduler.h"

#include <algorithm>

namespace tarvik {

std::chrono::nanoseconds DisplayScheduler::nextDelay() const {
    // A frame costing c leaves (costShare - 1) * c for everything else before the next.
    const auto earliest = lastFrameEnd_ + lastCost_ * (costShare - 1);
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(earliest - timer_->now());
    return std::clamp(wait, delay, longestDelay);
}

void DisplayScheduler::queuePendingDisplay() {
    if (pending_) return;
    pending_ = true;
    timer_->runAfter(nextDelay(), [weak = std::weak_ptr<DisplayScheduler*>(self_)] {
        const auto self = weak.lock();
        if (!self) return;
        DisplayScheduler& scheduler = **self;
        scheduler.pending_ = false;
        if (scheduler.updateDisplay_) scheduler.updateDisplay_();
    });
}

} // namespace tarvik
