// Song times as the messages of the show and the capture give them.
#pragma once

#include <QString>

// The end of a song `songSamples` long, in seconds, said beside a time the
// user gave at or past it: to the millisecond ("90.015"), or finer where
// rounding would put the end at or beyond that time.
QString songEndText(qint64 songSamples, double givenSeconds);
