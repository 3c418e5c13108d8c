// The module device: one player frame per read, short requests, the end of the
// song, and the failures that must not pass silently.
#include "eventloop.h"
#include "xmpdevice.h"

#include <QtTest>
#include <QTemporaryFile>
#include <cstring>
#include <dlfcn.h>
#include <vector>

namespace {

// While set, every frame libxmp reports brings no sound, as a broken player
// might, and is counted.
bool framesBringNothing = false;
int emptyFrames = 0;

} // namespace

// Stands in for libxmp's own, which it calls, so that a test can empty the frames.
extern "C" void xmp_get_frame_info(xmp_context context, struct xmp_frame_info *info)
{
    using GetFrameInfo = void (*)(xmp_context, struct xmp_frame_info *);
    static const auto real = reinterpret_cast<GetFrameInfo>(dlsym(RTLD_NEXT, "xmp_get_frame_info"));
    real(context, info);
    if (framesBringNothing) {
        info->buffer_size = 0;
        ++emptyFrames;
    }
}

namespace {

struct Probe : XmpDevice {
    using XmpDevice::XmpDevice;
    using XmpDevice::readData;
    using XmpDevice::writeData;
};

constexpr int frameBytes = 648 * 4;

// libxmp's own rendering of the compiled-in module, frame by frame.
struct Reference {
    Reference()
    {
        QFile file(":/music.xm");
        file.open(QIODevice::ReadOnly);
        bytes = file.readAll();
        xmp_load_module_from_memory(context, bytes.data(), bytes.size());
        xmp_start_player(context, 44100, 0);
    }
    ~Reference()
    {
        xmp_end_player(context);
        xmp_release_module(context);
        xmp_free_context(context);
    }
    QByteArray next()
    {
        xmp_play_frame(context);
        xmp_frame_info info;
        xmp_get_frame_info(context, &info);
        times.push_back(info.time);
        return QByteArray(static_cast<const char *>(info.buffer), info.buffer_size);
    }
    QByteArray bytes;
    std::vector<int> times;  // each played frame's song time, as libxmp reports it
    xmp_context context = xmp_create_context();
};

} // namespace

class TestXmpDevice : public QObject {
    Q_OBJECT

private slots:
    void frameInfoIsZeroBeforeTheFirstRead()
    {
        Probe device;
        xmp_frame_info zero;
        std::memset(&zero, 0, sizeof zero);
        QVERIFY(std::memcmp(&device.frameInfo, &zero, sizeof zero) == 0);
    }

    void firstReadDeliversTheFirstFrame()
    {
        Probe device;
        QVERIFY(device.open(QIODevice::ReadOnly));
        Reference reference;
        QByteArray buffer(frameBytes, '\0');
        QCOMPARE(device.readData(buffer.data(), buffer.size()), qint64(frameBytes));
        QCOMPARE(device.frameInfo.pos, 0);
        QCOMPARE(device.frameInfo.row, 0);
        QCOMPARE(buffer.left(frameBytes), reference.next());
    }

    void readsFillTheRequestFrameAfterFrame()
    {
        Probe device;
        device.open(QIODevice::ReadOnly);
        Reference reference;
        QByteArray expected;
        QByteArray got;
        // Whole frames, less than one, several and a part, one byte: the stream
        // is the module's frames back to back whatever the request sizes.
        for (qint64 request : {qint64(frameBytes), qint64(1000), qint64(16384), qint64(1),
                               qint64(3528), qint64(frameBytes - 1), qint64(1) << 16}) {
            QByteArray buffer(int(request), '\0');
            QCOMPARE(device.readData(buffer.data(), request), request);
            got += buffer;
            while (expected.size() < got.size())
                expected += reference.next();
            QVERIFY2(got == expected.left(got.size()), qPrintable(QString("after a request of %1").arg(request)));
            // The record is that of the frame whose sound was handed over last.
            QCOMPARE(device.frameInfo.time, reference.times.back());
        }
    }

    void shortRequestsGetTheFrameInPieces()
    {
        Probe device;
        device.open(QIODevice::ReadOnly);
        Reference reference;
        const QByteArray first = reference.next();
        QByteArray got;
        char piece[1000];
        QCOMPARE(device.readData(piece, 0), qint64(0));
        QCOMPARE(device.frameInfo.buffer_size, 0);  // a zero-size request plays nothing
        int firstFrameTime = -1;
        for (qint64 size : {1000, 1000, 592}) {
            std::memset(piece, 0x5a, sizeof piece);
            QCOMPARE(device.readData(piece, size), size);
            got.append(piece, int(size));
            if (firstFrameTime < 0)
                firstFrameTime = device.frameInfo.time;
            QCOMPARE(device.frameInfo.time, firstFrameTime);  // no new frame played yet
        }
        QCOMPARE(got, first);
        QCOMPARE(device.frameInfo.pos, 0);
        QCOMPARE(device.frameInfo.row, 0);
    }

    void neverWritesPastTheRequest()
    {
        Probe device;
        device.open(QIODevice::ReadOnly);
        QByteArray guarded(64, char(0x5a));
        QCOMPARE(device.readData(guarded.data(), 7), qint64(7));
        QCOMPARE(guarded.mid(7), QByteArray(57, char(0x5a)));
    }

    void bufferedReadsThroughQIODeviceStayWhole()
    {
        Probe device;
        device.open(QIODevice::ReadOnly);
        Reference reference;
        QByteArray expected;
        for (int i = 0; i < 20; ++i)
            expected += reference.next();
        QByteArray got;
        char chunk[3000];
        while (got.size() < expected.size()) {
            const qint64 n = device.read(chunk, sizeof chunk);
            QVERIFY(n > 0);
            got.append(chunk, int(n));
        }
        QCOMPARE(got.left(expected.size()), expected);
    }

    void writingDoesNothingAndTheEndNeverComes()
    {
        Probe device;
        device.open(QIODevice::ReadOnly);
        QCOMPARE(device.writeData("abc", 3), qint64(0));
        QVERIFY(!device.atEnd());
        QVERIFY(!device.isSequential());
    }

    void songPlaysOnceThenQuits()
    {
        Probe device;
        device.open(QIODevice::ReadOnly);
        QByteArray buffer(frameBytes, '\0');
        int frames = 0;
        int lastPosition = 0;
        QTimer::singleShot(0, [&] {
            while (device.readData(buffer.data(), frameBytes) == frameBytes) {
                ++frames;
                lastPosition = device.frameInfo.pos;
            }
            // Further calls keep answering "nothing".
            QCOMPARE(device.readData(buffer.data(), frameBytes), qint64(0));
        });
        QCOMPARE(exitCodeWithin(20000), 0);
        QCOMPARE(frames, 6126);
        QCOMPARE(lastPosition, 9);
    }

    void songEndsInTheMiddleOfALargeRequest()
    {
        Probe device;
        device.open(QIODevice::ReadOnly);
        QByteArray buffer(16384, '\0');
        qint64 total = 0;
        qint64 last = 0;
        QTimer::singleShot(0, [&] {
            while ((last = device.readData(buffer.data(), buffer.size())) > 0)
                total += last;
        });
        QCOMPARE(exitCodeWithin(20000), 0);
        QCOMPARE(total, qint64(6126) * frameBytes);
        QCOMPARE(last, qint64(0));
    }

    // A frame without sound is the end: the device neither plays on in search
    // of bytes nor hands over any.
    void frameWithoutSoundEndsTheSong()
    {
        Probe device;
        QVERIFY(device.open(QIODevice::ReadOnly));
        char buffer[16];
        framesBringNothing = true;
        const qint64 got = device.readData(buffer, sizeof buffer);
        framesBringNothing = false;
        QCOMPARE(got, qint64(0));
        QCOMPARE(emptyFrames, 1);
        QCOMPARE(exitCodeWithin(5000), 0);
    }

    void unreadableModuleFailsToOpen()
    {
        Probe missing(QStringLiteral(":/no-such-module.xm"));
        QVERIFY(!missing.open(QIODevice::ReadOnly));
        QVERIFY(missing.errorString().contains("no-such-module"));

        QTemporaryFile garbage;
        QVERIFY(garbage.open());
        garbage.write(QByteArray(5000, 'x'));
        garbage.close();
        Probe broken(garbage.fileName());
        // Twice: a failed open leaves nothing behind that a second one trips on.
        for (int attempt = 0; attempt < 2; ++attempt) {
            QVERIFY(!broken.open(QIODevice::ReadOnly));
            QVERIFY(broken.errorString().contains("not a module"));
            QVERIFY(!broken.isOpen());
        }
        char buffer[16];
        QCOMPARE(broken.readData(buffer, sizeof buffer), qint64(0));
    }
};

QTEST_MAIN(TestXmpDevice)
#include "test_xmpdevice.moc"
