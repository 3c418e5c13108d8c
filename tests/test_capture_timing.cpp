// The capture's frame arithmetic: which player frame a painted frame sees,
// which painted frame a video frame takes, and what a --from/--to range holds.
#include "../tools/capture/capturetiming.h"

#include <QtTest>

namespace {

constexpr int showSamplesPerFrame = 648;  // 44,100 * 2.5 / 170 BPM, fraction dropped

} // namespace

class TestCaptureTiming : public QObject {
    Q_OBJECT

private slots:
    void playerFrameForPaint_data()
    {
        QTest::addColumn<qint64>("paint");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("samplesPerFrame");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("first paint comes before any sound") << qint64(0) << 120 << showSamplesPerFrame << qint64(-1);
        QTest::newRow("paint 1 at 8.3 ms is still in frame 0 (14.7 ms)") << qint64(1) << 120 << showSamplesPerFrame << qint64(0);
        QTest::newRow("paint 2 at 16.7 ms is in frame 1") << qint64(2) << 120 << showSamplesPerFrame << qint64(1);
        QTest::newRow("paint 2179 at 18.158 s") << qint64(2179) << 120 << showSamplesPerFrame << qint64(1235);
        QTest::newRow("frame start exactly on the paint counts") << qint64(7) << 100 << 441 << qint64(7);
        QTest::newRow("slow painting skips frames") << qint64(3) << 50 << 441 << qint64(6);
        QTest::newRow("fast painting repeats frames") << qint64(5) << 200 << 441 << qint64(2);
    }
    void playerFrameForPaint()
    {
        QFETCH(qint64, paint);
        QFETCH(int, rate);
        QFETCH(int, samplesPerFrame);
        QFETCH(qint64, expected);
        QCOMPARE(::playerFrameForPaint(paint, rate, samplesPerFrame), expected);
    }

    // For every paint of a whole song after the first: the frame seen starts at
    // or before the paint's time, and the next frame starts after it.
    void playerFrameIsTheNewestStartedOne()
    {
        for (int rate : {24, 60, 120, 144, 1000}) {
            for (qint64 paint = 1; paint < 12000; ++paint) {
                const qint64 frame = ::playerFrameForPaint(paint, rate, showSamplesPerFrame);
                // start(i) <= paint / rate, scaled to integers by rate * 44,100.
                const qint64 paintTime = paint * captureSampleRate;
                if (!(frame * showSamplesPerFrame * rate <= paintTime
                      && (frame + 1) * showSamplesPerFrame * rate > paintTime))
                    QFAIL(qPrintable(QString("rate %1, paint %2 sees frame %3").arg(rate).arg(paint).arg(frame)));
            }
        }
    }

    void paintsInSong_data()
    {
        QTest::addColumn<qint64>("playerFrames");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("samplesPerFrame");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("the show's song at 120: 90.015 s") << qint64(6126) << 120 << showSamplesPerFrame << qint64(10802);
        QTest::newRow("the show's song at 60") << qint64(6126) << 60 << showSamplesPerFrame << qint64(5401);
        QTest::newRow("one frame of 14.7 ms at 120") << qint64(1) << 120 << showSamplesPerFrame << qint64(2);
        QTest::newRow("song ending exactly on a paint") << qint64(100) << 100 << 441 << qint64(100);
    }
    void paintsInSong()
    {
        QFETCH(qint64, playerFrames);
        QFETCH(int, rate);
        QFETCH(int, samplesPerFrame);
        QFETCH(qint64, expected);
        QCOMPARE(::paintsInSong(playerFrames, rate, samplesPerFrame), expected);
        // The last paint still sees the song, the one after it would not.
        QVERIFY2(::playerFrameForPaint(expected - 1, rate, samplesPerFrame) < playerFrames, "last paint is past the song");
        QVERIFY2(::playerFrameForPaint(expected, rate, samplesPerFrame) >= playerFrames, "one paint too few");
    }

    void paintForVideoFrame_data()
    {
        QTest::addColumn<qint64>("video");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("fps");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("first video frame") << qint64(0) << 120 << 60 << qint64(0);
        QTest::newRow("every other paint at 120/60") << qint64(7) << 120 << 60 << qint64(14);
        QTest::newRow("2.5 is a tie: the earlier") << qint64(1) << 120 << 48 << qint64(2);
        QTest::newRow("7.5 is a tie: the earlier") << qint64(3) << 120 << 48 << qint64(7);
        QTest::newRow("1.67 rounds up") << qint64(1) << 100 << 60 << qint64(2);
        QTest::newRow("3.33 rounds down") << qint64(2) << 100 << 60 << qint64(3);
        QTest::newRow("video faster than painting repeats paints") << qint64(3) << 30 << 60 << qint64(1);
        QTest::newRow("0.42 rounds down") << qint64(1) << 25 << 60 << qint64(0);
    }
    void paintForVideoFrame()
    {
        QFETCH(qint64, video);
        QFETCH(int, rate);
        QFETCH(int, fps);
        QFETCH(qint64, expected);
        QCOMPARE(::paintForVideoFrame(video, rate, fps), expected);
    }

    // |paint - video * rate / fps| <= 1/2, and a tie goes to the earlier paint.
    void paintForVideoFrameIsTheNearest()
    {
        for (int rate : {24, 50, 60, 120, 144})
            for (int fps : {24, 25, 30, 48, 60, 120})
                for (qint64 video = 0; video < 2000; ++video) {
                    const qint64 paint = ::paintForVideoFrame(video, rate, fps);
                    const qint64 twiceError = 2 * paint * fps - 2 * video * rate;  // in units of 1 / (2 fps)
                    if (!(twiceError >= -fps && twiceError < fps))
                        QFAIL(qPrintable(QString("rate %1, fps %2, video %3 takes paint %4")
                                             .arg(rate).arg(fps).arg(video).arg(paint)));
                }
    }

    void firstAt_data()
    {
        QTest::addColumn<qint64>("microseconds");
        QTest::addColumn<int>("fps");
        QTest::addColumn<qint64>("video");
        QTest::addColumn<qint64>("sample");
        QTest::newRow("song start") << qint64(0) << 60 << qint64(0) << qint64(0);
        QTest::newRow("a whole second is exact") << qint64(1000000) << 60 << qint64(60) << qint64(44100);
        QTest::newRow("18.16 s rounds up") << qint64(18160000) << 60 << qint64(1090) << qint64(800856);
        QTest::newRow("one microsecond in") << qint64(1) << 60 << qint64(1) << qint64(1);
    }
    void firstAt()
    {
        QFETCH(qint64, microseconds);
        QFETCH(int, fps);
        QFETCH(qint64, video);
        QFETCH(qint64, sample);
        QCOMPARE(firstVideoFrameAt(microseconds, fps), video);
        QCOMPARE(firstSampleAt(microseconds), sample);
    }

    void planCapture_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<int>("fps");
        QTest::addColumn<qint64>("firstVideo");
        QTest::addColumn<qint64>("endVideo");
        QTest::addColumn<qint64>("paintCount");
        QTest::addColumn<qint64>("firstSample");
        QTest::addColumn<qint64>("endSample");
        // The show's song: 6,126 frames of 648 samples = 3,969,648 samples, 90.015 s.
        QTest::newRow("whole song") << qint64(0) << qint64(-1) << 60
                                    << qint64(0) << qint64(5401) << qint64(10801) << qint64(0) << qint64(3969648);
        QTest::newRow("around the first snare") << qint64(18160000) << qint64(18500000) << 60
                                                << qint64(1090) << qint64(1110) << qint64(2219)
                                                << qint64(800856) << qint64(815850);
        QTest::newRow("whole seconds") << qint64(1000000) << qint64(2000000) << 25
                                       << qint64(25) << qint64(50) << qint64(236) << qint64(44100) << qint64(88200);
        QTest::newRow("to past the end is cut") << qint64(89000000) << qint64(95000000) << 60
                                                << qint64(5340) << qint64(5401) << qint64(10801)
                                                << qint64(3924900) << qint64(3969648);
        QTest::newRow("from past the end is empty") << qint64(95000000) << qint64(-1) << 60
                                                    << qint64(5401) << qint64(5401) << qint64(0)
                                                    << qint64(3969648) << qint64(3969648);
        QTest::newRow("a range between two video frames is empty") << qint64(1001000) << qint64(1010000) << 60
                                                                   << qint64(61) << qint64(61) << qint64(0)
                                                                   << qint64(44145) << qint64(44541);
    }
    void planCapture()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(int, fps);
        const CapturePlan plan = ::planCapture(6126, showSamplesPerFrame, 120, fps, from, to);
        QTEST(plan.firstVideoFrame, "firstVideo");
        QTEST(plan.endVideoFrame, "endVideo");
        QTEST(plan.paintCount, "paintCount");
        QTEST(plan.firstSample, "firstSample");
        QTEST(plan.endSample, "endSample");
    }

    // The last video frames of a song may lie nearer a paint that the song no
    // longer has; they take the last paint instead.
    void videoFramesAtTheEndTakeTheLastPaint()
    {
        // One frame (14.7 ms) painted at 120 (paints 0 and 1), written at 1000 fps.
        const CapturePlan plan = ::planCapture(1, showSamplesPerFrame, 120, 1000, 0, -1);
        QCOMPARE(plan.endVideoFrame, qint64(15));
        QCOMPARE(plan.paintCount, qint64(2));
        QCOMPARE(::paintForVideoFrame(14, 120, 1000), qint64(2));
        QCOMPARE(plan.paintFor(14, 120, 1000), qint64(1));
        QCOMPARE(plan.paintFor(4, 120, 1000), qint64(0));
    }
};

QTEST_APPLESS_MAIN(TestCaptureTiming)
#include "test_capture_timing.moc"
