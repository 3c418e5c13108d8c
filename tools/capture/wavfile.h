// A canonical 44-byte-header RIFF/WAVE file of 16-bit little-endian PCM,
// which every player and ffmpeg read. No other sample format is written.
#pragma once

#include <QByteArray>
#include <QString>

// The header for `dataBytes` bytes of interleaved 16-bit PCM.
QByteArray wavHeader(qint64 dataBytes, int sampleRate, int channels);

// Writes header and samples to `path`; false with `error` set when it cannot.
bool writeWavFile(const QString &path, const QByteArray &pcm, int sampleRate, int channels,
                  QString *error);
