// The show's one window. Every step of the show that has come due by the show
// clock runs, each with the music heard at its moment, and the last is shown;
// the next frame is composed a little before the next step falls due, then
// painted and held until then. With the literal timing (no clock) every paint
// is one step, with the record of the frame handed to the output last, and
// asks for the next paint at once, and paints and sends the whole frame.
// Otherwise only what a frame changed is sent to the display, where it keeps
// what it was sent. Escape quits.
#pragma once

#include "scene.h"

#include <QBackingStore>
#include <QImage>
#include <QTimer>
#include <QWindow>
#include <vector>

class PaintTrace;
class ShowClock;
class XmpDevice;

class Window : public QWindow {
public:
    // clock null: the literal timing.
    Window(XmpDevice *device, ShowClock *clock, int rate);

    void setClock(ShowClock *clock);
    void setTrace(PaintTrace *trace) { this->trace = trace; }
    // The effects' gentle look, which does not flash; before the first step.
    void setGentle(bool gentle) { scene.gentle = gentle; }
    // The threads each frame is composed on; 1 until set.
    void setFrameThreads(int threads) { scene.setThreads(threads); }
    // Runs the steps before song sample `start` without pictures, at the
    // given frame size, with the device playing the music up to there unheard.
    // False if the song ends first.
    bool startAt(qint64 start, QSize frameSize);

protected:
    bool event(QEvent *event) override;
    void exposeEvent(QExposeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // One paint: a frame onto the window's surface, and on to the display.
    virtual void paint();

private:
    void composeDueSteps();
    QRegion showComposed();
    void composeWhenDue();
    qint64 samplesToNextComposing() const;
    QRegion paintLiteralStep();
    QRegion writeComposedFrame(QSize size);
    QRect changedRectangle() const;
    void askForNextPaint();
    bool sendsWholeFrames() const;
    qint64 aimAhead() const;
    qint64 composeAhead() const;
    qint64 waitUntilDue(qint64 step);
    xmp_frame_info recordForStep(qint64 step, qint64 *startSample = nullptr) const;
    QSize frameSize() const;
    QImage *surfaceToDrawOn(QSize size);

    QBackingStore store;
    // The display lacks some of the surface (it is new, or the display lost
    // the window's contents): the next paint sends all of it.
    bool displayLacksSurface = true;
    std::vector<RowSpan> changedRows;  // by the last frame written, in device pixels
    const uchar *lastTargetBits = nullptr;  // the image the last frame was written onto
    Scene scene;
    XmpDevice *device;
    ShowClock *clock;
    int rate;
    qint64 lastStep = -1;  // the step shown last
    PaintTrace *trace = nullptr;
    QTimer composingTimer;  // starts composing the next frame when its step is nearly due
    bool displayPacesPaints = false;
    QImage frame;  // only where the backing store cannot be drawn on directly
    // A frame composed and not yet shown.
    struct Composed {
        qint64 step = -1;  // none
        qint64 recordSample = -1;
        qint64 heard = 0;    // when its step was chosen
        bool ahead = false;  // chosen before it was due
        QSize size;
    } composed;
};
