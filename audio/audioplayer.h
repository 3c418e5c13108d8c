// Plays a sound source through the default audio output on a thread of its
// own, so that a slow paint or a busy display never starves the sound.
// The output pulls from the source in that thread; the source must be safe to
// read there while the GUI thread looks at what it publishes.
#pragma once

#include <QObject>
#include <QThread>

class QAudioOutput;
class QIODevice;

class AudioPlayer {
public:
    explicit AudioPlayer(QIODevice &source);
    ~AudioPlayer();

    // Opens the default output at 44,100 Hz 16-bit stereo with a 16384-byte
    // buffer and starts pulling; false when there is no usable output.
    bool start();

private:
    QIODevice &source;
    QThread thread;
    QObject worker;  // lives in the thread: what runs there runs through it
    QAudioOutput *output = nullptr;
};
