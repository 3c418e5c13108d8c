// The rate the module is played at, and heard at: the show's PCM, its clock
// and the song positions it counts are all in samples of this rate.
#pragma once

constexpr int songSampleRate = 44100;
