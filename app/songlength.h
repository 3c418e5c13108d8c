// The song's length, found before anything opens by playing the module once
// through on a player of its own, which is released again: a --start past the
// end is then refused as a usage error, display or no display.
#pragma once

#include <QString>

// In samples of the song's sound; -1, with *error set, when the module cannot be played.
qint64 songLength(const QString &modulePath, QString *error);
