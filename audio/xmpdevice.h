// The show's only sound source and its clock: a read-only QIODevice that plays
// the module one libxmp player frame at a time and publishes that frame's
// information for the window. It asks the application to quit when the song ends.
#pragma once

#include <QIODevice>
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

    xmp_context context;
    struct xmp_frame_info frameInfo;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    bool playFrame();
    qint64 deliverPending(char *data, qint64 maxSize);

    QString modulePath;
    bool loaded = false;
    qint64 pendingOffset = 0;  // bytes of the current frame already delivered
};
