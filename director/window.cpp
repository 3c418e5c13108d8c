#include "window.h"

#include "painttrace.h"
#include "showclock.h"
#include "stepschedule.h"
#include "steptiming.h"
#include "xmpdevice.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <cmath>
#include <cstring>
#include <ctime>

Window::Window(XmpDevice *device, ShowClock *clock, int rate)
    : QRasterWindow(), device(device), clock(clock), rate(rate)
{
    displayPacesPaints = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    nextStep.setSingleShot(true);
    nextStep.setTimerType(Qt::PreciseTimer);
    QObject::connect(&nextStep, &QTimer::timeout, [this] { askForNextPaint(); });
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

void Window::paintEvent(QPaintEvent *)
{
    if (clock)
        paintDueSteps();
    else
        paintLiteralStep();
}

void Window::paintDueSteps()
{
    const qint64 heard = clock->heardSample();
    StepRange steps = stepsToRun(lastStep, heard + aimAhead(), rate);
    // Nothing due yet: the next step, composed ahead. A paint that comes late
    // shows what is due at once rather than hold a step further on.
    const bool ahead = steps.isEmpty();
    if (ahead)
        steps.last = qMin(stepsToRun(lastStep, heard + aimAhead() + composeAhead(), rate).last, lastStep + 1);
    if (!steps.isEmpty()) {
        for (qint64 step = steps.first; step < steps.last; ++step)
            scene.advance(recordForStep(step), frameSize());
        qint64 recordSample = -1;
        paintFrame(recordForStep(steps.last, &recordSample));
        lastStep = steps.last;
        // The trace pairs the paint with the clock its step was chosen for:
        // for one composed ahead, the moment the step falls due (or the clock's
        // when it was let go, if the clock stood still).
        const qint64 chosenFor = ahead ? qMin(waitUntilDue(lastStep), stepSample(lastStep, rate) - aimAhead()) : heard;
        if (trace)
            trace->write(recordSample, chosenFor, lastStep);
    }
    askForNextPaint();
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

void Window::paintLiteralStep()
{
    qint64 recordSample = -1;
    paintFrame(device->recordAt(device->handedSample() - 1, &recordSample));
    ++lastStep;
    if (trace)
        trace->write(recordSample, device->handedSample(), lastStep);
    update();
}

// A paint as soon as the next step is due by the clock, and none before: it
// would have nothing new to show. Where the display paces the paints (Wayland
// answers each with a frame callback), waiting for the step first would miss
// the display's next frame, so a paint is asked for at once.
void Window::askForNextPaint()
{
    const qint64 samplesToGo = stepSample(lastStep + 1, rate) - clock->heardSample() - aimAhead() - composeAhead();
    if (samplesToGo <= 0 || displayPacesPaints) {
        update();
        return;
    }
    const int milliseconds = int(std::ceil(samplesToGo * 1000.0 / 44100));
    nextStep.start(qMax(1, milliseconds));
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

void Window::paintFrame(const xmp_frame_info &record)
{
    const QSize size = frameSize();
    if (QImage *surface = surfaceToDrawOn(size)) {
        scene.renderFrame(*surface, record);
        return;
    }
    if (frame.size() != size) {
        frame = QImage(size, QImage::Format_RGB32);
        frame.setDevicePixelRatio(devicePixelRatio());
    }
    scene.renderFrame(frame, record);
    QPainter(this).drawImage(QPoint(0, 0), frame);
}

// The backing store's own image, when the frame can be written straight into
// it: 32 bits a pixel, of the frame's size in device pixels.
QImage *Window::surfaceToDrawOn(QSize size)
{
    QPoint offset;
    QPaintDevice *target = redirected(&offset);
    if (!target || target->devType() != QInternal::Image || !offset.isNull())
        return nullptr;
    QImage *surface = static_cast<QImage *>(target);
    const bool rgb32 = surface->format() == QImage::Format_RGB32
                       || surface->format() == QImage::Format_ARGB32_Premultiplied;
    if (!rgb32 || surface->size() != size)
        return nullptr;
    return surface;
}
