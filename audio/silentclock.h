// The show's clock when nothing plays the sound: song time runs at the music's
// real-time pace from a starting sample, and the device is pulled along (its
// sound thrown away) so that its records keep up. Quits the application when
// the song's end has been reached.
#pragma once

#include "showclock.h"

#include <QTimer>
#include <atomic>

class XmpDevice;

class SilentClock : public ShowClock {
public:
    explicit SilentClock(XmpDevice &device);

    // Runs from song sample `from`; call on the thread that owns the clock.
    void start(qint64 from);
    void stop();
    bool isRunning() const { return running; }
    qint64 heardSample() override;

private:
    void pull();

    XmpDevice &device;
    QTimer timer;
    std::atomic<qint64> startSample{0};
    std::atomic<qint64> startNanoseconds{0};  // of the monotonic clock
    std::atomic<bool> running{false};
};
