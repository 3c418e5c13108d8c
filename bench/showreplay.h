// The whole song as the window sees it at a fixed paint rate, and copies of a
// scene's state, so that one frame of the show can be rendered again and
// again. Shared by the frame benchmark and the fast-frame pixel test; it plays
// no sound and opens no window.
#pragma once

#include "cuestep.h"
#include "scene.h"
#include "songrecords.h"
#include "steptiming.h"

#include <memory>
#include <vector>
#include <xmp.h>

// Every player frame's record of the compiled-in module, without its sound;
// none when the music does not play. Needs a Q(Gui)Application, as the module
// device does.
SongRecords playWholeSong();

// The module's player frames all have this many samples.
constexpr int songSamplesPerPlayerFrame = 648;  // one tick at the module's 170 BPM

// Steps that fall inside the song at `rate` steps per second.
size_t stepsInSong(const SongRecords &song, int rate);

// A record in which no watched channel has a voice or an instrument: once the
// watchers have seen it, it cues nothing.
xmp_frame_info silentRecord();

// Everything a frame depends on besides the image: the live effects, the
// watchers, the finale flag and the frame's record. Restoring it into a scene
// lets the same frame be rendered again, since rendering advances effects.
class FrameState {
public:
    FrameState() = default;
    FrameState(const Scene &scene, const xmp_frame_info &record);
    FrameState(const FrameState &other);
    FrameState &operator=(const FrameState &other);

    void restoreInto(Scene &scene) const;
    const xmp_frame_info &record() const { return frameRecord; }

private:
    std::vector<std::unique_ptr<DrawCommand>> effects;
    ChannelWatcher watchers[5] = {{0}, {1}, {2}, {3}, {6}};
    bool finaleSpawned = false;
    xmp_frame_info frameRecord{};
};

// What one frame of a whole-song run showed, for choosing frames worth timing.
struct FrameCensus {
    int live = 0;        // effects drawn in the frame
    int snares = 0;      // snare flashes drawn at an opacity above 0
    int distortion = 0;  // the frame's summed row shift
    int strokes = 0;     // sword strokes drawn
    bool stripes = false, title = false, credits = false;  // finale layers painted
    bool blackout = false;
};

// A frame worth timing or checking, with the state the show is in before it.
struct ChosenFrame {
    const char *name;
    long paint;  // painted frame of the 60-per-second run; -1 for one made up
    FrameCensus census;
    FrameState state;
};

// From a whole-song run at 60 paints per second: "empty" (the background
// alone); "busiest" (the most live effects, then the most snare flashes, then
// the largest distortion); "finale" (the last frame before the blackout that
// paints stripes, title and credits); "blackout" (its first frame); and
// "shaken" (the largest distortion with two snare flashes at once);
// "strokes" (the most sword strokes, then the most live effects).
std::vector<ChosenFrame> chooseFrames(const SongRecords &song);

// One frame's cue step and effect pass, as the window runs them, on a tiny
// image (effects advance the same at any size), and what the frame showed.
FrameCensus paintAndCount(Scene &scene, const xmp_frame_info &record);

// Runs the whole song from its start at `rate` paints per second, calling
// visit(paint, stateBeforeThePaint, census) after each paint.
template <typename Visit>
void walkSong(const SongRecords &song, int rate, Visit visit)
{
    bloodSpawned = false;  // a fresh show
    Scene scene;
    const size_t paints = stepsInSong(song, rate);
    for (size_t paint = 0; paint < paints; ++paint) {
        const xmp_frame_info &record = recordForStep(song, qint64(paint), rate);
        const FrameState before(scene, record);
        const FrameCensus census = paintAndCount(scene, record);
        visit(paint, before, census);
    }
}
