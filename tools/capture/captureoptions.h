// The capture tool's command line: what the user asked for, checked for sense
// before anything is played or written. Knows nothing of files or the song.
#pragma once

#include "capturetiming.h"

#include <QSize>
#include <QString>
#include <QStringList>

struct CaptureOptions {
    int rate = defaultStepRate;
    int fps = defaultVideoRate;
    QSize size{1920, 1080};
    qint64 fromMicroseconds = 0;
    qint64 toMicroseconds = -1;  // -1: to the song's end
    QString outDir;
    QString videoFile;           // empty: PNG frames
    bool flashCheck = false;     // analyse the frames for flashes, write nothing
    bool gentle = false;         // the show's gentle look
};

struct ParsedCaptureOptions {
    bool ok = false;
    bool helpRequested = false;
    bool versionRequested = false;
    CaptureOptions options;
    QString error;  // why ok is false, naming the option at fault
};

// `arguments` without the program's name.
ParsedCaptureOptions parseCaptureOptions(const QStringList &arguments);

QString captureUsage();
