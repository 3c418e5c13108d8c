// For tests of what must end the event loop: runs it until someone quits it.
#pragma once

#include <QCoreApplication>
#include <QTimer>

// The loop's exit code, or 99 if nothing ended it within the limit.
inline int exitCodeWithin(int milliseconds)
{
    QTimer::singleShot(milliseconds, [] { QCoreApplication::exit(99); });
    return QCoreApplication::exec();
}
