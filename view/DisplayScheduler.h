#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace tarvik {

// Runs a task later on the view's thread (the widget uses a single-shot timer; tests
// keep the task and run it when they choose). A task that runs after its scheduler is
// gone does nothing.
class DisplayTimer {
  public:
    virtual ~DisplayTimer() = default;
    virtual void runAfter(std::chrono::nanoseconds delay, std::function<void()> task) = 0;
};

// Coalesces redraw requests: the first request schedules one update 16.67 ms later and
// every further request before it runs is absorbed.
class DisplayScheduler {
  public:
    static constexpr std::chrono::nanoseconds delay{16'670'000};

    DisplayScheduler(DisplayTimer& timer, std::function<void()> updateDisplay)
        : timer_(&timer), updateDisplay_(std::move(updateDisplay)) {}
    DisplayScheduler(const DisplayScheduler&) = delete;
    DisplayScheduler& operator=(const DisplayScheduler&) = delete;

    void queuePendingDisplay();
    bool pendingDisplay() const { return pending_; }

  private:
    DisplayTimer* timer_;
    std::function<void()> updateDisplay_;
    bool pending_ = false;
    std::shared_ptr<DisplayScheduler*> self_ = std::make_shared<DisplayScheduler*>(this);
};

} // namespace tarvik
