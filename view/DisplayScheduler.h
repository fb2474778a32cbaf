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
    virtual std::chrono::steady_clock::time_point now() const { return std::chrono::steady_clock::now(); }
};

// Coalesces redraw requests: the first request schedules one update 16.67 ms later and
// every further request before it runs is absorbed.
//
// Painting shares the thread with reading the program's output, and while the view
// paints the program waits once the pseudo-terminal's small buffer is full. So when
// frames are expensive (a large window repainted whole, as a flood of output does every
// frame) the next update waits longer, keeping painting to at most a fixed share of the
// time since that frame; a cheap frame, or a request long after an expensive one (a key
// typed after a full-screen redraw), is never held back beyond the usual delay.
class DisplayScheduler {
  public:
    static constexpr std::chrono::nanoseconds delay{16'670'000};
    // Painting may take at most one part in this many of the time between two updates.
    static constexpr int costShare = 12;
    // However expensive the frames, the screen still shows at least this often.
    static constexpr std::chrono::nanoseconds longestDelay{50'000'000};

    DisplayScheduler(DisplayTimer& timer, std::function<void()> updateDisplay)
        : timer_(&timer), updateDisplay_(std::move(updateDisplay)) {}
    DisplayScheduler(const DisplayScheduler&) = delete;
    DisplayScheduler& operator=(const DisplayScheduler&) = delete;

    void queuePendingDisplay();
    bool pendingDisplay() const { return pending_; }

    // What the frame that has just ended cost to paint and show, as the widget measured it.
    void frameCost(std::chrono::nanoseconds cost) {
        lastCost_ = cost;
        lastFrameEnd_ = timer_->now();
    }
    // The delay the next request gets.
    std::chrono::nanoseconds nextDelay() const;

  private:
    DisplayTimer* timer_;
    std::function<void()> updateDisplay_;
    bool pending_ = false;
    std::chrono::nanoseconds lastCost_{0};
    std::chrono::steady_clock::time_point lastFrameEnd_{};
    std::shared_ptr<DisplayScheduler*> self_ = std::make_shared<DisplayScheduler*>(this);
};

} // namespace tarvik
