// Qt aborts when no platform plugin can open a display, telling the user to
// reinstall. While the application object opens one, this says instead, on
// one line, which display was tried, and exits with status 1. Qt's other
// messages meanwhile are held back and passed on once the display is open.
#pragma once

#include <QStringList>

class DisplayOpening {
public:
    // arguments: the command line, for Qt's own -platform and -display.
    explicit DisplayOpening(const QStringList &arguments);
    DisplayOpening(const DisplayOpening &) = delete;
    DisplayOpening &operator=(const DisplayOpening &) = delete;
    // Once the QGuiApplication exists: Qt's messages flow as before.
    void opened();
};
