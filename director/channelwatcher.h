// What the cue step remembers of one watched module channel between frames.
#pragma once

#include <cstdint>

struct ChannelWatcher {
    int32_t channel;
    int32_t lastInstrument = -1;
    int32_t lastPosition = -1;  // compared as unsigned, so -1 reads as "higher than anything"
};
