#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

namespace tarvik {

// The caret's opacity while it blinks: from 1 down to 0 over 0.7 s and back, for ever.
// A timer ticks while blinking so the caret's cell is repainted; a stopped blink keeps
// the caret at full opacity.
class CaretBlink {
  public:
    static constexpr int halfPeriodMs = 700;
    static constexpr int tickMs = 50;

    // Called on every tick while blinking (repaint the caret's cell).
    std::function<void()> onTick;

    CaretBlink();

    void start();
    void stop();
    bool running() const { return timer_.isActive(); }
    double opacity() const;

    // Opacity `elapsedMs` after the blink started.
    static double opacityAt(qint64 elapsedMs);

  private:
    QTimer timer_;
    QElapsedTimer clock_;
};

} // namespace tarvik
