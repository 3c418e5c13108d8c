// The fast frame against the straightforward one, pixel for pixel: every frame
// of a whole-song run at a small size, and the frames that matter most at
// full HD. Two shows run side by side, each with its own finale flag, so that
// the fast one also has to keep its effects' state right from frame to frame.
#include "changedspans.h"
#include "cuestep.h"
#include "framereference.h"
#include "scene.h"
#include "showfonts.h"
#include "showreplay.h"
#include "steptiming.h"
#include "window.h"
#include "xmpdevice.h"

#include <QImage>
#include <QScreen>
#include <QThread>
#include <QtTest>
#include <algorithm>
#include <cstring>
#include <memory>
#include <typeinfo>

namespace {

// One show: its scene, and the finale flag that the cue step keeps in a global.
struct Show {
    Scene scene;
    bool finaleSpawned = false;

    void enter() { bloodSpawned = finaleSpawned; }
    void leave() { finaleSpawned = bloodSpawned; }
};

// The straightforward frame; the image's row padding is zeroed first, since
// the distortion moves those bytes into view and the fast frame reads them as 0.
QImage referenceFrame(Show &show, QSize size, const xmp_frame_info &record)
{
    QImage image(size, QImage::Format_RGB888);
    std::memset(image.bits(), 0, size_t(image.sizeInBytes()));
    show.enter();
    renderFrameReference(show.scene, image, record);
    show.leave();
    return image;
}

QImage fastFrame(Show &show, QSize size, QImage::Format format, const xmp_frame_info &record)
{
    QImage image(size, format);
    image.fill(Qt::magenta);  // whatever the surface held before must not show
    show.enter();
    show.scene.renderFrame(image, record);
    show.leave();
    return image;
}

// As the window paints: composed first, then written onto a surface that
// keeps the frame before. Empty when it says rightly what it changed.
QString windowFrame(Show &show, QImage &surface, const xmp_frame_info &record)
{
    const QImage before = surface.copy();
    std::vector<RowSpan> changed;
    show.enter();
    show.scene.composeFrame(record, surface.size());
    show.scene.presentFrame(surface, &changed);
    show.leave();
    return wrongChangedSpan(before, surface, changed, surface.format() == QImage::Format_RGB32);
}

// Empty when equal; otherwise how many pixels differ and the first of them.
QString difference(const QImage &reference, const QImage &fast)
{
    if (reference.size() != fast.size())
        return QStringLiteral("sizes differ");
    // RGB32 to RGB888 is exact, and leaves rows that compare byte for byte.
    const QImage shown = fast.convertToFormat(QImage::Format_RGB888);
    const size_t rowBytes = size_t(3 * reference.width());
    int count = 0;
    QString first;
    for (int y = 0; y < reference.height(); ++y) {
        const uchar *want = reference.constScanLine(y);
        const uchar *got = shown.constScanLine(y);
        if (std::memcmp(want, got, rowBytes) == 0)
            continue;
        for (int x = 0; x < reference.width(); ++x) {
            if (std::memcmp(want + 3 * x, got + 3 * x, 3) == 0)
                continue;
            if (count++ == 0)
                first = QStringLiteral("(%1, %2) should be %3 but is %4")
                            .arg(x).arg(y).arg(reference.pixel(x, y) & 0xffffff, 6, 16, QLatin1Char('0'))
                            .arg(shown.pixel(x, y) & 0xffffff, 6, 16, QLatin1Char('0'));
        }
    }
    return count == 0 ? QString() : QStringLiteral("%1 pixels differ, first %2").arg(count).arg(first);
}

const SongRecords &song()
{
    static const SongRecords records = playWholeSong();
    return records;
}

} // namespace

class TestFastFrame : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerShowFonts();
        QVERIFY2(!song().records.empty(), "the music does not play");
    }

    void wholeSongMatchesFrameByFrame_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("format");
        QTest::newRow("640x360 onto RGB32") << QSize(640, 360) << int(QImage::Format_RGB32);
        // 3 * 213 bytes leave row padding, which the distortion drags into view.
        QTest::newRow("213x120 onto RGB888") << QSize(213, 120) << int(QImage::Format_RGB888);
    }

    void wholeSongMatchesFrameByFrame()
    {
        QFETCH(QSize, size);
        QFETCH(int, format);
        Show reference, fast;
        const size_t paints = stepsInSong(song(), 60);
        int distorted = 0, flashed = 0;
        for (size_t paint = 0; paint < paints; ++paint) {
            const xmp_frame_info &record = recordForStep(song(), qint64(paint), 60);
            const QImage want = referenceFrame(reference, size, record);
            const QImage got = fastFrame(fast, size, QImage::Format(format), record);
            const QString why = difference(want, got);
            if (!why.isEmpty())
                QFAIL(qPrintable(QStringLiteral("paint %1: %2").arg(paint).arg(why)));
            QCOMPARE(fast.scene.effects.size(), reference.scene.effects.size());
            distorted += want.pixel(0, 0) != want.pixel(size.width() - 1, size.height() - 1);
            flashed += qRed(want.pixel(size.width() / 2, 0)) > 50 + 20;
        }
        // The run has to have shown the hard cases, or it proves little.
        QVERIFY2(flashed > 100, qPrintable(QStringLiteral("only %1 frames with a flash").arg(flashed)));
        QVERIFY2(distorted > 100, qPrintable(QStringLiteral("only %1 frames not flat").arg(distorted)));
    }

    // The live window runs every step that is due and shows only the last:
    // the others are advanced without their picture, and must leave the
    // effects exactly as drawing them would.
    void skippedStepsAdvanceAsDrawnOnes_data()
    {
        QTest::addColumn<int>("every");
        QTest::newRow("every other step shown") << 2;
        QTest::newRow("every seventh step shown") << 7;
    }

    void skippedStepsAdvanceAsDrawnOnes()
    {
        QFETCH(int, every);
        const QSize size(320, 180);
        Show drawn, skipping;
        const size_t steps = stepsInSong(song(), defaultStepRate);
        for (size_t step = 0; step < steps; ++step) {
            const xmp_frame_info &record = recordForStep(song(), qint64(step), defaultStepRate);
            const QImage want = fastFrame(drawn, size, QImage::Format_RGB32, record);
            if (step % size_t(every) == size_t(every - 1)) {
                const QImage got = fastFrame(skipping, size, QImage::Format_RGB32, record);
                if (got != want)
                    QFAIL(qPrintable(QStringLiteral("step %1: %2").arg(step).arg(difference(want.convertToFormat(QImage::Format_RGB888), got))));
            } else {
                skipping.enter();
                skipping.scene.advance(record, size);
                skipping.leave();
            }
            QCOMPARE(skipping.scene.effects.size(), drawn.scene.effects.size());
        }
    }

    void chosenFramesMatchAtFullHd()
    {
        const QSize size(1920, 1080);
        const std::vector<ChosenFrame> frames = chooseFrames(song());
        QCOMPARE(int(frames.size()), 6);
        for (const ChosenFrame &frame : frames) {
            // The frame and the two after it, each show going on from its own state.
            Show reference, fast;
            bloodSpawned = false;
            frame.state.restoreInto(reference.scene);
            reference.leave();
            frame.state.restoreInto(fast.scene);
            fast.leave();
            for (long step = 0; step < 3; ++step) {
                const long paint = frame.paint < 0 ? -1 : frame.paint + step;
                const xmp_frame_info &record = paint < 0 ? frame.state.record()
                                                         : recordForStep(song(), paint, 60);
                const QImage want = referenceFrame(reference, size, record);
                const QImage got = fastFrame(fast, size, QImage::Format_RGB32, record);
                const QString why = difference(want, got);
                if (!why.isEmpty())
                    QFAIL(qPrintable(QStringLiteral("%1 frame, step %2: %3").arg(frame.name).arg(step).arg(why)));
            }
        }
    }

    // A frame composed on several threads, each painting its own bands of
    // rows, and written only after onto a surface that keeps the frame
    // before, which only the pixels it may change are painted for (as the
    // window does), has the bytes of the frame painted on one in one go, and
    // tells where it changed: stretches of the song
    // that between them draw every effect, at full HD onto the window's RGB32
    // and at 4K onto the capture's RGB888. Both shows reach each stretch
    // through steps without pictures.
    void threadsPaintTheSameBytes_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("threads");
        QTest::addColumn<double>("from");          // song seconds
        QTest::addColumn<QStringList>("drawing");  // effects the stretch must have alive
        const struct {
            const char *name;
            double from;
            QStringList drawing;
        } stretches[] = {
            {"a kill over a note", 11.05, {"Kill", "Note"}},
            {"sword strokes", 18.2, {"DrawSword", "Parry", "Miss"}},
            {"the busiest fight", 23.68, {"Parry", "Miss", "Kill", "Snare"}},
            {"a shake over the blood", 67.3, {"Discord", "Blood", "Snare", "Parry"}},
            {"the title", 71.0, {"Blood"}},
            {"the credits into the blackout", 85.58, {"Blood", "Kill"}},
        };
        const int cores = std::max(2, QThread::idealThreadCount());
        for (const auto &stretch : stretches) {
            QTest::addRow("%s, 1920x1080, 3 threads", stretch.name)
                << QSize(1920, 1080) << int(QImage::Format_RGB32) << 3 << stretch.from << stretch.drawing;
            QTest::addRow("%s, 3840x2160, %d threads", stretch.name, cores)
                << QSize(3840, 2160) << int(QImage::Format_RGB888) << cores << stretch.from << stretch.drawing;
        }
    }

    void threadsPaintTheSameBytes()
    {
        QFETCH(QSize, size);
        QFETCH(int, format);
        QFETCH(int, threads);
        QFETCH(double, from);
        QFETCH(QStringList, drawing);
        // On a thread of its own, as a show's threads start: FreeType keeps
        // per-thread hinting state that drawing some glyphs changes (the
        // credits' bold 40-pixel glyphs shift the bold outlines drawn after
        // them by a level here and there), and the tests before this one
        // have drawn on the test's thread.
        QString failure;
        QStringList alive;
        // A QThread, since Qt's font cache starts timers on the thread that draws text.
        const std::unique_ptr<QThread> fresh(QThread::create([&] {
            Show one, many;
            many.scene.setThreads(threads);
            many.scene.setKeptTarget(true);
            QImage surface(size, QImage::Format(format));
            surface.fill(Qt::magenta);
            const qint64 first = qint64(from * defaultStepRate);
            for (qint64 step = 0; step < first; ++step) {
                for (Show *show : {&one, &many}) {
                    show->enter();
                    show->scene.advance(recordForStep(song(), step, defaultStepRate), size);
                    show->leave();
                }
            }
            for (qint64 step = first; step < first + 8 && failure.isEmpty(); ++step) {
                const xmp_frame_info &record = recordForStep(song(), step, defaultStepRate);
                const QImage want = fastFrame(one, size, QImage::Format(format), record);
                const QString flags = windowFrame(many, surface, record);
                if (surface != want)
                    failure = QStringLiteral("step %1: %2").arg(step).arg(
                        difference(want.convertToFormat(QImage::Format_RGB888), surface));
                else if (!flags.isEmpty())
                    failure = QStringLiteral("step %1: %2").arg(step).arg(flags);
                for (int i = 0; i < one.scene.effects.size(); ++i)
                    alive << QString::fromLatin1(typeid(*one.scene.effects.at(i)).name());
            }
        }));
        fresh->start();
        fresh->wait();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        for (const QString &effect : drawing)
            QVERIFY2(!alive.filter(effect + "DrawCommand").isEmpty(), qPrintable(effect + " is not in the stretch"));
    }

    void windowShowsTheStraightforwardFrame()
    {
        // The device is only played by hand here, so every paint sees the same
        // record: that of the busiest moment of the song.
        struct HandPlayed : XmpDevice {
            using XmpDevice::readData;
        };
        HandPlayed device;
        QVERIFY(device.open(QIODevice::ReadOnly));
        const std::vector<ChosenFrame> frames = chooseFrames(song());
        const auto busiest = std::find_if(frames.begin(), frames.end(),
                                          [](const ChosenFrame &f) { return std::strcmp(f.name, "busiest") == 0; });
        QVERIFY(busiest != frames.end());
        const qint64 playerFrame = playerFrameForStep(busiest->paint, 60, songSamplesPerPlayerFrame);
        char sound[4 * songSamplesPerPlayerFrame];
        for (qint64 i = 0; i <= playerFrame; ++i)
            QCOMPARE(device.readData(sound, sizeof sound), qint64(sizeof sound));
        const xmp_frame_info record = device.recordAt(device.handedSample() - 1);

        // Grabs what the window shows after its third paint, before a fourth can come.
        struct GrabbingWindow : Window {
            using Window::Window;
            void paint() override
            {
                Window::paint();
                if (++paints == 3)
                    shown = screen()->grabWindow(winId()).toImage();
            }
            int paints = 0;
            QImage shown;
        };
        bloodSpawned = false;
        GrabbingWindow window(&device, nullptr, 120);
        window.resize(320, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(!window.shown.isNull());

        Show reference;
        QImage want;
        for (int paint = 0; paint < 3; ++paint)
            want = referenceFrame(reference, QSize(320, 200), record);
        const QString why = difference(want, window.shown.convertToFormat(QImage::Format_RGB32));
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QVERIFY2(qRed(want.pixel(160, 0)) > 100, "the frame shows no snare flash");
    }
};

QTEST_MAIN(TestFastFrame)
#include "test_fastframe.moc"
