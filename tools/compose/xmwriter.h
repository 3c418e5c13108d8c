// Serialises a Song as a FastTracker 2 Extended Module, version 0x0104.
// Bytes only: no music and no sound decisions are made here; the writer
// refuses (throws std::invalid_argument) what the format cannot hold.
#pragma once

#include "song.h"

#include <cstdint>
#include <vector>

namespace compose {

std::vector<uint8_t> writeXm(const Song& song);

}  // namespace compose
