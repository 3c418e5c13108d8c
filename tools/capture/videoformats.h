// The video files the capture makes, chosen by the file's extension: what
// ffmpeg is asked for, and what the file must hold when read back.
#pragma once

#include <QString>
#include <QStringList>

struct VideoFormat {
    QString extension;   // ".mp4"
    QString videoCodec;  // as ffprobe names it
    QString audioCodec;  // empty: the file carries no sound
    QStringList encoding;  // ffmpeg's output options, up to the file's name
};

// The format for `videoFile`'s extension (in any case), or null.
const VideoFormat *videoFormatFor(const QString &videoFile);
// ".mp4, .webm, .webp or .gif": for messages and the usage.
QString videoExtensions();
