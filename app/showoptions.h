// The show's command line: a viewer's options, checked before anything starts.
// Qt's own options (-platform and the like) are let through for Qt.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

struct ShowOptions {
    bool windowed = false;
    QSize windowSize{1920, 1080};
    QString screen;              // empty: the primary screen
    qint64 startSample = 0;      // --start, in samples of the song's sound
    QString startText;           // --start as given, for messages
    bool mute = false;
    int rate = 120;
    bool literal = false;
    bool gentle = false;
    bool stepPacing = false;
};

enum class OptionsOutcome {
    Run,        // options in *options
    Done,       // help or version printed: exit 0
    UsageError  // *message says what is wrong: exit 2
};

// arguments: the program name first, as QCoreApplication::arguments() gives them.
// *message gets the help or version text, or the usage error.
OptionsOutcome parseShowOptions(const QStringList &arguments, ShowOptions *options, QString *message);
