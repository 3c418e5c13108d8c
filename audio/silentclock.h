// Stands in for the audio output when there is none: pulls the sound source at
// the music's real-time pace and throws the PCM away, so the show still runs
// in time and still ends with the song.
#pragma once

#include <QElapsedTimer>
#include <QIODevice>
#include <QTimer>

class SilentClock {
public:
    SilentClock(QIODevice &source, int bytesPerSecond);
    void start();

private:
    void pull();

    QIODevice &source;
    const int bytesPerSecond;
    QTimer timer;
    QElapsedTimer elapsed;
    qint64 consumed = 0;
};
