// The fast frame's canvas when there is nowhere to put the frame: a target
// that is null, or pixels of its own that could not be had. It says so
// instead of recursing or handing over whatever the memory held.
#include "framecanvas.h"

#include <QtTest>
#include <sys/resource.h>

namespace {

// Address space for what the process already uses and not much more, while it lives.
class TightMemory {
public:
    explicit TightMemory(qint64 spareBytes)
    {
        getrlimit(RLIMIT_AS, &before);
        QFile status(QStringLiteral("/proc/self/statm"));
        status.open(QIODevice::ReadOnly);
        const qint64 usedBytes = status.readAll().split(' ').value(0).toLongLong() * 4096;
        rlimit tight = before;
        tight.rlim_cur = rlim_t(usedBytes + spareBytes);
        setrlimit(RLIMIT_AS, &tight);
    }
    ~TightMemory() { setrlimit(RLIMIT_AS, &before); }

private:
    rlimit before{};
};

} // namespace

class TestFrameCanvas : public QObject {
    Q_OBJECT

private slots:
    void nullTargetIsRefused_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("nothing begun") << QSize(0, 0);
        QTest::newRow("a frame begun") << QSize(64, 36);
    }
    void nullTargetIsRefused()
    {
        QFETCH(QSize, size);
        FrameCanvas canvas;
        canvas.begin(size, qRgb(50, 45, 40));
        QImage target;
        QVERIFY(!canvas.present(target, 0));
        QVERIFY(target.isNull());
    }

    void frameWithoutPixelsIsRefused()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("AddressSanitizer's shadow memory does not fit under an address-space limit");
#endif
        const QSize size(2000, 2000);  // 16 MB a frame
        QImage target(size, QImage::Format_RGB32);
        target.fill(Qt::magenta);
        FrameCanvas canvas;
        {
            TightMemory tight(4 << 20);
            canvas.begin(size, qRgb(50, 45, 40));
        }
        QVERIFY(!canvas.present(target, 0));
        // Still usable once there is memory again.
        canvas.begin(size, qRgb(50, 45, 40));
        QVERIFY(canvas.present(target, 0));
        QCOMPARE(target.pixel(1999, 1999), qRgb(50, 45, 40));
    }
};

QTEST_MAIN(TestFrameCanvas)
#include "test_framecanvas.moc"
