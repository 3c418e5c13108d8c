#include "window.h"

#include "painttrace.h"
#include "showclock.h"
#include "stepschedule.h"
#include "steptiming.h"
#include "xmpdevice.h"

#include <QExposeEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <cmath>
#include <cstring>
#include <ctime>

Window::Window(XmpDevice *device, ShowClock *clock, int rate)
    : QWindow(), store(this), device(device), clock(clock), rate(rate)
{
    setSurfaceType(QSurface::RasterSurface);
    displayPacesPaints = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    setClock(clock);
    composingTimer.setSingleShot(true);
    composingTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&composingTimer, &QTimer::timeout, [this] { composeWhenDue(); });
}

void Window::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        QCoreApplication::quit();
}

bool Window::startAt(qint64 start, QSize frameSize)
{
    for (qint64 step = 0; stepSample(step, rate) < start; ++step) {
        if (!device->skipTo(stepSample(step, rate)))
            return false;
        scene.advance(recordForStep(step), frameSize);
        lastStep = step;
    }
    return device->skipTo(start);
}

// The surface keeps each frame for the next to change, but where frames are sent whole.
void Window::setClock(ShowClock *clock)
{
    this->clock = clock;
    scene.setKeptTarget(!sendsWholeFrames());
}

// Every paint of the literal timing paints and sends the whole frame, and so
// does every paint the display paces, since it may hand out another buffer
// each time.
bool Window::sendsWholeFrames() const
{
    return !clock || displayPacesPaints;
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
    if (!isExposed())
        return;
    const QRect whole(QPoint(0, 0), size());
    if (store.size() != size()) {
        store.resize(size());
        displayLacksSurface = true;
        scene.forgetTarget();
    }
    // The whole surface, so that it waits until the display has read what
    // was sent last.
    store.beginPaint(whole);
    QRegion changed;
    if (!clock) {
        changed = paintLiteralStep();
    } else {
        // A paint the window did not ask for (an expose), or one the display paces.
        if (composed.step < 0)
            composeDueSteps();
        if (composed.step >= 0)
            changed = showComposed();
    }
    store.endPaint();
    store.flush(displayLacksSurface || sendsWholeFrames() ? QRegion(whole) : changed);
    displayLacksSurface = false;
    if (clock)
        askForNextPaint();
    else
        requestUpdate();
}

// Runs the steps due, or else the next one ahead, and composes the last.
void Window::composeDueSteps()
{
    const qint64 heard = clock->heardSample();
    StepRange steps = stepsToRun(lastStep, heard + aimAhead(), rate);
    // Nothing due yet: the next step, composed ahead. A paint that comes late
    // shows what is due at once rather than hold a step further on.
    const bool ahead = steps.isEmpty();
    if (ahead)
        steps.last = qMin(stepsToRun(lastStep, heard + aimAhead() + composeAhead(), rate).last, lastStep + 1);
    if (steps.isEmpty())
        return;
    for (qint64 step = steps.first; step < steps.last; ++step)
        scene.advance(recordForStep(step), frameSize());
    composed.size = frameSize();
    scene.composeFrame(recordForStep(steps.last, &composed.recordSample), composed.size);
    composed.step = lastStep = steps.last;
    composed.heard = heard;
    composed.ahead = ahead;
}

// The composed frame onto the surface, held until its step is due. Returns
// what it changed.
QRegion Window::showComposed()
{
    const QRegion changed = writeComposedFrame(composed.size);
    // The trace pairs the paint with the clock its step was chosen for: for
    // one composed ahead, the moment the step falls due (or the clock's when
    // it was let go, if the clock stood still).
    const qint64 chosenFor = composed.ahead
                                 ? qMin(waitUntilDue(composed.step), stepSample(composed.step, rate) - aimAhead())
                                 : composed.heard;
    if (trace)
        trace->write(composed.recordSample, chosenFor, composed.step);
    composed.step = -1;
    return changed;
}

// A frame composed before its step is due is held back until then, so that
// frames reach the display at the steps' even pace however long each took.
// A clock that stands still (a stalled server) holds it twice the composing
// time at most. Returns the sample heard when it is let go.
qint64 Window::waitUntilDue(qint64 step)
{
    qint64 heldSamples = 0;
    for (;;) {
        const qint64 heard = clock->heardSample();
        const qint64 samplesToGo = qMin(stepSample(step, rate) - heard - aimAhead(), 2 * stepComposeAhead() - heldSamples);
        if (samplesToGo <= 0)
            return heard;
        const timespec wait{0, long(samplesToGo * 1000000000 / songSampleRate)};
        nanosleep(&wait, nullptr);
        heldSamples += samplesToGo;
    }
}

QRegion Window::paintLiteralStep()
{
    qint64 recordSample = -1;
    scene.composeFrame(device->recordAt(device->handedSample() - 1, &recordSample), frameSize());
    const QRegion changed = writeComposedFrame(frameSize());
    ++lastStep;
    if (trace)
        trace->write(recordSample, device->handedSample(), lastStep);
    return changed;
}

// The next frame is composed when its step is nearly due (none sooner: it
// would have nothing new to show), and then painted. It is composed outside
// the paint, since a paint first waits until the display has read the last
// frame out of the window's surface. Where the display paces the paints
// (Wayland answers each with a frame callback), waiting for the step first
// would miss the display's next frame, so a paint is asked for at once and
// composes its own frame.
void Window::askForNextPaint()
{
    if (displayPacesPaints) {
        requestUpdate();
        return;
    }
    const qint64 samplesToGo = samplesToNextComposing();
    composingTimer.start(samplesToGo <= 0 ? 0 : qMax(1, int(std::ceil(samplesToGo * 1000.0 / songSampleRate))));
}

void Window::composeWhenDue()
{
    if (samplesToNextComposing() > 0) {
        askForNextPaint();
        return;
    }
    composeDueSteps();
    paint();
}

qint64 Window::samplesToNextComposing() const
{
    return stepSample(lastStep + 1, rate) - clock->heardSample() - aimAhead() - composeAhead();
}

qint64 Window::aimAhead() const
{
    return stepAimAhead(rate);
}

// Where the display paces the paints, it shows each frame when it is ready
// for one. Past the song's end the clock stands still: nothing is composed
// for a time it will not reach.
qint64 Window::composeAhead() const
{
    const qint64 end = device->endSample();
    if (displayPacesPaints || (end >= 0 && stepSample(lastStep + 1, rate) > end))
        return 0;
    return stepComposeAhead();
}

// Step 0 comes before any sound, with the device's zeroed record, as in the capture.
xmp_frame_info Window::recordForStep(qint64 step, qint64 *startSample) const
{
    if (step > 0)
        return device->recordAt(stepSample(step, rate), startSample);
    xmp_frame_info nothingYet;
    std::memset(&nothingYet, 0, sizeof nothingYet);
    if (startSample)
        *startSample = -1;
    return nothingYet;
}

// Device pixels: at a device pixel ratio other than 1 the effects are laid out
// for the real pixel size, not a scaled-up smaller frame.
QSize Window::frameSize() const
{
    return size() * devicePixelRatio();
}

// The scene's composed frame, of the given size, onto the window's surface;
// through a kept image where the surface is of another size (resized since
// the frame was composed) or cannot be drawn on directly. Returns the part of
// the window it changed, or all of it where frames are sent whole.
QRegion Window::writeComposedFrame(QSize size)
{
    QImage *surface = surfaceToDrawOn(size);
    QImage *target = surface ? surface : &frame;
    if (!surface && frame.size() != size) {
        frame = QImage(size, QImage::Format_RGB32);
        frame.setDevicePixelRatio(devicePixelRatio());
    }
    // One the frame before went elsewhere holds no frame of ours.
    if (target->constBits() != lastTargetBits)
        scene.forgetTarget();
    lastTargetBits = target->constBits();
    const QRect whole(QPoint(0, 0), this->size());
    if (surface) {
        std::vector<RowSpan> *changes = sendsWholeFrames() ? nullptr : &changedRows;
        if (!scene.presentFrame(*surface, changes))
            return QRegion();
        return changes ? QRegion(changedRectangle()) : QRegion(whole);
    }
    if (!scene.presentFrame(frame))
        return QRegion();
    QPainter(store.paintDevice()).drawImage(QPoint(0, 0), frame);
    return whole;
}

// What the last frame changed on the surface, in the window's coordinates:
// one rectangle around it all, so that the display takes the frame in one
// request and no one looking at it sees part of a frame.
QRect Window::changedRectangle() const
{
    int top = -1, bottom = -1;
    RowSpan columns;
    for (size_t y = 0; y < changedRows.size(); ++y) {
        if (changedRows[y].isEmpty())
            continue;
        if (top < 0)
            top = int(y);
        bottom = int(y) + 1;
        columns = columns.united(changedRows[y]);
    }
    if (top < 0)
        return QRect();
    const qreal ratio = devicePixelRatio();
    const QPoint topLeft(int(std::floor(columns.left / ratio)), int(std::floor(top / ratio)));
    const QPoint bottomRight(int(std::ceil(columns.right / ratio)), int(std::ceil(bottom / ratio)));
    return QRect(topLeft, bottomRight - QPoint(1, 1));
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
