// Whether the frames a capture holds at once fit in the memory it may use:
// checked before the song is painted, so that a size too large is refused
// with what would fit rather than found out by a failed allocation.
#pragma once

#include <QSize>
#include <QString>

// Bytes this process may still allocate: the machine's memory, or what its
// address-space limit (ulimit -v) leaves over what it already uses, if less.
qint64 usableMemory();

// Empty if frames of `size`, at `bytesPerPixel` for all those held at once
// plus `fixedBytes`, fit in `usable`; otherwise what to tell the user,
// naming the largest size of the same shape that fits.
QString frameMemoryProblem(QSize size, qint64 bytesPerPixel, qint64 fixedBytes, qint64 usable);

// Where a capture's frames go, which decides how many it holds at once.
enum class FrameOutput { FlashCheck, Pngs, Video, Gif };

// frameMemoryProblem for a capture of `videoFrames` frames of `size` into
// `output`, with `pngWorkers` PNG encoders and `frameThreads` threads
// composing each frame.
QString captureMemoryProblem(QSize size, FrameOutput output, int pngWorkers, int frameThreads, qint64 videoFrames);
