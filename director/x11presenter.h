// Shows a window's pictures on X11 at the refresh asked for, through the
// Present extension, and says when each was lit. The picture is drawn in one
// pixmap in memory shared with the X server, which the caller keeps equal to
// what the window shows, so that only what changed need be drawn and copied.
// It talks to the server on a connection of its own, read on the GUI thread.
#pragma once

#include "presentfeedback.h"

#include <QImage>
#include <QRegion>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <xcb/xcb.h>

class QSocketNotifier;
class QWindow;

class X11Presenter {
public:
    // Null, with the reason in *why, where the display lacks what it needs.
    static std::unique_ptr<X11Presenter> open(QWindow *window, QString *why);
    ~X11Presenter();

    // The picture shared with the server, RGB32 of `size` device pixels,
    // remade (contents undefined) when the size changes. Written only while
    // idle(). Null once failed().
    QImage *image(QSize size);
    // The server has done reading the picture.
    bool idle() const { return pictureIdle; }
    // The server refused a request or the connection broke: the caller
    // shows its pictures some other way.
    bool failed() const { return broken; }

    // Shows the picture at refresh `targetCounter` (0 or one already past:
    // the next refresh), copying only `changed` (device pixels; the whole
    // window after an expose or a resize). One at a time: only when idle().
    void present(qint64 serial, qint64 targetCounter, const QRegion &changed);
    // Asks when refresh `targetCounter` is lit, with nothing shown.
    void notifyAt(qint64 serial, qint64 targetCounter);

    // Called on the GUI thread, where they must not destroy the presenter:
    // for every picture lit or dropped and every refresh asked about,
    std::function<void(const PresentFeedback &)> onFeedback;
    // when the picture may be written again,
    std::function<void()> onIdle;
    // and once when it fails (no feedback or idleness comes after that).
    std::function<void()> onFailed;

private:
    X11Presenter() = default;
    bool makePicture(QSize size, QString *why);
    void freePicture();
    bool check(unsigned int sequence, const char *what, QString *why);
    void send();
    void readEvents();
    void handle(const xcb_generic_event_t *event);
    void fail(const QString &reason);
    qint64 fullSerial(quint32 serial) const;

    xcb_connection_t *connection = nullptr;
    xcb_special_event_t *presentEvents = nullptr;
    std::unique_ptr<QSocketNotifier> reader;
    quint32 window = 0;
    quint8 depth = 0;
    quint32 eventId = 0;
    quint32 region = 0;
    quint32 segment = 0;
    quint32 pixmap = 0;
    uchar *memory = nullptr;
    size_t memoryBytes = 0;
    QImage picture;
    bool pictureIdle = true;
    bool broken = false;
    qint64 lastSerial = 0;
};
