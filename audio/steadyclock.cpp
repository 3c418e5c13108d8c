#include "steadyclock.h"

#include "monotonic.h"
#include "samplerate.h"
#include <QMutexLocker>
#include <algorithm>

namespace {

constexpr double leapSamples = SteadyClock::leapMs * double(songSampleRate) / 1000;
// An offset from the source is worked off at its size over this long, which
// evens out the server's leaps of a few ms over several of its updates...
constexpr double steerSeconds = 0.25;
// ...but never faster than this, so that no interval between pictures stretches
// or shrinks by more than a twentieth.
constexpr double mostSteer = 0.05;

} // namespace

qint64 SteadyClock::heardSample()
{
    const qint64 sample = source.heardSample();
    return heardSampleAt(sample, monotonicNanoseconds());
}

qint64 SteadyClock::heardSampleAt(qint64 sourceSample, qint64 nanoseconds)
{
    QMutexLocker locker(&lock);
    if (!started) {
        started = true;
        position = double(sourceSample);
    } else if (!standing) {
        position += double(nanoseconds - lastNanoseconds) * 1e-9 * songSampleRate * (1 + steer);
    }
    lastNanoseconds = nanoseconds;

    const double offset = double(sourceSample) - position;
    if (offset > leapSamples || (standing && offset >= 0)) {
        position = double(sourceSample);
        standing = false;
        steer = 0;
    } else if (offset < -leapSamples) {
        // Read seldom, it may have run further on before seeing this.
        standing = true;
        position = double(sourceSample) + leapSamples;
    } else if (!standing) {
        steer = std::clamp(offset / (steerSeconds * songSampleRate), -mostSteer, mostSteer);
    }
    lastReturned = std::max(lastReturned, qint64(position));
    return lastReturned;
}
