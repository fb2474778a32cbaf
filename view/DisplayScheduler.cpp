#include "view/DisplayScheduler.h"

namespace tarvik {

void DisplayScheduler::queuePendingDisplay() {
    if (pending_) return;
    pending_ = true;
    timer_->runAfter(delay, [this] {
        pending_ = false;
        if (updateDisplay_) updateDisplay_();
    });
}

} // namespace tarvik
