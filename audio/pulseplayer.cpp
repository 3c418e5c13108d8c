#include "pulseplayer.h"

#include "monotonic.h"
#include "pulsestream.h"
#include "samplerate.h"
#include "xmpdevice.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

constexpr int firstConnectMs = 2000;
// Shorter than the retry interval, so that a hung attempt never delays the next.
constexpr int reconnectMs = 900;
constexpr int retryMs = 1000;
// The end is in the server's hands once written; a stuck server gets this long.
constexpr int endGraceMs = 3000;
// A playing server asks for sound every few tens of milliseconds. One that
// has not for this long is not playing it; a new stream's sink may take a
// little longer to start.
constexpr int stallMs = 2000;
constexpr int firstAskMs = 4000;
// The sound heard last went on until the loss was seen, if it was moving then.
constexpr qint64 stillMovingNanoseconds = 100000000;

} // namespace

PulsePlayer::PulsePlayer(XmpDevice &device, qint64 lookahead)
    : device(device), silence(device, lookahead)
{
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [this] { watch(); });
}

PulsePlayer::~PulsePlayer() = default;

bool PulsePlayer::start(qint64 from)
{
    auto candidate = std::make_unique<PulseStream>(device);
    candidate->connect(firstConnectMs);
    // The end of the song ends the show when it is heard, not when it is read.
    device.setQuitsAtEnd(false);
    if (candidate->settle() == PulseStream::State::Connected) {
        candidate->openStream();
        if (candidate->settle() == PulseStream::State::Ready)
            candidate->release();
    }
    if (candidate->state() != PulseStream::State::Playing) {
        device.setQuitsAtEnd(true);
        return false;
    }
    lastHeard = from;
    lastAdvanceNanoseconds = monotonicNanoseconds();
    onPipeWire = candidate->onPipeWire();
    stream = std::move(candidate);
    watcher.start();
    return true;
}

qint64 PulsePlayer::heardSample()
{
    QMutexLocker lock(&streamLock);
    qint64 heard = lastHeard;
    if (stream && stream->state() == PulseStream::State::Playing)
        heard = stream->heardSample();
    else if (silence.isRunning())
        heard = silence.heardSample();
    const qint64 end = device.endSample();
    if (end >= 0)
        heard = qMin(heard, end);
    // Never backwards, whatever a server's interpolation or a switch of clocks does.
    if (heard > lastHeard) {
        lastHeard = heard;
        lastAdvanceNanoseconds = monotonicNanoseconds();
    }
    return lastHeard;
}

void PulsePlayer::watch()
{
    if (!stream) {
        if (silence.isRunning() && sinceAttempt.elapsed() >= retryMs)
            tryServer();
        return;
    }
    switch (stream->state()) {
    case PulseStream::State::Playing:
        hearUntilTheEnd();
        break;
    case PulseStream::State::Connected:
        stream->openStream();
        break;
    case PulseStream::State::Ready:
        resume();
        break;
    case PulseStream::State::LeadIn:
        handOver();
        break;
    case PulseStream::State::Failed:
        loseServer("lost the sound server");
        break;
    default:
        break;
    }
}

// Whether the server has stopped taking the sound before the song's end was handed over.
bool PulsePlayer::stalled()
{
    if (stream->allWritten())
        return false;
    const int patience = stream->askedSinceRelease() ? stallMs : firstAskMs;
    return stream->millisecondsSinceAsked() > patience;
}

// A gap in the sound that the show caused, by not keeping the stream fed, is
// worth a line: a listener hears it, and it tells a busy machine from a
// server's own hiccup (which the server does not report as a stream running dry).
void PulsePlayer::sayIfRanDry()
{
    const int underflows = stream->underflows();
    if (underflows == underflowsSaid)
        return;
    underflowsSaid = underflows;
    std::fprintf(stderr, "karnveldt: the sound ran dry at %.3f s of the song\n",
                 double(stream->lastUnderflowSample()) / songSampleRate);
}

void PulsePlayer::hearUntilTheEnd()
{
    sayIfRanDry();
    if (stalled())
        return loseServer("the sound server stopped taking the sound");
    // Asked every tick, so that a lost server leaves a recent last sample heard.
    const qint64 heard = heardSample();
    const qint64 end = device.endSample();
    if (end >= 0 && heard >= end)
        return finish();
    if (!stream->allWritten())
        return;
    if (!sinceAllWritten.isValid())
        sinceAllWritten.start();
    else if (sinceAllWritten.elapsed() > endGraceMs)
        finish();
}

// Either the playing stream has failed or stalled, or an attempt to reconnect
// has failed. The silence takes up where the sound stood at this moment: if
// it was still moving when last read, it has moved on since, but never past
// what the server was given.
void PulsePlayer::loseServer(const char *why)
{
    const bool wasPlaying = !silence.isRunning();
    qint64 from = heardSample();
    const qint64 sinceAdvance = monotonicNanoseconds() - lastAdvanceNanoseconds;
    if (wasPlaying && sinceAdvance < stillMovingNanoseconds)
        from = qMin(from + sinceAdvance * songSampleRate / 1000000000, device.handedSample());
    {
        QMutexLocker lock(&streamLock);
        stream.reset();
    }
    underflowsSaid = 0;
    sinceAttempt.start();
    if (!wasPlaying)
        return;
    std::fprintf(stderr, "karnveldt: %s, sound is off\n", why);
    sinceAllWritten.invalidate();
    lastHeard = qMax(lastHeard.load(), from);
    silence.start(from);
}

void PulsePlayer::tryServer()
{
    // Once the device has handed over its last byte there is nothing left to play.
    if (device.endSample() >= 0)
        return;
    sinceAttempt.start();
    auto candidate = std::make_unique<PulseStream>(device);
    candidate->connect(reconnectMs);
    QMutexLocker lock(&streamLock);
    stream = std::move(candidate);
}

// A server took the stream again. Its sink may take a second or two to
// start (an idle null sink does), so the stream plays silence until the
// server's clock for it moves, and the silent clock keeps the time meanwhile,
// as it does while the sink is suspended.
void PulsePlayer::resume()
{
    if (!stream->sinkSuspended())
        stream->releaseInSilence();
}

// The sink plays: the sound goes on from the sample the silent clock will
// have reached when the silence given so far has played, so the show's clock
// passes from the one to the other without a jump. A sink that never starts
// is given up on quietly, the silent clock still running, and tried again.
void PulsePlayer::handOver()
{
    if (stalled())
        return loseServer("the sound server stopped taking the sound");
    if (!stream->leadInHeard())
        return;
    qint64 from = 0;
    {
        QMutexLocker lock(&streamLock);
        silence.stop();
        from = stream->takeUp();
        if (from < 0) {
            silence.start(device.handedSample());
            return;
        }
    }
    std::fprintf(stderr, "karnveldt: the sound server is back, sound is on from %.3f s\n",
                 double(from) / songSampleRate);
}

void PulsePlayer::finish()
{
    watcher.stop();
    silence.stop();
    QCoreApplication::quit();
}
