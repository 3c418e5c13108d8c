// A line per painted frame, for measuring the show against what is heard:
// CLOCK_MONOTONIC seconds when it was painted, the song time of the frame
// record painted (-1 for none yet), the show clock's song time, the step
// painted, CLOCK_MONOTONIC seconds of the refresh it was aimed at and of the
// one that lit it (each -1 where the display said none), and the display's
// count of that refresh (-1 where it keeps none). Lines starting with "#" say
// how the show runs.
#pragma once

#include <QString>
#include <cstdio>

class PaintTrace {
public:
    PaintTrace() = default;
    PaintTrace(const PaintTrace &) = delete;
    PaintTrace &operator=(const PaintTrace &) = delete;
    ~PaintTrace();

    // False, with the reason in *error, when the file cannot be written.
    bool open(const QString &path, QString *error);
    // Song positions in samples; recordSample < 0 when no frame has played yet.
    // The first line that cannot be written is reported on stderr, once, and
    // ends the trace: what follows it would be a trace with a hole.
    // paintNs < 0: now.
    void write(qint64 recordSample, qint64 heardSample, qint64 step, qint64 paintNs = -1, qint64 aimedNs = -1,
               qint64 litNs = -1, qint64 litCounter = -1);
    // A line "# TEXT": how the show runs.
    void note(const QString &text);
    // Whether a line was lost: the show's exit status says so.
    bool failed() const { return writeFailed; }

private:
    void finishLine(int printed);

    std::FILE *file = nullptr;
    QString path;
    bool writeFailed = false;
};
