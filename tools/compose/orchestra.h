// The module's 44 instrument slots: each slot's name, tuning and the
// synthesis recipe of its one sample. The slot numbers are fixed by what the
// show reads from them (kick 1, snare 2, sword sounds 3-28, flute 31, fight
// noise 38, knife and sword 39-44); the sounds are ours.
#pragma once

#include "song.h"

#include <vector>

namespace compose {

std::vector<Instrument> orchestra();

}  // namespace compose
