#include "painttrace.h"

#include "samplerate.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <ctime>

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

void PaintTrace::write(qint64 recordSample, qint64 heardSample, qint64 step)
{
    if (!file)
        return;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int written = std::fprintf(file, "%lld.%09ld %.6f %.6f %lld\n", static_cast<long long>(now.tv_sec),
                                     now.tv_nsec, recordSample < 0 ? -1.0 : recordSample / double(songSampleRate),
                                     heardSample / double(songSampleRate), static_cast<long long>(step));
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
