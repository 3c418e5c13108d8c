// The score of KARNVELDT's fight: the patterns as tracker pages, the order
// list and the song's header values. A musician edits this unit; the sounds
// live in orchestra.cpp and the file format in xmwriter.cpp.
#pragma once

#include "song.h"

namespace compose {

// Patterns, order list, tempo and instruments: the whole module.
Song composeSong();

}  // namespace compose
