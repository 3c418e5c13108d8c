#include "window.h"

#include "monotonic.h"
#include "painttrace.h"
#include "showclock.h"
#include "waylandpresentation.h"
#include "x11presenter.h"
#include "xmpdevice.h"

#include <QExposeEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>

namespace {
// A display that has not answered for this long has stopped answering.
constexpr int displayPatienceMs = 1000;
}

Window::Window(XmpDevice *device, ShowClock *clock, int rate)
    : QWindow(), steps(device, rate), device(device), clock(clock), rate(rate), store(this), refreshes(rate), stepPacer(device, rate)
{
    setSurfaceType(QSurface::RasterSurface);
    composingTimer.setSingleShot(true);
    composingTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&composingTimer, &QTimer::timeout, [this] { composeWhenDue(); });
    displayWatch.setSingleShot(true);
    displayWatch.setInterval(displayPatienceMs);
    QObject::connect(&displayWatch, &QTimer::timeout, [this] {
        paceBySteps(QStringLiteral("the display stopped answering"));
        paint();
    });
}

// Frames the display never spoke of are traced all the same.
Window::~Window()
{
    refreshes.finish(trace);
}

void Window::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        QCoreApplication::quit();
}

bool Window::event(QEvent *event)
{
    if (event->type() != QEvent::UpdateRequest)
        return QWindow::event(event);
    paint();
    return true;
}

void Window::exposeEvent(QExposeEvent *)
{
    if (!isExposed())
        return;
    displayLacksSurface = true;
    paint();
}

void Window::paint()
{
    if (!isExposed() || awaitingDisplay)
        return;
    if (pacing == Pacing::Undecided)
        choosePacing();
    if (pacing == Pacing::Present && !presenter->idle())
        return;  // it paints when the display has room for a frame
    Frame frame = nextFrame();
    if (nothingNew(frame)) {
        waitForRefresh(frame);
        return;
    }
    compose(frame);
    send(frame, draw(frame));
    askForNextFrame();
}

void Window::choosePacing()
{
    QString why;
    if (!clock) {
        pacing = Pacing::Literal;
    } else if (stepPacingAsked) {
        paceBySteps(QStringLiteral("asked for"));
        return;
    } else if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        pacing = Pacing::FrameCallbacks;
        presentation = WaylandPresentation::open(this, &why);
        if (presentation)
            presentation->onFeedback = [this](const PresentFeedback &said) { heard(said); };
    } else if ((presenter = X11Presenter::open(this, &why))) {
        pacing = Pacing::Present;
        presenter->onFeedback = [this](const PresentFeedback &said) { heard(said); };
        presenter->onIdle = [this] { paint(); };
        // Not from within its own call: the presenter goes.
        presenter->onFailed = [this] {
            QTimer::singleShot(0, this, [this] {
                paceBySteps(QStringLiteral("the X server refused the Present path"));
                paint();
            });
        };
    } else {
        paceBySteps(why);
        return;
    }
    // Frames sent whole need not be compared with the one before.
    steps.scene.setKeptTarget(!sendsWholeFrames());
    if (!trace)
        return;
    if (pacing == Pacing::Literal)
        trace->note(QStringLiteral("pacing: literal"));
    else if (pacing == Pacing::Present)
        trace->note(QStringLiteral("pacing: the display's refreshes (X11 Present)"));
    else if (presentation)
        trace->note(QStringLiteral("pacing: the compositor's frame callbacks, timed by its presentation feedback"));
    else
        trace->note(QStringLiteral("pacing: the compositor's frame callbacks alone (%1)").arg(why));
}

void Window::paceBySteps(const QString &why)
{
    pacing = Pacing::Steps;
    presenter.reset();
    awaitingDisplay = false;
    displayWatch.stop();
    displayLacksSurface = true;
    steps.scene.setKeptTarget(true);
    steps.scene.forgetTarget();
    if (trace)
        trace->note(QStringLiteral("pacing: by the steps alone (%1)").arg(why));
}

// Every literal paint sends the whole frame, and so does every paint the
// compositor paces, since it may hand out another buffer each time.
bool Window::sendsWholeFrames() const
{
    return pacing == Pacing::Literal || pacing == Pacing::FrameCallbacks;
}

// The step to show and the moment it is for. Paced by the display: the step
// heard when the refresh aimed at lights it (the refresh pacer's choice). By
// the steps, the step pacer's.
Window::Frame Window::aimFrame(qint64 notBeforeNs)
{
    Frame frame;
    frame.startNs = monotonicNanoseconds();
    frame.size = frameSize();
    if (pacing == Pacing::Literal) {
        frame.step = steps.last() + 1;
        return frame;
    }
    if (pacing != Pacing::Steps) {
        if (presentation)
            presentation->dispatch();
        frame.aim = refreshes.aim(*clock, notBeforeNs);
        // No step past the music the device has played out: its record is not there yet.
        const qint64 played = stepDueAt(device->handedSample() - 1, rate);
        frame.chosen.steps = stepsToRun(steps.last(), stepSample(qMin(frame.aim.step, played), rate), rate);
        frame.chosen.heard = frame.aim.heard;
        frame.step = frame.chosen.steps.last;
        return frame;
    }
    frame.chosen = stepPacer.choose(*clock, steps.last());
    frame.step = frame.chosen.steps.isEmpty() ? -1 : frame.chosen.steps.last;
    return frame;
}

// The frame to make now. With X11's Present, for a refresh after those the
// frames sent wait for, and a refresh that would bring no new step is passed
// over for the one after it.
Window::Frame Window::nextFrame()
{
    Frame frame = aimFrame(afterFramesSent());
    if (pacing == Pacing::Present && nothingNew(frame) && frame.aim.refresh.litNs >= 0)
        return aimFrame(frame.aim.refresh.litNs + refreshes.frameClock().periodNs() / 2);
    return frame;
}

qint64 Window::afterFramesSent() const
{
    const FrameClock &display = refreshes.frameClock();
    if (pacing != Pacing::Present || lastAimedNs < 0 || !display.knowsDisplay())
        return -1;
    return lastAimedNs + display.periodNs() / 2;
}

// A refresh that would show the step shown already gets nothing, unless the
// display lost the window's contents.
bool Window::nothingNew(const Frame &frame) const
{
    return !frame.composedNew && frame.step <= steps.last() && !displayLacksSurface;
}

void Window::waitForRefresh(const Frame &frame)
{
    if (pacing == Pacing::Present) {
        const qint64 counter = frame.aim.refresh.counter >= 0 ? frame.aim.refresh.counter : refreshes.nextCounter();
        awaitedSerial = refreshes.asked(frame.aim);
        presenter->notifyAt(awaitedSerial, counter);
        lastAimedNs = frame.aim.refresh.litNs;
        awaitingDisplay = true;
        displayWatch.start();
        return;
    }
    askForNextFrame();
}

void Window::compose(Frame &frame)
{
    if (frame.composedNew || frame.step <= steps.last())
        return;  // composed ahead, or shown again for a display that lost it
    const qint64 start = monotonicNanoseconds();
    frame.composedNew = true;
    frame.recordSample = pacing == Pacing::Literal ? steps.composeLiteral(frame.size)
                                                   : steps.compose(frame.chosen.steps, frame.size);
    frame.workNs += monotonicNanoseconds() - start;
}

// The frame onto the surface the display reads: the presenter's image, or
// the window's backing store. Returns what it changed.
QRegion Window::draw(Frame &frame)
{
    if (pacing == Pacing::Present) {
        // The image holds what the window shows: a frame not new needs no writing.
        const qint64 start = monotonicNanoseconds();
        QImage *image = presenter->image(frame.size);
        const QRegion changed = frame.composedNew ? writeFrame(*image) : QRegion();
        frame.workNs += monotonicNanoseconds() - start;
        return displayLacksSurface ? QRegion(QRect(QPoint(0, 0), frame.size)) : changed;
    }
    if (store.size() != size()) {
        store.resize(size());
        displayLacksSurface = true;
        steps.scene.forgetTarget();
    }
    // The whole surface, so that it waits until the display has read what
    // was sent last.
    const QRect whole(QPoint(0, 0), size());
    store.beginPaint(whole);
    if (!frame.composedNew)
        return whole;  // what the store holds goes again
    // Through a kept image where the surface is of another size (resized
    // since the frame was composed) or cannot be drawn on directly.
    if (QImage *surface = surfaceToDrawOn(frame.size)) {
        const QRegion changed = writeFrame(*surface);
        return sendsWholeFrames() ? QRegion(whole) : changed;
    }
    if (kept.size() != frame.size) {
        kept = QImage(frame.size, QImage::Format_RGB32);
        kept.setDevicePixelRatio(devicePixelRatio());
    }
    writeFrame(kept);
    QPainter(store.paintDevice()).drawImage(QPoint(0, 0), kept);
    return whole;
}

// The frame to the display, at its moment: paced by the steps, one composed
// ahead is held until its step is due; paced by the display, at the refresh
// it was aimed at. The trace pairs each frame with the clock its step was
// chosen for: for one composed ahead, the moment the step falls due (or the
// clock's when it was let go, if the clock stood still).
void Window::send(const Frame &frame, const QRegion &changed)
{
    if (pacing == Pacing::Present) {
        awaitedSerial = refreshes.drawn(frame.aim, frame.recordSample, frame.startNs, frame.workNs);
        presenter->present(awaitedSerial, qMax<qint64>(frame.aim.refresh.counter, 0), changed);
        // Until the display is known, one frame at a time.
        lastAimedNs = frame.aim.refresh.litNs;
        awaitingDisplay = lastAimedNs < 0;
        displayWatch.start();
        displayLacksSurface = false;
        return;
    }
    const QRect whole(QPoint(0, 0), size());
    if (pacing == Pacing::FrameCallbacks && presentation)
        presentation->requestFeedback(refreshes.drawn(frame.aim, frame.recordSample, frame.startNs, frame.workNs));
    else if (trace && frame.composedNew && pacing == Pacing::Steps)
        trace->write(frame.recordSample, stepPacer.release(*clock, frame.chosen), frame.step);
    else if (trace && frame.composedNew)
        trace->write(frame.recordSample, pacing == Pacing::Literal ? device->handedSample() : frame.chosen.heard,
                     frame.step);
    store.endPaint();
    store.flush(displayLacksSurface ? QRegion(whole) : changed);
    displayLacksSurface = false;
}

// Paced by the steps, the next frame is composed when its step is nearly due
// (none sooner: it would have nothing new to show). The compositor paces its
// own paints, answering each with a frame callback; the literal timing asks
// at once. With X11's Present the next frame is made when the presenter has
// room for it (while the one just sent waits for its refresh).
void Window::askForNextFrame()
{
    if (pacing == Pacing::Present)
        return;
    if (pacing != Pacing::Steps) {
        requestUpdate();
        return;
    }
    composingTimer.start(stepPacer.msToNextComposing(*clock, steps.last()));
}

void Window::heard(const PresentFeedback &said)
{
    refreshes.feedback(said, trace);

    if (pacing != Pacing::Present || said.serial != awaitedSerial)
        return;
    displayWatch.stop();
    if (!awaitingDisplay)
        return;
    awaitingDisplay = false;
    paint();
}

void Window::composeWhenDue()
{
    const int ms = stepPacer.msToNextComposing(*clock, steps.last());
    if (ms > 0)
        composingTimer.start(ms);
    else
        paint();
}

// Device pixels: at a device pixel ratio other than 1 the effects are laid out
// for the real pixel size, not a scaled-up smaller frame.
QSize Window::frameSize() const
{
    return size() * devicePixelRatio();
}

// The scene's composed frame onto target. Returns the part of the window it
// changed (in device pixels where Present takes it), all of it where frames
// are sent whole.
QRegion Window::writeFrame(QImage &target)
{
    bool lost = false;
    const qreal ratio = pacing == Pacing::Present ? 1.0 : devicePixelRatio();
    const QRect changed = writer.write(target, sendsWholeFrames(), ratio, &lost);
    // The presenter's image was remade: the window gets all of the new one.
    displayLacksSurface = displayLacksSurface || (lost && pacing == Pacing::Present);
    return QRegion(changed);
}

// The backing store's own image, when the frame can be written straight into
// it: 32 bits a pixel, of the frame's size in device pixels.
QImage *Window::surfaceToDrawOn(QSize size)
{
    QPaintDevice *target = store.paintDevice();
    if (!target || target->devType() != QInternal::Image)
        return nullptr;
    QImage *surface = static_cast<QImage *>(target);
    const bool rgb32 = surface->format() == QImage::Format_RGB32
                       || surface->format() == QImage::Format_ARGB32_Premultiplied;
    if (!rgb32 || surface->size() != size)
        return nullptr;
    return surface;
}
