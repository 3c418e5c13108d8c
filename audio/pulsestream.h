// One connection to the sound server and the stream that plays the module
// through it, on libpulse's own thread: the audio thread. It says which song
// sample the server is playing out now, by the server's own timing, and
// whether the connection still stands; what the show does about a lost server
// is not its business.
#pragma once

#include "graphcycletiming.h"

#include <QtGlobal>
#include <atomic>
#include <pulse/pulseaudio.h>

class XmpDevice;

class PulseStream {
public:
    // Ready: the stream is there, waiting for release() before it reads the
    // device. LeadIn: released in silence, waiting for takeUp().
    enum class State { Connecting, Connected, Starting, Ready, LeadIn, Playing, Failed };

    explicit PulseStream(XmpDevice &device);
    ~PulseStream();
    PulseStream(const PulseStream &) = delete;
    PulseStream &operator=(const PulseStream &) = delete;

    // Starts connecting to the default server without waiting. The connection
    // counts as failed unless the stream is Ready within `timeoutMs`.
    void connect(int timeoutMs);
    // Opens the playback stream, once Connected; it leaves the device alone
    // until released.
    void openStream();
    // Once Ready: plays the device from its next byte, read on the audio
    // thread from then on. False, with the device untouched, when the stream
    // is not Ready (it may have failed since it was seen Ready).
    bool release();
    // Once Ready: plays silence, leaving the device to whoever holds it, so
    // that a sink slow to start keeps no one waiting. False when not Ready.
    bool releaseInSilence();
    // The server has begun to play the silence: the stream's clock moves.
    bool leadInHeard();
    // In the lead-in, with the device at the sample heard now: the device
    // goes on, from the bytes heard once the silence given so far has played
    // (those before it are thrown away), so that the stream's clock takes up
    // where the caller's stands. Returns that sample, or -1 (the device
    // untouched) when the stream is not in its lead-in.
    qint64 takeUp();
    // Blocks while the state is Connecting or Starting.
    State settle();
    State state() const { return current; }

    // The song sample leaving the server now: the first sample released until
    // the stream has played anything, then that plus what the server says it
    // has played. A lead-in's silence counts back from the first sample, so
    // while the rest of it plays, this runs on from where the caller's clock
    // stood at takeUp().
    qint64 heardSample();
    // The song's end has been handed to the server.
    bool allWritten() const { return ended; }
    // Milliseconds since the server last asked for sound (or since release,
    // before it first asked), and whether it has asked since release: a
    // server that plays takes sound every few tens of milliseconds.
    qint64 millisecondsSinceAsked() const;
    // The sink the stream plays on is suspended: nothing it is given is heard.
    bool sinkSuspended();
    // How many times the server has found the stream empty before the song's
    // end was handed over (the sound ran dry: a gap a listener hears), and
    // the song sample heard at the last of them.
    int underflows() const { return underflowCount; }
    qint64 lastUnderflowSample() const { return underflowSample; }
    bool askedSinceRelease() const { return asked; }
    // The server is PipeWire's: its timing is held to its graph's cycles
    // (GraphCycleTiming). Known once Connected.
    bool onPipeWire() const { return pipeWire; }

private:
    static void contextChanged(pa_context *context, void *self);
    static void streamChanged(pa_stream *stream, void *self);
    static void writable(pa_stream *stream, size_t bytes, void *self);
    static void drained(pa_stream *stream, int success, void *self);
    static void ranDry(pa_stream *stream, void *self);
    static void timedOut(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *self);
    static void serverKnown(pa_context *context, const pa_server_info *info, void *self);
    static void askTiming(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *self);
    void enter(State state);
    bool leaveReady(State next);
    void write(size_t bytes);
    qint64 playedNow();
    qint64 graphTimedNow(const pa_timing_info &timing);

    XmpDevice &device;
    pa_threaded_mainloop *mainloop;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;
    qint64 firstSample = 0;
    qint64 playedSamples = 0;  // by the server's last word
    qint64 writtenSamples = 0;  // the lead-in's silence among them
    qint64 leadInSamples = 0;
    bool raised = false;  // the audio thread's priority, once
    std::atomic<State> current{State::Connecting};
    std::atomic<bool> ended{false};
    std::atomic<qint64> lastAskedNanoseconds{0};  // of the monotonic clock
    std::atomic<bool> asked{false};
    std::atomic<int> underflowCount{0};
    std::atomic<qint64> underflowSample{0};
    bool playedAll = false;  // the server has drained the stream
    std::atomic<bool> pipeWire{false};
    GraphCycleTiming cycles;
    timeval lastAnswer{};
    pa_time_event *timingAsker = nullptr;
};
