// Writing a whole file in one go, saying why it failed in the system's own
// words ("No space left on device"): QFile can lose the reason of a write
// that fills the disk part-way and say "Unknown error".
#pragma once

#include <QByteArray>
#include <QString>

// Creates or truncates `path` and writes all of `bytes`; empty on success,
// otherwise the reason.
QString writeWholeFile(const QString &path, const QByteArray &bytes);
