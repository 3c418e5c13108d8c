// The show's only sound source and its clock: a read-only QIODevice that plays
// the module one libxmp player frame at a time and publishes that frame's
// information for the window. It asks the application to quit when the song ends.
// The audio output may read it on a thread of its own: snapshot() is the safe
// way for another thread to see the published record.
#pragma once

#include <QIODevice>
#include <QMutex>
#include <QString>
#include <xmp.h>

class XmpDevice : public QIODevice {
public:
    explicit XmpDevice(const QString &modulePath = QStringLiteral(":/music.xm"));
    ~XmpDevice() override;

    // Loads the module and starts the player; false (with errorString set)
    // when the module cannot be read or libxmp rejects it.
    bool open(QIODevice::OpenMode mode) override;
    bool atEnd() const override;

    // A consistent copy of frameInfo, whichever thread is reading the device.
    xmp_frame_info snapshot() const;

    xmp_context context;
    struct xmp_frame_info frameInfo;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    bool playFrame();
    qint64 deliverPending(char *data, qint64 maxSize);

    mutable QMutex published;  // guards frameInfo against a reader on another thread
    QString modulePath;
    bool loaded = false;
    qint64 pendingOffset = 0;  // bytes of the current frame already delivered
};
