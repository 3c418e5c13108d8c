#include "displayopening.h"

#include <QRegularExpression>
#include <cstdarg>
#include <cstdio>
#include <dlfcn.h>
#include <unistd.h>

namespace {

struct HeldMessage {
    QtMsgType type;
    QByteArray file;
    int line;
    QByteArray function;
    QByteArray category;
    QString text;
};

// A message handler is a plain function, so what it needs lives here.
QtMessageHandler qtHandler = nullptr;
bool watching = false;
QString platformAsked;  // -platform, else QT_QPA_PLATFORM, else Qt's default
QString xDisplayAsked;  // -display, else DISPLAY
QStringList pluginsTried;
QStringList pluginsMissing;
QList<HeldMessage> held;
QString waylandSaid;  // libwayland's last word on connecting

QString argumentAfter(const QStringList &arguments, const QString &option)
{
    for (int i = 0; i + 1 < arguments.size(); ++i)
        if (arguments[i] == QLatin1Char('-') + option || arguments[i] == QLatin1String("--") + option)
            return arguments[i + 1];
    return QString();
}

QString describe(const QString &plugin)
{
    if (plugin.startsWith(QLatin1String("xcb")))
        return xDisplayAsked.isEmpty() ? QStringLiteral("X11, but DISPLAY is not set")
                                       : QStringLiteral("the X11 display \"%1\"").arg(xDisplayAsked);
    if (plugin.startsWith(QLatin1String("wayland"))) {
        const QString socket = qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0"));
        const QString why = waylandSaid.isEmpty() ? QString() : QLatin1String(": ") + waylandSaid;
        return QStringLiteral("the Wayland display \"%1\"%2").arg(socket, why);
    }
    return QStringLiteral("Qt's \"%1\" platform").arg(plugin);
}

QString whatWasTried()
{
    QStringList tried;
    for (const QString &plugin : pluginsTried)
        tried << describe(plugin);
    for (const QString &plugin : pluginsMissing)
        tried << QStringLiteral("Qt's \"%1\" platform, which is not installed").arg(plugin);
    if (tried.isEmpty())
        tried << describe(platformAsked);
    return tried.join(QStringLiteral(" and "));
}

// Hands Qt's handler back its place and the messages held meanwhile.
void passOnHeld()
{
    if (!watching)
        return;
    watching = false;
    qInstallMessageHandler(qtHandler);
    for (const HeldMessage &message : qAsConst(held)) {
        const QMessageLogContext context(message.file.isNull() ? nullptr : message.file.constData(), message.line,
                                         message.function.isNull() ? nullptr : message.function.constData(),
                                         message.category.isNull() ? nullptr : message.category.constData());
        qtHandler(message.type, context, message.text);
    }
    held.clear();
}

void watch(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    static const QRegularExpression notLoaded(QStringLiteral("Could not load the Qt platform plugin \"([^\"]+)\""));
    static const QRegularExpression notFound(QStringLiteral("Could not find the Qt platform plugin \"([^\"]+)\""));
    if (watching && type == QtFatalMsg && text.contains(QLatin1String("platform plugin"))) {
        std::fprintf(stderr, "karnveldt: no display could be opened: tried %s\n", qPrintable(whatWasTried()));
        std::fflush(stdout);
        std::fflush(stderr);
        // Qt is half set up: nothing of it is safe to tear down.
        _exit(1);
    }
    if (type == QtFatalMsg) {
        passOnHeld();
        qtHandler(type, context, text);
        return;
    }
    const QRegularExpressionMatch loadFailure = notLoaded.match(text);
    if (loadFailure.hasMatch())
        pluginsTried << loadFailure.captured(1);
    const QRegularExpressionMatch findFailure = notFound.match(text);
    if (findFailure.hasMatch())
        pluginsMissing << findFailure.captured(1);
    held.append({type, context.file, context.line, context.function, context.category, text});
}

// libwayland writes its errors straight to stderr, past Qt's handler (no
// XDG_RUNTIME_DIR, say). Its handler is set in the library the Wayland plugin
// is about to load, without linking the show to it: while the display opens,
// its lines are held like Qt's, and the last one gives the reason.
void holdWaylandLine(const char *format, va_list arguments)
{
    QString text = QString::vasprintf(format, arguments).trimmed();
    if (!watching) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    held.append({QtWarningMsg, QByteArray(), 0, QByteArray(), QByteArray(), text});
    const QLatin1String error("error: ");
    if (text.startsWith(error))
        text.remove(0, error.size());
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    waylandSaid = text;
}

void holdWaylandLines()
{
    using LineHandler = void (*)(const char *, va_list);
    void *library = dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return;  // nor can the plugin open a Wayland display
    if (auto setHandler = reinterpret_cast<void (*)(LineHandler)>(dlsym(library, "wl_log_set_handler_client")))
        setHandler(holdWaylandLine);
}

} // namespace

DisplayOpening::DisplayOpening(const QStringList &arguments)
{
    platformAsked = argumentAfter(arguments, QStringLiteral("platform"));
    if (platformAsked.isEmpty())
        platformAsked = qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("xcb"));
    xDisplayAsked = argumentAfter(arguments, QStringLiteral("display"));
    if (xDisplayAsked.isEmpty())
        xDisplayAsked = qEnvironmentVariable("DISPLAY");
    watching = true;
    qtHandler = qInstallMessageHandler(watch);
    if (platformAsked.contains(QLatin1String("wayland")))
        holdWaylandLines();
}

void DisplayOpening::opened()
{
    passOnHeld();
}
