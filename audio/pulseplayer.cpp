#include "pulseplayer.h"

#include "pulsestream.h"
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

} // namespace

PulsePlayer::PulsePlayer(XmpDevice &device)
    : device(device), silence(device)
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
    heard = qMax(heard, lastHeard.load());
    lastHeard = heard;
    return heard;
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
    case PulseStream::State::Failed:
        loseServer();
        break;
    default:
        break;
    }
}

void PulsePlayer::hearUntilTheEnd()
{
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

// Either the playing stream has failed, or an attempt to reconnect has.
void PulsePlayer::loseServer()
{
    const bool wasPlaying = !silence.isRunning();
    const qint64 heard = heardSample();
    {
        QMutexLocker lock(&streamLock);
        stream.reset();
    }
    sinceAttempt.start();
    if (!wasPlaying)
        return;
    std::fprintf(stderr, "karnveldt: lost the sound server, sound is off\n");
    sinceAllWritten.invalidate();
    silence.start(heard);
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

// A server took the stream again: the sound goes on from where the silent
// clock has pulled the device, which is where the show stands. Until now the
// silent clock kept the time, however long the server took.
void PulsePlayer::resume()
{
    const qint64 from = device.handedSample();
    {
        QMutexLocker lock(&streamLock);
        silence.stop();
        stream->release();
    }
    std::fprintf(stderr, "karnveldt: the sound server is back, sound is on from %.3f s\n",
                 double(from) / 44100);
}

void PulsePlayer::finish()
{
    watcher.stop();
    silence.stop();
    QCoreApplication::quit();
}
