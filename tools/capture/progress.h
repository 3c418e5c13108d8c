// What the capture says while it works: a self-rewriting status line on a
// terminal, a line every 10 s elsewhere (a log, a pipe), and one summary
// line at the end either way. It counts the show's steps painted, seen or not.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

class CaptureProgress {
public:
    CaptureProgress(std::FILE *stream, bool terminal, qint64 totalPaints, int rate);
    // After painted frame `paint` (0-based) is done; cheap to call every frame.
    void painted(qint64 paint);
    // Ends the status line, if any, and prints `summary` on a line of its own.
    void finish(const QString &summary);
    double seconds() const;

private:
    void show(qint64 done);

    std::FILE *stream;
    bool terminal;
    qint64 totalPaints;
    int rate;
    QElapsedTimer clock;
    qint64 lastShownAt;  // milliseconds on the clock
    qint64 lastDone = 0;
    double lastElapsed = 0;
    double recentPace = 0;  // paints per second, smoothed
    bool lineShown = false;
};

// "1:05" for 65 seconds.
QString minutesAndSeconds(double seconds);
