// The frame records of the player frames played lately, each with the song
// sample its sound starts at, so that a reader can find the record of the
// frame being heard rather than the one handed over last.
#pragma once

#include <QtGlobal>
#include <pthread.h>
#include <vector>
#include <xmp.h>

class FrameHistory {
public:
    // 512 frames of 648 samples hold 7.5 s: far more than any output buffers.
    explicit FrameHistory(int capacity = 512);
    ~FrameHistory();
    FrameHistory(const FrameHistory &) = delete;
    FrameHistory &operator=(const FrameHistory &) = delete;

    void add(qint64 startSample, const xmp_frame_info &record);
    // The record of the newest frame starting at or before `sample`; the zeroed
    // record before the song's start or before any frame was played. Older
    // than the history: its oldest frame. *startSample (if asked for) gets
    // the frame's first sample, or -1 for the zeroed record.
    xmp_frame_info recordAt(qint64 sample, qint64 *startSample = nullptr) const;

private:
    struct Entry {
        qint64 startSample;
        xmp_frame_info record;
    };
    // The audio thread adds while the window's thread reads: a lock that
    // lends its priority to whoever holds it, so that the real-time audio
    // thread never waits on a paint that others have put off.
    mutable pthread_mutex_t lock;
    std::vector<Entry> entries;  // a ring, oldest at `next` once full
    size_t next = 0;
    size_t count = 0;
};
