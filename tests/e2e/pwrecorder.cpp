// Records what a PipeWire sink plays, as its graph passes it, and notes when
// by the graph's own clock. A sink hands its monitor, in each cycle, what it
// played in the cycle before: a click a native stream wrote in one cycle came
// to the monitor in the next, a whole period later (at periods of 256 and
// 1024 frames), with no delay reported on either side. So the block read in a
// cycle ended passing at the cycle's start, less the delay the graph reports
// from the sink to this stream. The files are those the pulse-layer recorder
// writes, so that the same checks read them; unlike arrival through the pulse
// layer, the moment does not depend on when a busy machine delivers the block.
//
// usage: pwrecorder SINK RECORDING.raw TIMING.txt
//   RECORDING.raw  s16le stereo 44,100 Hz (the graph resamples to it when it
//                  runs at another rate), from the stream's first sample
//   TIMING.txt     one line per graph cycle: "<monotonic s> <frame> <frame>":
//                  the moment that frame passed the sink; frames count from
//                  the recording's start
// Runs until SIGINT or SIGTERM. A cycle the recorder missed is filled with
// silence, so that later samples keep their place, and reported on stderr.
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int rate = 44100;
constexpr int channels = 2;
// Room for the whole song and more, taken before recording starts: the graph's
// thread must not wait for memory or for the disk.
constexpr size_t capacityFrames = size_t(400) * rate;
constexpr size_t capacityNotes = 400000;
constexpr int maxBuffersPerCycle = 16;

struct Note {
    double moment;  // CLOCK_MONOTONIC s
    size_t frame;
};

// Ticks from one cycle to the next, and how often each came: the graph's
// period is the most frequent (a missed cycle makes one twice as long).
struct Periods {
    uint64_t ticks[8] = {};
    unsigned long times[8] = {};

    void count(uint64_t period)
    {
        for (int i = 0; i < 8; ++i)
            if (ticks[i] == period || times[i] == 0) {
                ticks[i] = period;
                ++times[i];
                return;
            }
    }
    uint64_t usual() const { return ticks[std::max_element(times, times + 8) - times]; }
};

struct Recorder {
    pw_main_loop *loop = nullptr;
    pw_stream *stream = nullptr;
    std::vector<int16_t> samples;
    size_t frames = 0;
    std::vector<Note> notes;
    size_t noteCount = 0;
    bool timed = false;
    uint64_t firstTicks = 0;
    size_t firstTimedFrame = 0;
    unsigned long skips = 0;
    size_t skippedFrames = 0;
    bool full = false;
    bool raised = false, unraised = false;
    int status = 0;
    pw_time lastTime{};
    Periods periods;
};

void append(Recorder &r, const int16_t *data, size_t n)
{
    if (r.frames + n > capacityFrames) {
        r.full = true;
        n = capacityFrames - r.frames;
    }
    if (data)
        std::memcpy(&r.samples[r.frames * channels], data, n * channels * sizeof(int16_t));
    else
        std::memset(&r.samples[r.frames * channels], 0, n * channels * sizeof(int16_t));
    r.frames += n;
}

void appendBuffer(Recorder &r, pw_buffer *b)
{
    const spa_data &d = b->buffer->datas[0];
    if (!d.data || !d.chunk)
        return;
    const uint32_t offset = std::min(d.chunk->offset, d.maxsize);
    const uint32_t size = std::min(d.chunk->size, d.maxsize - offset);
    append(r, reinterpret_cast<const int16_t *>(static_cast<const char *>(d.data) + offset),
           size / (channels * sizeof(int16_t)));
}

size_t bufferFrames(pw_buffer *b)
{
    const spa_data &d = b->buffer->datas[0];
    return d.chunk ? d.chunk->size / (channels * sizeof(int16_t)) : 0;
}

// On the graph's thread, once per cycle. Buffers left over from a cycle before
// come first; the last one is this cycle's, and the clock is read for it.
void onProcess(void *data)
{
    auto &r = *static_cast<Recorder *>(data);
    if (!r.raised) {
        // The recorder stands for the loudspeaker: it keeps the graph's pace
        // as the server's own thread does, or a busy machine makes it miss
        // cycles (it missed some 40 in a song at the normal class).
        r.raised = true;
        sched_param param{};
        param.sched_priority = 80;
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0)
            r.unraised = true;
    }
    pw_buffer *buffers[maxBuffersPerCycle];
    int count = 0;
    while (count < maxBuffersPerCycle && (buffers[count] = pw_stream_dequeue_buffer(r.stream)))
        ++count;
    if (count == 0)
        return;
    for (int i = 0; i + 1 < count; ++i)
        appendBuffer(r, buffers[i]);
    pw_buffer *current = buffers[count - 1];
    pw_time time{};
    if (pw_stream_get_time_n(r.stream, &time, sizeof time) == 0 && time.rate.denom != 0 && time.now != 0) {
        const double tick = double(time.rate.num) / time.rate.denom;
        if (!r.timed) {
            r.timed = true;
            r.firstTicks = time.ticks;
            r.firstTimedFrame = r.frames;
        }
        // The graph's clock says how many frames have passed since the first
        // timed cycle; frames missing from the recording by more than half a
        // cycle's worth were a cycle this stream missed.
        const double due = double(time.ticks - r.firstTicks) * tick * rate + double(r.firstTimedFrame);
        const double missing = due - double(r.frames);
        if (missing > double(bufferFrames(current)) / 2) {
            append(r, nullptr, size_t(missing + 0.5));
            ++r.skips;
            r.skippedFrames += size_t(missing + 0.5);
        }
        if (r.noteCount < capacityNotes)
            r.notes[r.noteCount++] = {double(time.now) * 1e-9 - double(time.delay) * tick
                                          - double(bufferFrames(current)) / rate, r.frames};
        if (r.lastTime.rate.denom != 0)
            r.periods.count(time.ticks - r.lastTime.ticks);
        r.lastTime = time;
    }
    appendBuffer(r, current);
    for (int i = 0; i < count; ++i)
        pw_stream_queue_buffer(r.stream, buffers[i]);
    if (r.full)
        pw_main_loop_quit(r.loop);
}

void onStateChanged(void *data, pw_stream_state, pw_stream_state state, const char *error)
{
    auto &r = *static_cast<Recorder *>(data);
    if (state == PW_STREAM_STATE_ERROR) {
        std::fprintf(stderr, "pwrecorder: the recording stream failed: %s\n", error ? error : "no reason given");
        r.status = 1;
        pw_main_loop_quit(r.loop);
    }
}

void onSignal(void *data, int)
{
    pw_main_loop_quit(static_cast<Recorder *>(data)->loop);
}

const pw_stream_events streamEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = onStateChanged;
    events.process = onProcess;
    return events;
}();

bool writeFiles(const Recorder &r, const char *pcmPath, const char *timingPath)
{
    FILE *pcm = std::fopen(pcmPath, "wb");
    FILE *timing = std::fopen(timingPath, "w");
    bool ok = pcm && timing;
    if (ok)
        ok = std::fwrite(r.samples.data(), sizeof(int16_t) * channels, r.frames, pcm) == r.frames;
    for (size_t i = 0; ok && i < r.noteCount; ++i)
        ok = std::fprintf(timing, "%.6f %zu %zu\n", r.notes[i].moment, r.notes[i].frame, r.notes[i].frame) > 0;
    if (pcm)
        ok = std::fclose(pcm) == 0 && ok;
    if (timing)
        ok = std::fclose(timing) == 0 && ok;
    if (!ok)
        std::fprintf(stderr, "pwrecorder: cannot write %s or %s\n", pcmPath, timingPath);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: pwrecorder SINK RECORDING.raw TIMING.txt\n");
        return 2;
    }
    // Both files are made now, so that a path that cannot be written is said
    // before recording, not after.
    for (const char *path : {argv[2], argv[3]}) {
        FILE *file = std::fopen(path, "w");
        if (!file) {
            std::fprintf(stderr, "pwrecorder: cannot write %s\n", path);
            return 2;
        }
        std::fclose(file);
    }
    Recorder r;
    r.samples.assign(capacityFrames * channels, 0);
    r.notes.assign(capacityNotes, Note{});

    pw_init(&argc, &argv);
    r.loop = pw_main_loop_new(nullptr);
    pw_loop *loop = pw_main_loop_get_loop(r.loop);
    pw_loop_add_signal(loop, SIGINT, onSignal, &r);
    pw_loop_add_signal(loop, SIGTERM, onSignal, &r);
    // The sink's own output, as it plays it; no latency asked for, so that
    // the recorder leaves the graph's period to the others.
    pw_properties *props = pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture",
                                             PW_KEY_MEDIA_ROLE, "Production", PW_KEY_TARGET_OBJECT, argv[1],
                                             PW_KEY_STREAM_CAPTURE_SINK, "true", PW_KEY_NODE_DONT_RECONNECT, "true",
                                             nullptr);
    r.stream = pw_stream_new_simple(loop, "karnveldt sync recorder", props, &streamEvents, &r);
    uint8_t podBytes[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(podBytes, sizeof podBytes);
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_S16_LE;
    info.rate = rate;
    info.channels = channels;
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod *params[1] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    const auto flags =
        pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
    if (!r.stream || pw_stream_connect(r.stream, PW_DIRECTION_INPUT, PW_ID_ANY, flags, params, 1) < 0) {
        std::fprintf(stderr, "pwrecorder: cannot connect to PipeWire\n");
        return 1;
    }
    pw_main_loop_run(r.loop);
    pw_stream_disconnect(r.stream);
    if (r.full) {
        std::fprintf(stderr, "pwrecorder: the recording is full after %zu s\n", capacityFrames / rate);
        r.status = 1;
    }
    if (r.timed) {
        const pw_time &t = r.lastTime;
        std::fprintf(stderr, "pwrecorder: graph clock 1/%u s, periods of %llu ticks, delay from the sink %lld ticks\n",
                     t.rate.denom, static_cast<unsigned long long>(r.periods.usual()), static_cast<long long>(t.delay));
    } else if (r.status == 0) {
        std::fprintf(stderr, "pwrecorder: the graph never ran the recording stream\n");
        r.status = 1;
    }
    if (r.unraised)
        std::fprintf(stderr, "pwrecorder: could not run at real-time priority\n");
    if (r.skips)
        std::fprintf(stderr, "pwrecorder: missed %lu cycles, %.1f ms in all (filled with silence)\n", r.skips,
                     double(r.skippedFrames) * 1000 / rate);
    pw_stream_destroy(r.stream);
    pw_main_loop_destroy(r.loop);
    pw_deinit();
    if (!writeFiles(r, argv[2], argv[3]))
        return 1;
    return r.status;
}
