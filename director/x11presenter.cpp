#include "x11presenter.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#include <xcb/present.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

namespace {

// Whether the server has the extension, at least at the version asked.
template <typename Reply>
bool hasVersion(Reply *reply, uint32_t major, uint32_t minor)
{
    const bool enough = reply && (reply->major_version > major
                                  || (reply->major_version == major && reply->minor_version >= minor));
    free(reply);
    return enough;
}

} // namespace

std::unique_ptr<X11Presenter> X11Presenter::open(QWindow *window, QString *why)
{
    const auto refuse = [why](const QString &reason) {
        *why = reason;
        return nullptr;
    };
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return refuse(QStringLiteral("the display is not X11"));
    std::unique_ptr<X11Presenter> p(new X11Presenter);
    // The server named by DISPLAY, as Qt's is.
    p->connection = xcb_connect(nullptr, nullptr);
    xcb_connection_t *c = p->connection;
    if (xcb_connection_has_error(c))
        return refuse(QStringLiteral("cannot connect to the X server"));
    const std::pair<xcb_extension_t *, const char *> needed[] = {
        {&xcb_present_id, "Present"}, {&xcb_shm_id, "MIT-SHM"}, {&xcb_xfixes_id, "XFIXES"}};
    for (const auto &extension : needed) {
        const xcb_query_extension_reply_t *reply = xcb_get_extension_data(c, extension.first);
        if (!reply || !reply->present)
            return refuse(QStringLiteral("the X server has no %1 extension").arg(QLatin1String(extension.second)));
    }
    // Each extension must be told the version spoken before it is used.
    if (!hasVersion(xcb_present_query_version_reply(c, xcb_present_query_version(c, 1, 0), nullptr), 1, 0))
        return refuse(QStringLiteral("the X server's Present extension does not answer"));
    if (!hasVersion(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 2, 0), nullptr), 2, 0))
        return refuse(QStringLiteral("the X server's XFIXES extension is older than 2.0"));
    if (!hasVersion(xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr), 1, 2))
        return refuse(QStringLiteral("the X server's MIT-SHM cannot share memory passed as a file"));
    p->shmCompletion = xcb_get_extension_data(c, &xcb_shm_id)->first_event + XCB_SHM_COMPLETION;

    p->window = quint32(window->winId());
    xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, p->window), nullptr);
    if (!geometry)
        return refuse(QStringLiteral("the X server does not know the window"));
    p->depth = geometry->depth;
    free(geometry);
    if (p->depth != 24 && p->depth != 32)
        return refuse(QStringLiteral("the window's depth is %1 bits, not 24 or 32").arg(p->depth));
    p->context = xcb_generate_id(c);
    const uint32_t noExposures = 0;
    xcb_create_gc(c, p->context, p->window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);

    p->eventId = xcb_generate_id(c);
    const xcb_void_cookie_t select = xcb_present_select_input_checked(
        c, p->eventId, p->window, XCB_PRESENT_EVENT_MASK_COMPLETE_NOTIFY | XCB_PRESENT_EVENT_MASK_IDLE_NOTIFY);
    if (!p->check(select.sequence, "asking for Present's events", why))
        return nullptr;
    p->presentEvents = xcb_register_for_special_xge(c, &xcb_present_id, p->eventId, nullptr);
    p->region = xcb_generate_id(c);
    xcb_xfixes_create_region(c, p->region, 0, nullptr);
    if (!p->makePicture(window->size() * window->devicePixelRatio(), why))
        return nullptr;

    X11Presenter *self = p.get();
    p->reader.reset(new QSocketNotifier(xcb_get_file_descriptor(c), QSocketNotifier::Read));
    QObject::connect(p->reader.get(), &QSocketNotifier::activated, [self] { self->readEvents(); });
    // Answers read while waiting for the replies above may have brought events.
    self->readEvents();
    return p;
}

X11Presenter::~X11Presenter()
{
    reader.reset();
    // The server frees the pixmaps, the region and its hold on the memory when
    // the connection closes.
    if (presentEvents)
        xcb_unregister_for_special_event(connection, presentEvents);
    if (connection)
        xcb_disconnect(connection);
    if (memory)
        munmap(memory, memoryBytes);
}

QImage *X11Presenter::image(QSize size)
{
    QString why;
    if (!broken && size != picture.size() && !makePicture(size, &why))
        fail(why);
    return broken ? nullptr : &picture;
}

bool X11Presenter::makePicture(QSize size, QString *why)
{
    freePicture();
    const int width = qMax(1, size.width()), height = qMax(1, size.height());
    memoryBytes = size_t(width) * size_t(height) * 4;
    // A file the server maps too: it cannot be passed to a server elsewhere,
    // where the pictures would have to travel as requests.
    const int fd = memfd_create("karnveldt-picture", MFD_CLOEXEC);
    void *mapped = fd < 0 || ftruncate(fd, off_t(memoryBytes)) != 0
                       ? MAP_FAILED
                       : mmap(nullptr, memoryBytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
    if (mapped == MAP_FAILED) {
        if (fd >= 0)
            close(fd);
        *why = QStringLiteral("no memory to share with the X server");
        return false;
    }
    memory = static_cast<uchar *>(mapped);
    segment = xcb_generate_id(connection);
    // The connection sends the file and closes it.
    const xcb_void_cookie_t attach = xcb_shm_attach_fd_checked(connection, segment, fd, 0);
    if (!check(attach.sequence, "sharing memory with the X server", why)) {
        segment = 0;
        return false;
    }
    for (quint32 &pixmap : pixmaps) {
        pixmap = xcb_generate_id(connection);
        const xcb_void_cookie_t create = xcb_create_pixmap_checked(connection, depth, pixmap, window,
                                                                   uint16_t(width), uint16_t(height));
        if (!check(create.sequence, "making a pixmap", why)) {
            pixmap = 0;
            return false;
        }
    }
    picture = QImage(memory, width, height, width * 4, QImage::Format_RGB32);
    pictureCopied = true;
    std::fill(std::begin(pixmapIdle), std::end(pixmapIdle), true);
    std::fill(std::begin(pixmapHolds), std::end(pixmapHolds), false);
    return true;
}

void X11Presenter::freePicture()
{
    picture = QImage();
    for (quint32 &pixmap : pixmaps) {
        if (pixmap)
            xcb_free_pixmap(connection, pixmap);
        pixmap = 0;
    }
    if (segment)
        xcb_shm_detach(connection, segment);
    segment = 0;
    if (memory)
        munmap(memory, memoryBytes);
    memory = nullptr;
}

bool X11Presenter::check(unsigned int sequence, const char *what, QString *why)
{
    xcb_generic_error_t *error = xcb_request_check(connection, xcb_void_cookie_t{sequence});
    if (!error && !xcb_connection_has_error(connection))
        return true;
    *why = error ? QStringLiteral("the X server refused %1 (error %2)").arg(QLatin1String(what)).arg(error->error_code)
                 : QStringLiteral("the connection to the X server broke while %1").arg(QLatin1String(what));
    free(error);
    return false;
}

void X11Presenter::present(qint64 serial, qint64 targetCounter, const QRegion &changed)
{
    if (broken)
        return;
    const int turn = next;
    next = 1 - next;
    // The pixmap holds the picture before the last one: it differs from this
    // one where the last one or this one changed.
    const QRect copied = pixmapHolds[turn] ? (changed | lastChanged).boundingRect() : picture.rect();
    lastChanged = changed;
    pixmapHolds[turn] = true;
    if (!copied.isEmpty()) {
        pictureCopied = false;
        xcb_shm_put_image(connection, pixmaps[turn], context, uint16_t(picture.width()), uint16_t(picture.height()),
                          uint16_t(copied.x()), uint16_t(copied.y()), uint16_t(copied.width()),
                          uint16_t(copied.height()), int16_t(copied.x()), int16_t(copied.y()), depth,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, 1, segment, 0);
    }
    std::vector<xcb_rectangle_t> rectangles;
    for (const QRect &r : changed)
        rectangles.push_back({int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height())});
    xcb_xfixes_set_region(connection, region, uint32_t(rectangles.size()), rectangles.data());
    lastSerial = serial;
    pixmapIdle[turn] = false;
    // Synchronised to the refresh (no tearing); the server keeps the window's
    // picture itself, so nothing need be valid outside what changed.
    xcb_present_pixmap(connection, window, pixmaps[turn], uint32_t(serial), XCB_NONE, region, 0, 0, XCB_NONE,
                       XCB_NONE, XCB_NONE, XCB_PRESENT_OPTION_NONE, uint64_t(qMax<qint64>(0, targetCounter)), 0, 0,
                       0, nullptr);
    send();
}

void X11Presenter::notifyAt(qint64 serial, qint64 targetCounter)
{
    if (broken)
        return;
    lastSerial = serial;
    xcb_present_notify_msc(connection, window, uint32_t(serial), uint64_t(qMax<qint64>(0, targetCounter)), 0, 0);
    send();
}

// Writing may read what the server has sent meanwhile into the connection's
// queue, where the socket's notifier no longer sees it: it is read at once
// when back in the event loop.
void X11Presenter::send()
{
    xcb_flush(connection);
    QMetaObject::invokeMethod(reader.get(), [this] { readEvents(); }, Qt::QueuedConnection);
}

qint64 X11Presenter::fullSerial(quint32 serial) const
{
    // Serials travel as 32 bits; the one answered is at most a few behind.
    return lastSerial - qint32(quint32(lastSerial) - serial);
}

// Only the Present events' own poll reads the socket: what it reads goes to
// their queue or the connection's, and the connection's is then emptied
// without reading more, so that nothing waits in a queue once the socket's
// notifier has nothing more to say.
void X11Presenter::readEvents()
{
    while (!broken) {
        if (xcb_generic_event_t *event = xcb_poll_for_special_event(connection, presentEvents)) {
            handle(event);
            free(event);
        } else if (xcb_generic_event_t *other = xcb_poll_for_queued_event(connection)) {
            // The copies' completions, and the errors of requests not checked.
            const auto *error = reinterpret_cast<xcb_generic_error_t *>(other);
            if (error->response_type == 0)
                fail(QStringLiteral("the X server refused a request (error %1, request %2.%3)")
                         .arg(error->error_code).arg(error->major_code).arg(error->minor_code));
            // A completion for a picture since remade says nothing of this one.
            const bool copied = (other->response_type & 0x7f) == shmCompletion
                                && reinterpret_cast<xcb_shm_completion_event_t *>(other)->shmseg == segment;
            free(other);
            if (copied && !pictureCopied) {
                pictureCopied = true;
                becameIdle();
            }
        } else {
            break;
        }
    }
    if (xcb_connection_has_error(connection))
        fail(QStringLiteral("the connection to the X server broke"));
}

void X11Presenter::handle(const xcb_generic_event_t *event)
{
    const auto *generic = reinterpret_cast<const xcb_present_generic_event_t *>(event);
    if (generic->evtype == XCB_PRESENT_EVENT_COMPLETE_NOTIFY) {
        const auto *complete = reinterpret_cast<const xcb_present_complete_notify_event_t *>(event);
        PresentFeedback feedback;
        feedback.serial = fullSerial(complete->serial);
        feedback.frame = complete->kind == XCB_PRESENT_COMPLETE_KIND_PIXMAP;
        feedback.discarded = complete->mode == XCB_PRESENT_COMPLETE_MODE_SKIP;
        // Present's UST is CLOCK_MONOTONIC in microseconds.
        feedback.litNs = feedback.discarded ? -1 : qint64(complete->ust) * 1000;
        feedback.counter = qint64(complete->msc);
        if (onFeedback)
            onFeedback(feedback);
    } else if (generic->evtype == XCB_PRESENT_EVENT_IDLE_NOTIFY) {
        const auto *idleEvent = reinterpret_cast<const xcb_present_idle_notify_event_t *>(event);
        for (int turn = 0; turn < 2; ++turn) {
            if (idleEvent->pixmap == pixmaps[turn] && !pixmapIdle[turn]) {
                pixmapIdle[turn] = true;
                becameIdle();
            }
        }
    }
}

void X11Presenter::becameIdle()
{
    if (idle() && onIdle)
        onIdle();
}

void X11Presenter::fail(const QString &reason)
{
    if (broken)
        return;
    broken = true;
    if (reader)
        reader->setEnabled(false);
    fprintf(stderr, "karnveldt: X11 presentation stopped: %s\n", qPrintable(reason));
    if (onFailed)
        onFailed();
}
