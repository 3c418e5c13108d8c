#include "showfonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>

void registerShowFonts()
{
    QFontDatabase::addApplicationFont(QStringLiteral(":/Liberation Sans, Bold.ttf"));
    QFontDatabase::addApplicationFont(QStringLiteral(":/Liberation Sans, Regular.ttf"));
    QFontDatabase::addApplicationFont(QStringLiteral(":/Font Awesome 5 Free, Regular.otf"));
    // The icon font has no skull; this subset supplies it.
    QFontDatabase::addApplicationFont(QStringLiteral(":/Noto Sans Symbols2, Show Subset.ttf"));
    // The note glyphs are drawn in the default family: make it one that has them.
    QGuiApplication::setFont(QFont(QStringLiteral("Liberation Sans")));
}
