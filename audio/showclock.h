// Where the show stands in the song: the sample of the module's sound that is
// being heard at this moment. The window paints what this says, so pictures
// follow the loudspeaker, not the audio buffer.
#pragma once

#include <QtGlobal>

class ShowClock {
public:
    virtual ~ShowClock() = default;
    // Song sample leaving the sound output now, counted from the song's start;
    // safe to call from any thread.
    virtual qint64 heardSample() = 0;
};
