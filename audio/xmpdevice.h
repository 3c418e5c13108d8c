// The show's only sound source and its clock: a read-only QIODevice that plays
// the module one libxmp player frame at a time and publishes that frame's
// information for the window. It asks the application to quit when the song
// ends, unless whoever plays it waits for the end to be heard.
// The audio output may read it on a thread of its own: recordAt() is the
// safe way for another thread to see the records; frameInfo (the frame played
// last) is the reading thread's own.
#pragma once

#include "framehistory.h"

#include <QIODevice>
#include <QString>
#include <atomic>
#include <xmp.h>

class XmpDevice : public QIODevice {
public:
    explicit XmpDevice(const QString &modulePath = QStringLiteral(":/music.xm"));
    ~XmpDevice() override;

    // Loads the module and starts the player; false (with errorString set)
    // when the module cannot be read or libxmp rejects it.
    bool open(QIODevice::OpenMode mode) override;
    bool atEnd() const override;

    // The record of the player frame whose sound holds song sample `sample`,
    // from the frames played lately.
    xmp_frame_info recordAt(qint64 sample, qint64 *startSample = nullptr) const
    {
        return history.recordAt(sample, startSample);
    }

    // Song sample of the next byte a read hands over.
    qint64 handedSample() const { return handedBytes / bytesPerSample; }
    // The song's length in samples once its end has been played, else -1.
    qint64 endSample() const { return songEnd; }
    // Whether the device itself asks the application to quit when the song
    // ends (the default), or leaves that to whoever hears the end.
    void setQuitsAtEnd(bool quits) { quitsAtEnd = quits; }
    // Plays on without handing anything over until the next read starts at
    // `sample`; only before the first read. False if the song ends first.
    bool skipTo(qint64 sample);
    // Plays on until the records reach song sample `sample`, keeping the sound
    // of the frames played ahead for the reads to come: the records of what
    // is about to be heard are there, while the sound handed over stays where
    // it was. Only on the thread that reads.
    void playAheadTo(qint64 sample);

    static constexpr int bytesPerSample = 4;  // 16-bit stereo

    xmp_context context;
    struct xmp_frame_info frameInfo;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    bool playFrame();
    qint64 deliverPending(char *data, qint64 maxSize);
    void keepPendingAhead();

    QString modulePath;
    bool loaded = false;
    qint64 pendingOffset = 0;  // bytes of the current frame already delivered
    QByteArray ahead;          // sound played ahead and not yet handed over, from aheadOffset
    qint64 aheadOffset = 0;
    qint64 playedSamples = 0;  // song sample at which the next frame starts
    FrameHistory history;
    std::atomic<qint64> handedBytes{0};
    std::atomic<qint64> songEnd{-1};
    std::atomic<bool> quitsAtEnd{true};
};
