// The flash analysis on made-up frames: what a cell measures, and which
// flashing patches fail by rate, area and kind.
#include "../tools/capture/flashanalysis.h"
#include "snaredrawcommand.h"

#include <QPainter>
#include <QtTest>
#include <cmath>

namespace {

constexpr int fps = 60;
const QSize frameSize(320, 180);

QImage filled(const QColor &colour, QImage::Format format)
{
    QImage image(frameSize, format);
    image.fill(colour);
    return image;
}

// A pixel of `under` seen through `snares` gentle snare glows at their brightest.
QColor gentleGlowOver(const QColor &under, int snares = 1)
{
    QImage image(1, 1, QImage::Format_RGB888);
    image.fill(under);
    QPainter painter(&image);
    for (int i = 0; i < snares; ++i)
        SnareDrawCommand(20, 1).draw(painter);
    painter.end();
    return image.pixelColor(0, 0);
}

} // namespace

class TestCaptureFlashAnalysis : public QObject {
    Q_OBJECT

private slots:
    void measure_data()
    {
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<double>("luminance");
        QTest::addColumn<double>("red");
        QTest::addColumn<bool>("saturatedRed");
        QTest::newRow("black") << QColor(0, 0, 0) << 0.0 << 0.0 << false;
        QTest::newRow("white") << QColor(255, 255, 255) << 1.0 << 0.0 << false;
        QTest::newRow("pure red") << QColor(255, 0, 0) << 0.2126 << 320.0 << true;
        QTest::newRow("mid grey") << QColor(128, 128, 128) << 0.2159 << 0.0 << false;
        // The snare's peak over the background: dark, but a saturated red.
        QTest::newRow("snare peak") << QColor(118, 30, 27) << 0.0484 << 50.3 << true;
        QTest::newRow("background") << QColor(50, 45, 40) << 0.0271 << 0.0 << false;
    }
    void measure()
    {
        QFETCH(QColor, colour);
        QFETCH(double, luminance);
        QFETCH(double, red);
        QFETCH(bool, saturatedRed);
        for (QImage::Format format : {QImage::Format_RGB888, QImage::Format_RGB32, QImage::Format_ARGB32}) {
            const FlashCells cells = measureFlashCells(filled(colour, format), flashGrid(frameSize));
            const QString where = QStringLiteral("format %1").arg(int(format));
            QVERIFY2(qAbs(cells.luminance[500] - luminance) < 0.0005,
                     qPrintable(where + QStringLiteral(": luminance %1").arg(cells.luminance[500])));
            QVERIFY2(qAbs(cells.red[500] - red) < 0.2, qPrintable(where + QStringLiteral(": red %1").arg(cells.red[500])));
            QCOMPARE(cells.saturatedRed[500] != 0, saturatedRed);
        }
    }

    void gridIsAtMost160By90()
    {
        QCOMPARE(flashGrid(QSize(1920, 1080)), QSize(160, 90));
        QCOMPARE(flashGrid(QSize(100, 1000)), QSize(100, 90));
    }

    // Two seconds of a patch centred in the frame switching between two
    // colours at a rate, the rest of the frame staying dark.
    void flashes_data()
    {
        QTest::addColumn<double>("hertz");
        QTest::addColumn<double>("side");  // of the patch, as a share of the frame's width and height
        QTest::addColumn<QColor>("off");
        QTest::addColumn<QColor>("on");
        QTest::addColumn<QString>("found");  // "kind count" for each kind failing, the most in a second, or "none"
        const QColor black(0, 0, 0);
        const QColor red(255, 0, 0);
        const QColor grey(128, 128, 128);
        const QColor white(255, 255, 255);
        // Grey 128 is as bright as pure red: a flash of colour only.
        QTest::newRow("4 Hz full-screen red") << 4.0 << 1.0 << grey << red << "red 4";
        QTest::newRow("2 Hz full-screen red") << 2.0 << 1.0 << grey << red << "none";
        QTest::newRow("3 Hz full-screen red: 3 are allowed") << 3.0 << 1.0 << grey << red << "none";
        QTest::newRow("4 Hz red on a tenth of the screen") << 4.0 << 0.1 << grey << red << "none";
        QTest::newRow("4 Hz red on a fifth: over a quarter of a field") << 4.0 << 0.2 << grey << red << "red 4";
        QTest::newRow("4 Hz black to red: both kinds") << 4.0 << 1.0 << black << red << "general 4, red 4";
        QTest::newRow("6 Hz snare tint over the background") << 6.0 << 1.0 << QColor(50, 45, 40)
                                                           << QColor(118, 30, 27) << "red 6";
        QTest::newRow("4 Hz grey to white") << 4.0 << 1.0 << grey << white << "general 4";
        QTest::newRow("4 Hz light grey to white: darker state above 0.8") << 4.0 << 1.0 << QColor(235, 235, 235)
                                                                           << white << "none";
        // The gentle snare's glow, flashing faster than the song's snares ever come.
        const QColor background(50, 45, 40);
        const QColor blood = QColor(Qt::red).darker(120);
        QTest::newRow("6 Hz gentle snare over the background") << 6.0 << 1.0 << background
                                                               << gentleGlowOver(background) << "none";
        QTest::newRow("6 Hz two gentle snares at once over the background") << 6.0 << 1.0 << background
                                                                            << gentleGlowOver(background, 2) << "none";
        QTest::newRow("6 Hz two gentle snares at once over white") << 6.0 << 1.0 << white
                                                                   << gentleGlowOver(white, 2) << "none";
        QTest::newRow("6 Hz two gentle snares at once over blood") << 6.0 << 1.0 << blood
                                                                   << gentleGlowOver(blood, 2) << "none";
        QTest::newRow("4 Hz change of 0.065 in luminance") << 4.0 << 1.0 << QColor(50, 45, 40)
                                                          << QColor(90, 85, 80) << "none";
    }
    void flashes()
    {
        QFETCH(double, hertz);
        QFETCH(double, side);
        QFETCH(QColor, off);
        QFETCH(QColor, on);
        QFETCH(QString, found);
        const QSize grid = flashGrid(frameSize);
        FlashAnalysis analysis(grid, fps);
        const QRectF patch(frameSize.width() * (1 - side) / 2, frameSize.height() * (1 - side) / 2,
                           frameSize.width() * side, frameSize.height() * side);
        for (int frame = 0; frame < 2 * fps; ++frame) {
            QImage image = filled(black(), QImage::Format_RGB888);
            const bool lit = std::fmod(frame * hertz / fps, 1.0) < 0.5;
            QPainter(&image).fillRect(patch, lit ? on : off);
            analysis.add(measureFlashCells(image, grid), double(frame) / fps);
        }
        const std::vector<FlashStretch> stretches = analysis.stretches();
        int most[2] = {0, 0};
        for (const FlashStretch &stretch : stretches) {
            int &kindMost = most[stretch.kind == FlashKind::Red ? 1 : 0];
            kindMost = std::max(kindMost, stretch.count);
            QVERIFY2(describeFlashStretch(stretch).contains(QStringLiteral("%1 %2 flashes").arg(stretch.count)
                                                                .arg(stretch.kind == FlashKind::Red ? "red" : "general")),
                     qPrintable(describeFlashStretch(stretch)));
        }
        QStringList failing;
        if (most[0] > 0)
            failing << QStringLiteral("general %1").arg(most[0]);
        if (most[1] > 0)
            failing << QStringLiteral("red %1").arg(most[1]);
        QCOMPARE(failing.isEmpty() ? QStringLiteral("none") : failing.join(", "), found);
        QCOMPARE(analysis.frames(), 2 * fps);
        const QString summary = flashCheckSummary(stretches, analysis.frames(), 0, 2, frameSize, fps);
        QVERIFY2(summary.contains(found == "none" ? "passed" : "FAILED"), qPrintable(summary));
    }

private:
    static QColor black() { return QColor(0, 0, 0); }
};

QTEST_APPLESS_MAIN(TestCaptureFlashAnalysis)
#include "test_capture_flashanalysis.moc"
