// The capture's frame arithmetic: which painted frame a video frame takes,
// and what a --from/--to range holds.
#include "../tools/capture/capturetiming.h"

#include <QtTest>

namespace {

constexpr int showSamplesPerFrame = 648;  // 44,100 * 2.5 / 170 BPM, fraction dropped

} // namespace

class TestCaptureTiming : public QObject {
    Q_OBJECT

private slots:
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
