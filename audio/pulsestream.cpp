#include "pulsestream.h"

#include "monotonic.h"
#include "samplerate.h"
#include "xmpdevice.h"

#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// PipeWire's timing is asked for this often, at moments that fall all over
// its graph's cycles (whose periods are powers of two frames).
constexpr pa_usec_t timingQueryUs = 37 * PA_USEC_PER_MSEC;
// An idle server answers within a fraction of a millisecond.
constexpr pa_usec_t slowAnswerUs = 5 * PA_USEC_PER_MSEC;

// Locks the mainloop for the scope: everything libpulse owns is touched under it.
struct MainloopLock {
    explicit MainloopLock(pa_threaded_mainloop *mainloop) : mainloop(mainloop)
    {
        pa_threaded_mainloop_lock(mainloop);
    }
    ~MainloopLock() { pa_threaded_mainloop_unlock(mainloop); }
    pa_threaded_mainloop *mainloop;
};

// Busy cores must not starve the sound: the audio thread asks for a modest
// real-time priority, as sound servers do for theirs, or else a better nice
// value. Without the right to either it stays as it is. Only ever called on
// the audio thread: any other thread raised would run its work (a paint, say)
// above the sound server and the desktop.
void raiseThisThread()
{
    sched_param realtime{};
    realtime.sched_priority = 4;
    if (pthread_setschedparam(pthread_self(), SCHED_RR, &realtime) != 0)
        setpriority(PRIO_PROCESS, id_t(gettid()), -11);
}

} // namespace

PulseStream::PulseStream(XmpDevice &device)
    : device(device), mainloop(pa_threaded_mainloop_new())
{
    pa_threaded_mainloop_set_name(mainloop, "audio");
}

PulseStream::~PulseStream()
{
    {
        MainloopLock lock(mainloop);
        if (timingAsker)
            pa_threaded_mainloop_get_api(mainloop)->time_free(timingAsker);
        if (stream) {
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_set_write_callback(stream, nullptr, nullptr);
            pa_stream_set_underflow_callback(stream, nullptr, nullptr);
            pa_stream_disconnect(stream);
        }
        if (context) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
        }
    }
    pa_threaded_mainloop_stop(mainloop);
    if (stream)
        pa_stream_unref(stream);
    if (context)
        pa_context_unref(context);
    pa_threaded_mainloop_free(mainloop);
}

void PulseStream::connect(int timeoutMs)
{
    context = pa_context_new(pa_threaded_mainloop_get_api(mainloop), "karnveldt");
    pa_context_set_state_callback(context, contextChanged, this);
    // The deadline is armed before the thread runs, so nothing races it.
    pa_context_rttime_new(context, pa_rtclock_now() + pa_usec_t(timeoutMs) * PA_USEC_PER_MSEC,
                          timedOut, this);
    // No autospawn: a server that is not there is a fact for the show to live with.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        current = State::Failed;
    pa_threaded_mainloop_start(mainloop);
}

void PulseStream::openStream()
{
    MainloopLock lock(mainloop);
    if (current != State::Connected)
        return;
    const pa_sample_spec format{PA_SAMPLE_S16NE, songSampleRate, 2};
    stream = pa_stream_new(context, "music", &format, nullptr);
    if (!stream) {
        enter(State::Failed);
        return;
    }
    pa_stream_set_state_callback(stream, streamChanged, this);
    pa_stream_set_write_callback(stream, writable, this);
    pa_stream_set_underflow_callback(stream, ranDry, this);
    // A 32 KiB buffer (186 ms), refilled 4 KiB at a time; playback starts
    // once it is full. On a busy or virtual machine the audio thread, or the
    // server, may not run for 100 ms now and then: a buffer of 93 ms ran dry
    // then. Its length costs nothing in sync, since the clock is the sample
    // heard. The server's timing is interpolated between its updates, so
    // asking for the position every paint costs no round trip.
    pa_buffer_attr buffer;
    buffer.maxlength = uint32_t(-1);
    buffer.tlength = 32768;
    buffer.prebuf = uint32_t(-1);
    buffer.minreq = 4096;
    buffer.fragsize = uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE
                                         | PA_STREAM_NOT_MONOTONIC);
    current = State::Starting;
    if (pa_stream_connect_playback(stream, nullptr, &buffer, flags, nullptr, nullptr) < 0)
        enter(State::Failed);
}

bool PulseStream::release()
{
    return leaveReady(State::Playing);
}

bool PulseStream::releaseInSilence()
{
    return leaveReady(State::LeadIn);
}

// Ready no more: the stream plays the device, or silence in its lead-in.
bool PulseStream::leaveReady(State next)
{
    MainloopLock lock(mainloop);
    if (current != State::Ready)
        return false;
    if (next == State::Playing)
        firstSample = device.handedSample();
    lastAskedNanoseconds = monotonicNanoseconds();
    current = next;
    // The server asked for data while the stream was held: answer that now.
    const size_t writable = pa_stream_writable_size(stream);
    if (writable != size_t(-1) && writable > 0)
        write(writable);
    return true;
}

bool PulseStream::leadInHeard()
{
    MainloopLock lock(mainloop);
    return current == State::LeadIn && playedNow() > 0;
}

qint64 PulseStream::takeUp()
{
    MainloopLock lock(mainloop);
    if (current != State::LeadIn)
        return -1;
    // Held under the lock, the audio thread writes no more silence meanwhile.
    const qint64 silenceLeft = writtenSamples - playedNow();
    QByteArray thrownAway(int(silenceLeft * XmpDevice::bytesPerSample), Qt::Uninitialized);
    device.read(thrownAway.data(), thrownAway.size());
    firstSample = device.handedSample();
    current = State::Playing;
    return firstSample;
}

bool PulseStream::sinkSuspended()
{
    MainloopLock lock(mainloop);
    return stream && pa_stream_is_suspended(stream) == 1;
}

qint64 PulseStream::millisecondsSinceAsked() const
{
    return (monotonicNanoseconds() - lastAskedNanoseconds) / 1000000;
}

PulseStream::State PulseStream::settle()
{
    MainloopLock lock(mainloop);
    while (current == State::Connecting || current == State::Starting)
        pa_threaded_mainloop_wait(mainloop);
    return current;
}

qint64 PulseStream::heardSample()
{
    MainloopLock lock(mainloop);
    return firstSample + playedNow() - leadInSamples;
}

// Samples the server has played, by its word; under the mainloop lock.
qint64 PulseStream::playedNow()
{
    // A stream that has failed no longer says: it stays where it was last heard.
    // Until the server says the stream plays, it stays where it starts:
    // interpolation would run on as if it played while a sink is slow to
    // start, and the clock (which never goes back) would then stand still
    // until the sound caught up. Nothing can be heard that was not written.
    pa_usec_t played = 0;
    const pa_timing_info *timing = stream ? pa_stream_get_timing_info(stream) : nullptr;
    if (playedAll)
        playedSamples = writtenSamples;
    else if (timing && timing->playing && pipeWire)
        playedSamples = qMin(graphTimedNow(*timing), writtenSamples);
    else if (timing && timing->playing && pa_stream_get_time(stream, &played) == 0)
        playedSamples = qMin(qint64(played) * songSampleRate / qint64(PA_USEC_PER_SEC), writtenSamples);
    return playedSamples;
}

// On PipeWire: the server's answers as given (see GraphCycleTiming), each
// taken in once; under the mainloop lock.
qint64 PulseStream::graphTimedNow(const pa_timing_info &timing)
{
    const qint64 nowUs = monotonicNanoseconds() / 1000;
    const bool fresh = timing.timestamp.tv_sec != lastAnswer.tv_sec || timing.timestamp.tv_usec != lastAnswer.tv_usec;
    lastAnswer = timing.timestamp;
    // An answer that took long was given by a server too busy to have noted its last cycle.
    if (fresh && timing.transport_usec < slowAnswerUs) {
        const qint64 readUs = qint64(pa_bytes_to_usec(uint64_t(qMax<int64_t>(timing.read_index, 0)),
                                                      pa_stream_get_sample_spec(stream)));
        cycles.add(readUs - qint64(timing.sink_usec), nowUs - qint64(pa_timeval_age(&timing.timestamp)));
    }
    return qMax<qint64>(cycles.positionAt(nowUs), 0) * songSampleRate / qint64(PA_USEC_PER_SEC);
}

void PulseStream::enter(State state)
{
    if (current == State::Failed)
        return;
    current = state;
    pa_threaded_mainloop_signal(mainloop, 0);
}

void PulseStream::contextChanged(pa_context *context, void *self)
{
    auto *player = static_cast<PulseStream *>(self);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        // Connected once the server's name says whose timing it is.
        if (pa_operation *asked = pa_context_get_server_info(context, serverKnown, self))
            pa_operation_unref(asked);
        else
            player->enter(State::Failed);
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        player->enter(State::Failed);
        break;
    default:
        break;
    }
}

void PulseStream::serverKnown(pa_context *, const pa_server_info *info, void *self)
{
    auto *player = static_cast<PulseStream *>(self);
    player->pipeWire = info && info->server_name && std::strstr(info->server_name, "PipeWire");
    player->enter(info ? State::Connected : State::Failed);
}

void PulseStream::streamChanged(pa_stream *stream, void *self)
{
    auto *player = static_cast<PulseStream *>(self);
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        if (player->pipeWire && !player->timingAsker)
            player->timingAsker = pa_context_rttime_new(player->context, pa_rtclock_now() + timingQueryUs,
                                                        askTiming, self);
        player->enter(State::Ready);
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        player->enter(State::Failed);
        break;
    default:
        break;
    }
}

void PulseStream::timedOut(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *self)
{
    auto *player = static_cast<PulseStream *>(self);
    if (player->current == State::Connecting || player->current == State::Connected
        || player->current == State::Starting)
        player->enter(State::Failed);
}

void PulseStream::askTiming(pa_mainloop_api *, pa_time_event *event, const struct timeval *, void *self)
{
    auto *player = static_cast<PulseStream *>(self);
    if (pa_stream_get_state(player->stream) != PA_STREAM_READY)
        return;
    if (pa_operation *asked = pa_stream_update_timing_info(player->stream, nullptr, nullptr))
        pa_operation_unref(asked);
    pa_context_rttime_restart(player->context, event, pa_rtclock_now() + timingQueryUs);
}

// The last samples running out after the end is no fault.
void PulseStream::ranDry(pa_stream *stream, void *self)
{
    auto *player = static_cast<PulseStream *>(self);
    if (player->ended || player->current != State::Playing)
        return;
    pa_usec_t played = 0;
    qint64 sample = player->playedSamples;
    if (pa_stream_get_time(stream, &played) == 0)
        sample = qint64(played) * songSampleRate / qint64(PA_USEC_PER_SEC);
    player->underflowSample = player->firstSample + sample - player->leadInSamples;
    ++player->underflowCount;
}

void PulseStream::drained(pa_stream *, int success, void *self)
{
    static_cast<PulseStream *>(self)->playedAll = success != 0;
}

void PulseStream::writable(pa_stream *, size_t bytes, void *self)
{
    auto *player = static_cast<PulseStream *>(self);
    if (player->current == State::Playing || player->current == State::LeadIn)
        player->lastAskedNanoseconds = monotonicNanoseconds();
    // Asked in the lead-in, the sink may still be starting: no sign that it plays.
    if (player->current == State::Playing)
        player->asked = true;
    player->write(bytes);
}

// Hands the server the module's bytes exactly as the device gives them. Once
// the device has no more, playback is started even if the buffer never filled,
// so that a short last stretch is heard too.
void PulseStream::write(size_t bytes)
{
    if (ended || (current != State::Playing && current != State::LeadIn))
        return;
    // release() writes the first bytes from the caller's thread; the raise
    // waits for the first write on the audio thread itself.
    if (!raised && pa_threaded_mainloop_in_thread(mainloop)) {
        raiseThisThread();
        raised = true;
    }
    void *data = nullptr;
    if (pa_stream_begin_write(stream, &data, &bytes) < 0 || !data)
        return;
    if (current == State::LeadIn) {
        std::memset(data, 0, bytes);
        pa_stream_write(stream, data, bytes, nullptr, 0, PA_SEEK_RELATIVE);
        writtenSamples += qint64(bytes) / XmpDevice::bytesPerSample;
        leadInSamples += qint64(bytes) / XmpDevice::bytesPerSample;
        return;
    }
    const qint64 got = qMax<qint64>(device.read(static_cast<char *>(data), qint64(bytes)), 0);
    if (got > 0) {
        pa_stream_write(stream, data, size_t(got), nullptr, 0, PA_SEEK_RELATIVE);
        writtenSamples += got / XmpDevice::bytesPerSample;
    }
    else
        pa_stream_cancel_write(stream);
    if (size_t(got) < bytes) {
        ended = true;
        if (pa_operation *trigger = pa_stream_trigger(stream, nullptr, nullptr))
            pa_operation_unref(trigger);
        // The timing may stop short of the last samples; the drain says when
        // every one of them has been played.
        if (pa_operation *drain = pa_stream_drain(stream, drained, this))
            pa_operation_unref(drain);
    }
}
