#include "silentclock.h"

#include "monotonic.h"
#include "samplerate.h"
#include "xmpdevice.h"

#include <QByteArray>
#include <QCoreApplication>

SilentClock::SilentClock(XmpDevice &device, qint64 lookahead)
    : device(device), lookahead(lookahead)
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
    if (!running)
        return;
    handOverTo(heardSample());
    timer.stop();
    running = false;
}

qint64 SilentClock::heardSample()
{
    if (!running)
        return startSample;
    const qint64 nanoseconds = monotonicNanoseconds() - startNanoseconds;
    qint64 heard = startSample + nanoseconds * songSampleRate / 1000000000;
    const qint64 end = device.endSample();
    if (end >= 0)
        heard = qMin(heard, end);
    return heard;
}

// The sound up to `sample`, thrown away.
void SilentClock::handOverTo(qint64 sample)
{
    const qint64 due = (sample - device.handedSample()) * XmpDevice::bytesPerSample;
    QByteArray sink(int(qMax<qint64>(due, 0)), Qt::Uninitialized);
    for (qint64 got = 0; got < due;) {
        const qint64 n = device.read(sink.data() + got, due - got);
        if (n <= 0)
            break;
        got += n;
    }
}

// Hands over the sound up to the sample heard and plays the records on ahead
// of it; quits once the end is reached.
void SilentClock::pull()
{
    const qint64 heard = heardSample();
    handOverTo(heard);
    device.playAheadTo(heard + lookahead);
    const qint64 end = device.endSample();
    if (end >= 0 && heard >= end) {
        stop();
        QCoreApplication::quit();
    }
}
