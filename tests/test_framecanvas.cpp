// The fast frame's canvas when there is nowhere to put the frame: a target
// that is null, or pixels of its own that could not be had. It says so
// instead of recursing or handing over whatever the memory held. And onto a
// target that keeps the frame before, it writes just the rows that change.
#include "changedspans.h"
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

// A red bar across part of the frame, from row `top` for `height` rows, shaking the frame by `distortion`.
struct Bar : DrawCommand {
    Bar(int top, int height, int distortion) : top(top), height(height), distortion(distortion) {}
    DrawResult draw(QPainter &painter) override
    {
        painter.fillRect(QRect(8, top, 40, height), QColor(200, 30, 30));
        DrawResult result;
        result.distortion = distortion;
        return result;
    }
    DrawCommand *clone() const override { return new Bar(*this); }
    int top, height, distortion;
};

// A frame with a bar from row top (none if top < 0), onto target.
void presentBar(FrameCanvas &canvas, int top, int height, int distortion, QImage &target,
                std::vector<RowSpan> *changed)
{
    canvas.begin(target.size(), qRgb(50, 45, 40));
    Bar bar(std::max(top, 0), height, distortion);
    if (top >= 0)
        canvas.draw(bar);
    canvas.present(target, top >= 0 ? distortion : 0, changed);
}

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

    void keptTargetGetsTheRowsThatChange_data()
    {
        QTest::addColumn<QList<int>>("tops");  // the bar's top row in each frame in turn; -1: no bar
        QTest::addColumn<QList<int>>("heights");
        QTest::addColumn<QList<int>>("distortions");
        QTest::newRow("a bar moving down") << QList<int>{10, 30, 32} << QList<int>{10, 10, 10} << QList<int>{0, 0, 0};
        QTest::newRow("a bar growing and shrinking") << QList<int>{10, 10, 10, 10} << QList<int>{10, 25, 30, 4}
                                                     << QList<int>{0, 0, 0, 0};
        QTest::newRow("a bar standing still") << QList<int>{10, 10, 10} << QList<int>{10, 10, 10} << QList<int>{0, 0, 0};
        QTest::newRow("a bar gone") << QList<int>{10, -1, -1} << QList<int>{10, 10, 10} << QList<int>{0, 0, 0};
        QTest::newRow("a shake coming and going") << QList<int>{10, 10, 10} << QList<int>{10, 10, 10} << QList<int>{0, 2, 0};
    }
    void keptTargetGetsTheRowsThatChange()
    {
        QFETCH(QList<int>, tops);
        QFETCH(QList<int>, heights);
        QFETCH(QList<int>, distortions);
        FrameCanvas kept;
        kept.setKeptTarget(true);
        QImage target(64, 48, QImage::Format_RGB32);
        target.fill(Qt::magenta);
        for (int frame = 0; frame < tops.size(); ++frame) {
            const QImage before = target.copy();
            std::vector<RowSpan> changed;
            presentBar(kept, tops[frame], heights[frame], distortions[frame], target, &changed);
            FrameCanvas whole;
            QImage want(target.size(), QImage::Format_RGB32);
            presentBar(whole, tops[frame], heights[frame], distortions[frame], want, nullptr);
            QCOMPARE(target, want);
            const QString wrong = wrongChangedSpan(before, target, changed, true);
            QVERIFY2(wrong.isEmpty(), qPrintable(QString("frame %1: %2").arg(frame).arg(wrong)));
        }
    }
};

QTEST_MAIN(TestFrameCanvas)
#include "test_framecanvas.moc"
