// The whole song as the show's device plays it: every player frame's record,
// with or without its sound, and the record each step of the show sees.
// The capture, the frame benchmark and the module's cue tests all read the
// song through this, so that they see the same frames as the window.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>
#include <xmp.h>

struct SongRecords {
    std::vector<xmp_frame_info> records;  // in playing order
    QByteArray pcm;                       // 16-bit stereo, when asked for
    int samplesPerPlayerFrame = 0;        // the same for every frame
};

// Plays the compiled-in module once, from its start to where it would wrap.
// False, with the reason, when the music cannot be played, never ends, or
// changes its frame length (a tempo change), which step timing cannot follow.
// Needs a Q(Gui)Application, as the module device does.
bool decodeSong(SongRecords &song, bool keepSound, QString *error);

// The record step `step` sees at `rate` steps per second: step 0 comes before
// any sound and sees the device's zeroed record; a step past the last player
// frame sees the last.
const xmp_frame_info &recordForStep(const SongRecords &song, qint64 step, int rate);
