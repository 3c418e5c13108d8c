#include "silentclock.h"

#include <QByteArray>

SilentClock::SilentClock(QIODevice &source, int bytesPerSecond)
    : source(source), bytesPerSecond(bytesPerSecond)
{
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [this] { pull(); });
}

void SilentClock::start()
{
    elapsed.start();
    consumed = 0;
    timer.start();
}

// Reads whatever the elapsed time says is due; a source that returns nothing
// has ended (or is waiting for the event loop to quit).
void SilentClock::pull()
{
    const qint64 due = elapsed.nsecsElapsed() * bytesPerSecond / 1000000000 - consumed;
    if (due <= 0)
        return;
    QByteArray sink(int(due), Qt::Uninitialized);
    qint64 got = 0;
    while (got < due) {
        const qint64 n = source.read(sink.data() + got, due - got);
        if (n <= 0) {
            timer.stop();
            break;
        }
        got += n;
    }
    consumed += got;
}
