#include "xmpdevice.h"

#include "samplerate.h"

#include <QCoreApplication>
#include <QFile>
#include <cstring>
#include <memory>

XmpDevice::XmpDevice(const QString &modulePath)
    : QIODevice(), context(xmp_create_context()), modulePath(modulePath)
{
    // Readers may look before the first read; zeros are a harmless "nothing yet".
    std::memset(&frameInfo, 0, sizeof frameInfo);
}

// The libxmp context and module image are deliberately kept until process exit.
XmpDevice::~XmpDevice() = default;

bool XmpDevice::open(QIODevice::OpenMode mode)
{
    QFile file(modulePath);
    if (!file.open(QIODevice::ReadOnly)) {
        setErrorString(QStringLiteral("cannot open %1: %2").arg(modulePath, file.errorString()));
        return false;
    }
    const QByteArray bytes = file.readAll();
    // libxmp keeps pointers into the image, so it must outlive the player.
    std::unique_ptr<char[]> image(new char[bytes.size()]);
    std::memcpy(image.get(), bytes.constData(), bytes.size());
    if (xmp_load_module_from_memory(context, image.get(), bytes.size()) != 0) {
        setErrorString(QStringLiteral("%1 is not a module libxmp can load").arg(modulePath));
        return false;
    }
    if (xmp_start_player(context, songSampleRate, 0) != 0) {
        xmp_release_module(context);
        setErrorString(QStringLiteral("libxmp cannot start the player for %1").arg(modulePath));
        return false;
    }
    image.release();
    loaded = true;
    setOpenMode(mode);
    return true;
}

bool XmpDevice::atEnd() const
{
    return false;
}

qint64 XmpDevice::writeData(const char *, qint64)
{
    return 0;
}

// Plays one player frame; false once the song has wrapped, after asking to quit.
bool XmpDevice::playFrame()
{
    if (!loaded)
        return false;
    xmp_play_frame(context);
    xmp_get_frame_info(context, &frameInfo);
    if (frameInfo.loop_count > 0 || frameInfo.buffer_size <= 0) {
        // The frame in which the song wrapped is never delivered, and a frame
        // without sound ends it too rather than be waited out. The quit is
        // queued so that it is safe from the audio thread too.
        pendingOffset = frameInfo.buffer_size;
        songEnd = playedSamples;
        if (quitsAtEnd)
            QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::quit(); },
                                      Qt::QueuedConnection);
        return false;
    }
    history.add(playedSamples, frameInfo);
    playedSamples += frameInfo.buffer_size / bytesPerSample;
    pendingOffset = 0;
    return true;
}

qint64 XmpDevice::deliverPending(char *data, qint64 maxSize)
{
    const qint64 left = frameInfo.buffer_size - pendingOffset;
    const qint64 count = qMin(left, maxSize);
    std::memcpy(data, static_cast<const char *>(frameInfo.buffer) + pendingOffset, count);
    pendingOffset += count;
    return count;
}

// Fills the whole request, playing as many player frames as it takes: an
// output that asks for a period at a time must get a period, or it starves.
// The sound played ahead goes first. The last frame may be handed over in
// part; its rest opens the next request.
qint64 XmpDevice::readData(char *data, qint64 maxSize)
{
    qint64 delivered = 0;
    if (aheadOffset < ahead.size()) {
        delivered = qMin(ahead.size() - aheadOffset, maxSize);
        std::memcpy(data, ahead.constData() + aheadOffset, size_t(delivered));
        aheadOffset += delivered;
        if (aheadOffset == ahead.size()) {
            ahead.clear();
            aheadOffset = 0;
        }
    }
    while (delivered < maxSize) {
        const bool framePending = loaded && pendingOffset < frameInfo.buffer_size;
        if (!framePending && !playFrame())
            break;
        delivered += deliverPending(data + delivered, maxSize - delivered);
    }
    handedBytes += delivered;
    return delivered;
}

// The current frame's sound not yet handed over joins the sound kept ahead,
// before the next frame overwrites it.
void XmpDevice::keepPendingAhead()
{
    if (!loaded || pendingOffset >= frameInfo.buffer_size)
        return;
    ahead.append(static_cast<const char *>(frameInfo.buffer) + pendingOffset,
                 int(frameInfo.buffer_size - pendingOffset));
    pendingOffset = frameInfo.buffer_size;
}

void XmpDevice::playAheadTo(qint64 sample)
{
    while (songEnd < 0 && playedSamples <= sample) {
        keepPendingAhead();
        if (!playFrame())
            return;
    }
    keepPendingAhead();
}

bool XmpDevice::skipTo(qint64 sample)
{
    while (playedSamples <= sample) {
        if (!playFrame())
            return false;
    }
    // The frame just played holds `sample`: hand over from there.
    const qint64 frameStart = playedSamples - frameInfo.buffer_size / bytesPerSample;
    pendingOffset = (sample - frameStart) * bytesPerSample;
    handedBytes = sample * bytesPerSample;
    return true;
}
