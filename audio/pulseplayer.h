// The show's sound through the sound server (PulseAudio, or PipeWire's
// PulseAudio server) and the show's clock: the song sample the server is
// playing out now. If the server goes away, or stops taking the sound for
// about two seconds (hung, stopped, its sink suspended), the show carries on
// in silence at the music's pace from the sample heard last, and the sound
// comes back when a server plays again. Ends the show once the song's end has
// been heard.
#pragma once

#include "showclock.h"
#include "silentclock.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QTimer>
#include <atomic>
#include <memory>

class PulseStream;
class XmpDevice;

class PulsePlayer : public ShowClock {
public:
    // lookahead: how far past the sample heard the records must reach while
    // the show runs in silence.
    PulsePlayer(XmpDevice &device, qint64 lookahead);
    ~PulsePlayer() override;

    // Plays from song sample `from`, where the device has been skipped to;
    // false, with nothing running, when no sound server takes the stream.
    // Call on the GUI thread, which the player's timers then run on.
    bool start(qint64 from);
    qint64 heardSample() override;
    // The server started on was PipeWire's: its timing was held to its graph's cycles.
    bool startedOnPipeWire() const { return onPipeWire; }

private:
    void watch();
    void hearUntilTheEnd();
    bool stalled();
    void sayIfRanDry();
    void loseServer(const char *why);
    void tryServer();
    void resume();
    void handOver();
    void finish();

    XmpDevice &device;
    SilentClock silence;
    QMutex streamLock;  // heardSample may come from another thread than watch
    std::unique_ptr<PulseStream> stream;
    QTimer watcher;
    QElapsedTimer sinceAttempt;
    QElapsedTimer sinceAllWritten;
    int underflowsSaid = 0;  // of the current stream
    bool onPipeWire = false;
    std::atomic<qint64> lastHeard{0};
    std::atomic<qint64> lastAdvanceNanoseconds{0};  // when lastHeard last moved on
};
