// The show's clock when nothing plays the sound: song time runs at the music's
// real-time pace from a starting sample, and the device is pulled along (its
// sound thrown away up to the sample "heard") with its records played far
// enough ahead for any picture the window may aim at. So a sound that comes
// back takes up exactly where the silence stands. Quits the application when
// the song's end has been reached.
#pragma once

#include "showclock.h"

#include <QTimer>
#include <atomic>

class XmpDevice;

class SilentClock : public ShowClock {
public:
    // lookahead: how many samples past the one heard the records must reach.
    SilentClock(XmpDevice &device, qint64 lookahead);

    // Runs from song sample `from`; call on the thread that owns the clock.
    void start(qint64 from);
    // Brings the device to the sample heard now, then stops.
    void stop();
    bool isRunning() const { return running; }
    qint64 heardSample() override;

private:
    void pull();
    void handOverTo(qint64 sample);

    XmpDevice &device;
    const qint64 lookahead;
    QTimer timer;
    std::atomic<qint64> startSample{0};
    std::atomic<qint64> startNanoseconds{0};  // of the monotonic clock
    std::atomic<bool> running{false};
};
