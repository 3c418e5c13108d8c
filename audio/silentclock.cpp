#include "silentclock.h"

#include "xmpdevice.h"

#include <QByteArray>
#include <QCoreApplication>
#include <chrono>

namespace {

constexpr qint64 sampleRate = 44100;

qint64 monotonicNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

SilentClock::SilentClock(XmpDevice &device)
    : device(device)
{
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [this] { pull(); });
}

void SilentClock::start(qint64 from)
{
    startSample = from;
    startNanoseconds = monotonicNanoseconds();
    running = true;
    timer.start();
    pull();
}

void SilentClock::stop()
{
    timer.stop();
    running = false;
}

qint64 SilentClock::heardSample()
{
    if (!running)
        return startSample;
    const qint64 nanoseconds = monotonicNanoseconds() - startNanoseconds;
    qint64 heard = startSample + nanoseconds * sampleRate / 1000000000;
    const qint64 end = device.endSample();
    if (end >= 0)
        heard = qMin(heard, end);
    return heard;
}

// Reads what the clock says is due, and a frame more, so that the record of
// the sample being "heard" is always there; quits once the end is reached.
void SilentClock::pull()
{
    const qint64 heard = heardSample();
    const qint64 due = (heard + 648 - device.handedSample()) * XmpDevice::bytesPerSample;
    QByteArray sink(int(qMax<qint64>(due, 0)), Qt::Uninitialized);
    for (qint64 got = 0; got < due;) {
        const qint64 n = device.read(sink.data() + got, due - got);
        if (n <= 0)
            break;
        got += n;
    }
    const qint64 end = device.endSample();
    if (end >= 0 && heard >= end) {
        stop();
        QCoreApplication::quit();
    }
}
