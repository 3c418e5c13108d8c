// The row kernels against what QPainter paints: a row through tints is
// fills of the whole frame painted in turn (none when a fill is clear), and a
// composed row is the straightforward RGB888 frame's row, shaken, in RGB32.
#include "framereference.h"
#include "rowkernels.h"
#include "tintramp.h"

#include <QPainter>
#include <QtTest>
#include <cstring>
#include <vector>

namespace {

const struct {
    QColor colour;
    qreal opacity;
} fills[] = {
    {QColor(Qt::red), 20 / 60.0f}, {QColor(255, 215, 200), 13 / 160.0f}, {QColor(10, 200, 30, 128), 0.7},
    {Qt::white, 1.0},               {Qt::black, 0.5},                      {QColor(90, 60, 250), 1.5},
    {QColor(Qt::red), 0},           {Qt::transparent, 1.0},
};

// The fills from first on, count of them, painted over image in turn.
QImage painted(QImage image, int first, int count)
{
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        for (int i = first; i < first + count; ++i) {
            painter.setOpacity(fills[i].opacity);
            painter.fillRect(painter.viewport(), fills[i].colour);
        }
    }
    return image;
}

} // namespace

class TestRowKernels : public QObject {
    Q_OBJECT

private slots:
    void tintRowIsTheFillsInTurn_data()
    {
        QTest::addColumn<int>("width");  // pixels in the row: whole blocks of eight and the rest
        QTest::addColumn<int>("first");  // the fills from this one on...
        QTest::addColumn<int>("tints");  // ...this many of them
        QTest::addColumn<bool>("rgb32");
        for (int fill = 0; fill < int(std::size(fills)); ++fill)
            QTest::addRow("%s at %g", qPrintable(fills[fill].colour.name(QColor::HexArgb)), fills[fill].opacity)
                << 256 << fill << 1 << false;
        for (int width : {1, 8, 13, 256})
            for (int tints : {0, 3, 5})
                for (bool rgb32 : {false, true})
                    QTest::addRow("%d pixels, %d tints, into %s", width, tints, rgb32 ? "RGB32" : "RGBX8888")
                        << width << 0 << tints << rgb32;
    }
    void tintRowIsTheFillsInTurn()
    {
        QFETCH(int, width);
        QFETCH(int, first);
        QFETCH(int, tints);
        QFETCH(bool, rgb32);
        const QImage ramp = tintRamp(width);
        const QImage want = painted(ramp, first, tints).convertToFormat(rgb32 ? QImage::Format_RGB32 : ramp.format());
        std::vector<FrameTint> frameTints;
        for (int i = first; i < first + tints; ++i)
            frameTints.push_back(fillTint(fills[i].colour, fills[i].opacity));
        QImage got(ramp.size(), want.format());
        for (int y = 0; y < ramp.height(); ++y)
            tintRow(reinterpret_cast<const uint32_t *>(ramp.constScanLine(y)), reinterpret_cast<uint32_t *>(got.scanLine(y)),
                    width, frameTints.data(), frameTints.size(), rgb32);
        QCOMPARE(got, want);
    }

    // The row-band distortion: on the straightforward frame, bands 0, 2, 4...
    // of D + 1 rows move 4 * D bytes left (at most all but one of the row's
    // bytes), their last bytes kept, and the others stay; the fast frame's
    // composed row is that row in RGB32, the padding read as 0.
    void distortionMovesAlternateBands_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("distortion");
        QTest::newRow("D=-3: nothing moves") << 16 << -3;
        QTest::newRow("D=0: nothing moves") << 16 << 0;
        QTest::newRow("D=1: bands of two rows, 4 bytes, the colours rotated") << 16 << 1;
        QTest::newRow("D=2: bands of three rows, 8 bytes") << 16 << 2;
        QTest::newRow("D=3: bands of four rows, 12 bytes, whole pixels") << 16 << 3;
        QTest::newRow("row padding dragged into view") << 213 << 1;
        QTest::newRow("more than the row: all but the first byte move") << 30 << (1 << 28);
        QTest::newRow("one pixel") << 1 << 1;
    }
    void distortionMovesAlternateBands()
    {
        QFETCH(int, width);
        QFETCH(int, distortion);
        const int height = 9;
        const QImage ramp = tintRamp(width + height);  // row y of the frame: the ramp from y on
        const auto source = [&](int y) { return reinterpret_cast<const uint32_t *>(ramp.constScanLine(1)) + y; };
        QImage frame(width, height, QImage::Format_RGB888);
        std::memset(frame.bits(), 0, size_t(frame.sizeInBytes()));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                std::memcpy(frame.scanLine(y) + 3 * x, source(y) + x, 3);
        const QImage before = frame.copy();
        distortRows(frame, distortion);
        const QImage shown = frame.convertToFormat(QImage::Format_RGB32);
        const int bytes = rgb888RowBytes(width);
        QCOMPARE(bytes, frame.bytesPerLine());
        const int shift = distortion > 0 ? std::min(4 * distortion, bytes - 1) : 0;
        for (int y = 0; y < height; ++y) {
            const bool moved = distortion > 0 && (y / (distortion + 1)) % 2 == 0;
            for (int i = 0; i < bytes; ++i) {
                const uchar want = moved && i < bytes - shift ? before.constScanLine(y)[i + shift] : before.constScanLine(y)[i];
                QVERIFY2(frame.constScanLine(y)[i] == want, qPrintable(QStringLiteral("row %1, byte %2").arg(y).arg(i)));
            }
            std::vector<uint32_t> out(static_cast<size_t>(width));
            composeRow(source(y), width, bytes, moved ? shift : 0, out.data());
            for (int x = 0; x < width; ++x)
                QVERIFY2(out[size_t(x)] == shown.pixel(x, y), qPrintable(QStringLiteral("row %1, pixel %2").arg(y).arg(x)));
        }
    }
};

QTEST_MAIN(TestRowKernels)
#include "test_rowkernels.moc"
