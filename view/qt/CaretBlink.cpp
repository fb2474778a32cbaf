#include "view/qt/CaretBlink.h"

namespace tarvik {

CaretBlink::CaretBlink() {
    timer_.setInterval(tickMs);
    timer_.setTimerType(Qt::CoarseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (onTick) onTick();
    });
}

void CaretBlink::start() {
    if (timer_.isActive()) return;
    clock_.start();
    timer_.start();
}

void CaretBlink::stop() {
    timer_.stop();
    clock_.invalidate();
}

double CaretBlink::opacity() const { return running() && clock_.isValid() ? opacityAt(clock_.elapsed()) : 1.0; }

double CaretBlink::opacityAt(qint64 elapsedMs) {
    if (elapsedMs < 0) return 1.0;
    const qint64 phase = elapsedMs % (2 * halfPeriodMs);
    const double t = static_cast<double>(phase % halfPeriodMs) / halfPeriodMs;
    return phase < halfPeriodMs ? 1.0 - t : t;
}

} // namespace tarvik
