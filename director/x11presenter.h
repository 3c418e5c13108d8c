// Shows a window's pictures on X11 at the refresh asked for, through the
// Present extension, and says when each was lit. The picture is drawn in
// memory shared with the X server, which the caller keeps equal to the
// picture sent last, so that only what changed need be drawn. The server
// copies it into one of two pixmaps of its own, taking turns: one waits for
// its refresh while the next picture is drawn and sent for the refresh after,
// so that a picture need not be drawn in the moments between two refreshes.
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
    // The server has copied the picture, and the pixmap the next one goes to
    // is no longer waiting for its refresh.
    bool idle() const { return pictureCopied && pixmapIdle[next]; }
    // The server refused a request or the connection broke: the caller
    // shows its pictures some other way.
    bool failed() const { return broken; }

    // Shows the picture at refresh `targetCounter` (0 or one already past:
    // the next refresh), where it differs from the one sent before in
    // `changed` only (device pixels; the whole window after an expose or a
    // resize). Only when idle(); two may wait for their refreshes.
    void present(qint64 serial, qint64 targetCounter, const QRegion &changed);
    // Asks when refresh `targetCounter` is lit, with nothing shown.
    void notifyAt(qint64 serial, qint64 targetCounter);

    // Called on the GUI thread, where they must not destroy the presenter:
    // for every picture lit or dropped and every refresh asked about,
    std::function<void(const PresentFeedback &)> onFeedback;
    // when it is idle() again,
    std::function<void()> onIdle;
    // and once when it fails (no feedback or idleness comes after that).
    std::function<void()> onFailed;

private:
    X11Presenter() = default;
    bool makePicture(QSize size, QString *why);
    void freePicture();
    void becameIdle();
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
    quint8 shmCompletion = 0;  // the event that says a picture was copied
    quint32 segment = 0;
    quint32 context = 0;  // graphics context for the copies
    uchar *memory = nullptr;
    size_t memoryBytes = 0;
    QImage picture;
    bool pictureCopied = true;
    quint32 pixmaps[2] = {};
    bool pixmapIdle[2] = {true, true};
    bool pixmapHolds[2] = {};  // a picture sent before (else nothing)
    int next = 0;              // the pixmap the next picture goes to
    QRegion lastChanged;       // by the picture sent last
    bool broken = false;
    qint64 lastSerial = 0;
};
