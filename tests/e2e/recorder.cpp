// Records a PulseAudio source (a null sink's monitor) and notes when its samples
// arrived, in CLOCK_MONOTONIC, so that a check can say when the show's sound
// passed the sink without asking the show. A null sink hands each block to its
// monitor as it plays it, so arrival is the moment of passing, give or take the
// delivery; the server's own clock is noted beside it, for comparison.
//
// usage: recorder SOURCE RECORDING.raw TIMING.txt
//   RECORDING.raw  s16le stereo 44,100 Hz, from the stream's first sample
//   TIMING.txt     one line per read: "<monotonic s> <frame passing the sink now,
//                  by the server's clock> <frames received so far>"; frames count
//                  from the recording's start
// Runs until SIGINT or SIGTERM.
#include <pulse/pulseaudio.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

constexpr int rate = 44100;
constexpr int frameBytes = 4;

struct Recorder {
    pa_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;
    const char *source = nullptr;
    FILE *pcm = nullptr;
    FILE *timing = nullptr;
    unsigned long long receivedBytes = 0;
    unsigned long holes = 0;
    int status = 0;
};

double monotonicNow()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

void fail(Recorder &r, const char *what)
{
    std::fprintf(stderr, "recorder: %s: %s\n", what, pa_strerror(pa_context_errno(pa_stream_get_context(r.stream))));
    r.status = 1;
    pa_mainloop_quit(r.loop, 1);
}

// Right after a read: what has arrived by now, and which frame the server's
// interpolated clock says is passing the sink now.
void noteTiming(Recorder &r)
{
    pa_usec_t played = 0;
    if (pa_stream_get_time(r.stream, &played) < 0)
        return;  // no timing yet
    const double now = monotonicNow();
    std::fprintf(r.timing, "%.6f %.1f %llu\n", now, double(played) * rate / 1e6, r.receivedBytes / frameBytes);
}

void onReadable(pa_stream *stream, size_t, void *data)
{
    auto &r = *static_cast<Recorder *>(data);
    const void *bytes = nullptr;
    size_t length = 0;
    while (pa_stream_readable_size(stream) > 0) {
        if (pa_stream_peek(stream, &bytes, &length) < 0)
            return fail(r, "reading");
        if (length == 0)
            break;
        if (bytes) {
            std::fwrite(bytes, 1, length, r.pcm);
        } else {
            // A hole: the server lost data. Silence keeps later samples in place.
            static const std::vector<char> zeros(65536);
            for (size_t left = length; left > 0;) {
                const size_t n = left < zeros.size() ? left : zeros.size();
                std::fwrite(zeros.data(), 1, n, r.pcm);
                left -= n;
            }
            ++r.holes;
        }
        r.receivedBytes += length;
        pa_stream_drop(stream);
    }
    noteTiming(r);
}

void onStreamState(pa_stream *stream, void *data)
{
    auto &r = *static_cast<Recorder *>(data);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
        fail(r, "the recording stream ended");
}

void onContextState(pa_context *context, void *data)
{
    auto &r = *static_cast<Recorder *>(data);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, rate, 2};
        r.stream = pa_stream_new(context, "sync recorder", &spec, nullptr);
        pa_stream_set_read_callback(r.stream, onReadable, &r);
        pa_stream_set_state_callback(r.stream, onStreamState, &r);
        // Fragments of 5 ms, and the server's latency pulled down to them.
        // A null sink renders ahead of its clock as far as the lowest latency
        // asked of it and hands what it renders to the monitor at once: left
        // to the show's stream (over 100 ms), arrival led the passing by 30
        // to 45 ms. The stream that keeps the sink running asks for as little
        // as this, but the timeline must not rest on another process.
        pa_buffer_attr attr;
        std::memset(&attr, 0xff, sizeof attr);
        attr.fragsize = pa_usec_to_bytes(5000, &spec);
        const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE
                                             | PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_record(r.stream, r.source, &attr, flags) < 0)
            fail(r, "connecting the recording stream");
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        std::fprintf(stderr, "recorder: lost the sound server: %s\n", pa_strerror(pa_context_errno(context)));
        r.status = 1;
        pa_mainloop_quit(r.loop, 1);
        break;
    default:
        break;
    }
}

void onSignal(pa_mainloop_api *, pa_signal_event *, int, void *data)
{
    auto &r = *static_cast<Recorder *>(data);
    // Ending is not losing the server.
    pa_context_set_state_callback(r.context, nullptr, nullptr);
    if (r.stream)
        pa_stream_set_state_callback(r.stream, nullptr, nullptr);
    pa_mainloop_quit(r.loop, 0);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: recorder SOURCE RECORDING.raw TIMING.txt\n");
        return 2;
    }
    Recorder r;
    r.source = argv[1];
    r.pcm = std::fopen(argv[2], "wb");
    r.timing = std::fopen(argv[3], "w");
    if (!r.pcm || !r.timing) {
        std::fprintf(stderr, "recorder: cannot write %s or %s\n", argv[2], argv[3]);
        return 2;
    }
    r.loop = pa_mainloop_new();
    pa_mainloop_api *api = pa_mainloop_get_api(r.loop);
    pa_signal_init(api);
    pa_signal_new(SIGINT, onSignal, &r);
    pa_signal_new(SIGTERM, onSignal, &r);
    pa_context *context = r.context = pa_context_new(api, "karnveldt sync recorder");
    pa_context_set_state_callback(context, onContextState, &r);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0) {
        std::fprintf(stderr, "recorder: no sound server: %s\n", pa_strerror(pa_context_errno(context)));
        return 1;
    }
    int ignored = 0;
    pa_mainloop_run(r.loop, &ignored);
    // The recording's loss, not the show's: reported, and filled with silence.
    if (r.holes)
        std::fprintf(stderr, "recorder: the server lost data %lu times (filled with silence)\n", r.holes);
    if (r.stream)
        pa_stream_disconnect(r.stream);
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_signal_done();
    pa_mainloop_free(r.loop);
    std::fclose(r.pcm);
    std::fclose(r.timing);
    return r.status;
}
