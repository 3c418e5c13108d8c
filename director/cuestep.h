// Listens to the music: finds notes newly struck on the watched channels in a
// frame record and spawns the effect that each instrument stands for.
#pragma once

#include "channelwatcher.h"
#include "effectset.h"

#include <xmp.h>

// Set at the first spawn of the finale, so that only that one plays it.
extern bool bloodSpawned;

struct CueContext {
    int32_t songRow;
    int32_t songPosition;
    int32_t pan;
    int32_t note;
    bool gentle = false;  // the effects' gentle look, which does not flash
};

// The effect for a 0-based instrument index, or nullptr for a sound-only one.
DrawCommand *spawnEffect(int instrument, const CueContext &cue);

void runCueStep(const xmp_frame_info &info, ChannelWatcher (&watchers)[5], EffectSet &effects,
                bool gentle = false);
