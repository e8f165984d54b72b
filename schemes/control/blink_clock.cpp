#include "schemes/control/blink_clock.h"

namespace nxkit {

blink_clock& blink_clock::instance() {
    static blink_clock* clock = new blink_clock; // lives as long as the process
    return *clock;
}

blink_clock::blink_clock() {
    timer_.setInterval(period_ms);
    timer_.setTimerType(Qt::CoarseTimer);
    connect(&timer_, &QTimer::timeout, this, &blink_clock::advance);
}

void blink_clock::acquire() {
    if (users_++ == 0)
        timer_.start();
}

void blink_clock::release() {
    if (users_ > 0 && --users_ == 0)
        timer_.stop();
}

void blink_clock::advance() {
    ++tick_;
    emit ticked(tick_);
}

} // namespace nxkit
