#include "songrecords.h"

#include "steptiming.h"
#include "xmpdevice.h"

namespace {

constexpr int bytesPerSampleFrame = XmpDevice::bytesPerSample;
// Far beyond any module this show will carry; guards against one that never ends.
constexpr qint64 maxPlayerFrames = qint64(songSampleRate) * 3600 / 64;

struct Source : XmpDevice {
    using XmpDevice::readData;
};

} // namespace

bool decodeSong(SongRecords &song, bool keepSound, QString *error)
{
    Source device;
    if (!device.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot play the music: %1").arg(device.errorString());
        return false;
    }
    QByteArray frame;
    for (;;) {
        // A one-byte request plays exactly one new player frame, whatever the
        // device does with larger ones; the rest of that frame then follows.
        char first = 0;
        if (device.readData(&first, 1) == 0)
            break;
        const int frameBytes = device.frameInfo.buffer_size;
        if (song.records.empty())
            song.samplesPerPlayerFrame = frameBytes / bytesPerSampleFrame;
        // Frame times are worked out as multiples of one length; a tempo change would break them.
        if (frameBytes != song.samplesPerPlayerFrame * bytesPerSampleFrame) {
            *error = QStringLiteral("player frame %1 has %2 bytes, not %3: the module changes tempo")
                         .arg(song.records.size()).arg(frameBytes).arg(song.samplesPerPlayerFrame * bytesPerSampleFrame);
            return false;
        }
        if (qint64(song.records.size()) >= maxPlayerFrames) {
            *error = QStringLiteral("the music does not end");
            return false;
        }
        frame.resize(frameBytes);
        frame[0] = first;
        qint64 got = 1;
        while (got < frameBytes) {
            const qint64 more = device.readData(frame.data() + got, frameBytes - got);
            if (more <= 0)
                break;
            got += more;
        }
        if (got != frameBytes) {
            *error = QStringLiteral("player frame %1 gave %2 of its %3 bytes").arg(song.records.size()).arg(got).arg(frameBytes);
            return false;
        }
        song.records.push_back(device.frameInfo);
        if (keepSound)
            song.pcm.append(frame);
    }
    if (song.records.empty()) {
        *error = QStringLiteral("the music has no sound");
        return false;
    }
    return true;
}

const xmp_frame_info &recordForStep(const SongRecords &song, qint64 step, int rate)
{
    static const xmp_frame_info nothingYet{};
    const qint64 player = std::min(playerFrameForStep(step, rate, song.samplesPerPlayerFrame),
                                   qint64(song.records.size()) - 1);
    return player < 0 ? nothingYet : song.records[size_t(player)];
}
