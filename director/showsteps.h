// The show's steps as the live window runs them: the scene taken step by step
// through the song, each step with the frame record of its moment, and the
// last one run composed as a picture. Knows nothing of when a step is due.
#pragma once

#include "scene.h"
#include "stepschedule.h"

#include <QSize>

class XmpDevice;

class ShowSteps {
public:
    ShowSteps(XmpDevice *device, int rate) : device(device), rate(rate) {}

    // Runs the steps before song sample `start` without pictures, at the
    // given frame size, with the device playing the music up to there
    // unheard. False if the song ends first.
    bool startAt(qint64 start, QSize frameSize);
    // Runs the steps of `steps`, and composes the last; returns the song
    // sample of the record it saw (-1 for none).
    qint64 compose(StepRange steps, QSize frameSize);
    // The literal timing: the record the output was handed last, as one more step.
    qint64 composeLiteral(QSize frameSize);
    qint64 last() const { return lastStep; }

    Scene scene;

private:
    xmp_frame_info recordForStep(qint64 step, qint64 *startSample = nullptr) const;

    XmpDevice *device;
    int rate;
    qint64 lastStep = -1;  // run last
};
