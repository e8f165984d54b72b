#pragma once

#include <QObject>
#include <QTimer>

namespace nxkit {

// The one timer every style of every scheme blinks by. It runs only while some control shows
// blinking objects; tests drive it with advance().
class blink_clock : public QObject {
    Q_OBJECT
public:
    static constexpr int period_ms = 100;

    static blink_clock& instance();

    unsigned tick() const { return tick_; }
    // A control that shows something blinking holds the clock running.
    void acquire();
    void release();
    bool running() const { return timer_.isActive(); }
    // One tick now, as the timer would.
    void advance();

signals:
    void ticked(unsigned tick);

private:
    blink_clock();
    QTimer timer_;
    unsigned tick_ = 0;
    int users_ = 0;
};

} // namespace nxkit
