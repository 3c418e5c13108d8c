#include "painttrace.h"

#include "monotonic.h"
#include "samplerate.h"

#include <QFile>
#include <cerrno>
#include <cstring>

PaintTrace::~PaintTrace()
{
    if (file)
        std::fclose(file);
}

bool PaintTrace::open(const QString &path, QString *error)
{
    this->path = path;
    file = std::fopen(QFile::encodeName(path).constData(), "w");
    if (!file)
        *error = QString::fromLocal8Bit(std::strerror(errno));
    return file != nullptr;
}

namespace {
double seconds(qint64 ns)
{
    return ns < 0 ? -1.0 : ns / 1e9;
}
}

void PaintTrace::write(qint64 recordSample, qint64 heardSample, qint64 step, qint64 paintNs, qint64 aimedNs,
                       qint64 litNs, qint64 litCounter)
{
    if (!file)
        return;
    if (paintNs < 0)
        paintNs = monotonicNanoseconds();
    const int written = std::fprintf(file, "%lld.%09lld %.6f %.6f %lld %.6f %.6f %lld\n",
                                     static_cast<long long>(paintNs / 1000000000),
                                     static_cast<long long>(paintNs % 1000000000),
                                     recordSample < 0 ? -1.0 : recordSample / double(songSampleRate),
                                     heardSample / double(songSampleRate), static_cast<long long>(step),
                                     seconds(aimedNs), seconds(litNs), static_cast<long long>(litCounter));
    finishLine(written);
}

void PaintTrace::note(const QString &text)
{
    if (file)
        finishLine(std::fprintf(file, "# %s\n", qPrintable(text)));
}

// After a line's fprintf: flushed, or the trace ends here.
void PaintTrace::finishLine(int printed)
{
    // A run that ends at a crash or a kill still leaves its trace.
    if (printed >= 0 && std::fflush(file) == 0)
        return;
    std::fprintf(stderr, "karnveldt: cannot write the trace %s: %s; it ends here\n", qPrintable(path),
                 std::strerror(errno));
    writeFailed = true;
    std::fclose(file);
    file = nullptr;
}
