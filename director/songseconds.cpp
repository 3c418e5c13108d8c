#include "songseconds.h"

#include "steptiming.h"

QString songEndText(qint64 songSamples, double givenSeconds)
{
    const double songSeconds = double(songSamples) / songSampleRate;
    int decimals = 3;
    while (decimals < 6 && QString::number(songSeconds, 'f', decimals).toDouble() >= givenSeconds)
        ++decimals;
    return QString::number(songSeconds, 'f', decimals);
}
