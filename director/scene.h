// Everything the show keeps from one frame to the next (live effects and the
// channel watchers) and the steps that turn a frame record into a picture.
// Knows nothing of windows or audio, so a headless renderer can drive it.
#pragma once

#include "blankcanvas.h"
#include "channelwatcher.h"
#include "effectset.h"
#include "framecanvas.h"

#include <xmp.h>

class QImage;

class Scene {
public:
    // Background, cues, effects and distortion for one frame, drawn on image:
    // the window's RGB32 surface, or an RGB888 image as the capture writes.
    // The picture is exactly that of one painter drawing the whole frame
    // straight onto an RGB888 image, made with fewer passes over its bytes. False when the frame could not be allocated or
    // image is null: the effects have still taken their step, image is untouched.
    bool renderFrame(QImage &image, const xmp_frame_info &info);

    // renderFrame in two halves: the frame composed off the image, and then
    // written onto it (of the size given), so that the image is needed only
    // for the second. False as renderFrame. changedRows as FrameCanvas::present.
    void composeFrame(const xmp_frame_info &info, QSize size);
    bool presentFrame(QImage &image, std::vector<RowSpan> *changedRows = nullptr);

    // A step whose picture is not shown: the cue step and the effect pass of
    // renderFrame on a frame of the given size, with nothing painted. The
    // effects come out of it as from renderFrame.
    void advance(const xmp_frame_info &info, QSize size);

    // The threads renderFrame composes a frame on, the calling one among
    // them: 1 (the default) paints it all where it is called. Any number
    // gives the same bytes.
    void setThreads(int threads) { canvas.setThreads(threads); }
    // As FrameCanvas: frames presented onto one image that keeps the last.
    void setKeptTarget(bool kept) { canvas.setKeptTarget(kept); }
    void forgetTarget() { canvas.forgetTarget(); }

    EffectSet effects;
    ChannelWatcher watchers[5] = {{0}, {1}, {2}, {3}, {6}};
    bool gentle = false;  // spawn the effects' gentle look, which does not flash

private:
    FrameCanvas canvas;  // kept, so that its buffer is not made anew every frame
    int composedDistortion = 0;
    BlankCanvas blank;
};
