// The show's one window. Each frame is the steps of the show that have come
// due run, each with the music heard at its moment, and the last one shown.
// How frames are paced is chosen when the window is first shown:
// - by the display's refreshes where it says when it lights frames (X11's
//   Present extension, Wayland's frame callbacks and presentation feedback):
//   one frame a refresh, drawn for the moment it will be lit, and none where
//   the refresh would bring no new step;
// - by the steps alone, as a display whose word is missing or not trusted
//   needs: the next frame composed a little before its step falls due, then
//   painted and held until then;
// - literally (no clock): every paint one step, with the record of the frame
//   handed to the output last, and the next paint asked for at once.
// Where the display keeps what it was sent, only what a frame changed is sent.
// Escape quits.
#pragma once

#include "framewriter.h"
#include "refreshpacer.h"
#include "showsteps.h"
#include "steppacer.h"

#include <QBackingStore>
#include <QImage>
#include <QTimer>
#include <QWindow>
#include <memory>
#include <vector>

class PaintTrace;
class ShowClock;
class WaylandPresentation;
class X11Presenter;
class XmpDevice;

class Window : public QWindow {
public:
    // clock null: the literal timing.
    Window(XmpDevice *device, ShowClock *clock, int rate);
    ~Window() override;

    void setClock(ShowClock *clock) { this->clock = clock; }
    void setTrace(PaintTrace *trace) { this->trace = trace; }
    // The effects' gentle look, which does not flash; before the first step.
    void setGentle(bool gentle) { steps.scene.gentle = gentle; }
    // The threads each frame is composed on; 1 until set.
    void setFrameThreads(int threads) { steps.scene.setThreads(threads); }
    // Paced by the steps alone, whatever the display says.
    void setStepPacing(bool on) { stepPacingAsked = on; }
    bool startAt(qint64 start, QSize frameSize) { return steps.startAt(start, frameSize); }
    // Traces the frames the display has not spoken of yet.
    void finishTrace();

protected:
    bool event(QEvent *event) override;
    void exposeEvent(QExposeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // One frame: its step chosen, composed, drawn and sent to the display.
    virtual void paint();

private:
    enum class Pacing { Undecided, Literal, Steps, Present, FrameCallbacks };
    struct Frame {
        // The steps it runs and the clock when they were chosen, by either pacer.
        StepPacer::Choice chosen;
        qint64 step = -1;  // the one it shows; none
        bool composedNew = false;
        qint64 recordSample = -1;
        QSize size;
        RefreshPacer::Aim aim;
        qint64 startNs = 0;
        qint64 workNs = 0;  // composing and writing it
    };

    void choosePacing();
    void paceBySteps(const QString &why);
    Frame nextFrame();
    qint64 afterFramesSent() const;
    Frame aimFrame(qint64 notBeforeNs = -1);
    bool nothingNew(const Frame &frame) const;
    void waitForRefresh(const Frame &frame);
    void compose(Frame &frame);
    QRegion draw(Frame &frame);
    void send(const Frame &frame, const QRegion &changed);
    void askForNextFrame();
    void heard(const PresentFeedback &said);

    void composeWhenDue();

    bool sendsWholeFrames() const;
    QImage *surfaceToDrawOn(QSize size);
    QRegion writeFrame(QImage &target);
    QSize frameSize() const;

    ShowSteps steps;
    XmpDevice *device;
    ShowClock *clock;
    int rate;
    PaintTrace *trace = nullptr;
    Pacing pacing = Pacing::Undecided;
    bool stepPacingAsked = false;

    QBackingStore store;
    std::unique_ptr<X11Presenter> presenter;
    std::unique_ptr<WaylandPresentation> presentation;
    RefreshPacer refreshes;
    StepPacer stepPacer;
    bool awaitingDisplay = false;  // the window paints again when the display answers
    qint64 awaitedSerial = 0;      // the last frame or question sent
    qint64 lastAimedNs = -1;       // the refresh it was for
    QTimer displayWatch;           // a display that stops answering is paced by the steps
    QTimer composingTimer;         // by the steps: composes the next frame when its step is nearly due
    // The display lacks some of the window (it is new, or lost its contents):
    // the next frame sends all of it.
    bool displayLacksSurface = true;
    FrameWriter writer{steps.scene};
    QImage kept;  // only where the backing store cannot be drawn on directly
};
