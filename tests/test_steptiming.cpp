// Which player frame a step sees, and how many steps a song holds: the live
// window, the capture and the benchmark all count with these.
#include "steptiming.h"

#include <QtTest>

namespace {

constexpr int showSamplesPerFrame = 648;  // 44,100 * 2.5 / 170 BPM, fraction dropped

} // namespace

class TestStepTiming : public QObject {
    Q_OBJECT

private slots:
    void playerFrameForStep_data()
    {
        QTest::addColumn<qint64>("step");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("samplesPerFrame");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("first step comes before any sound") << qint64(0) << 120 << showSamplesPerFrame << qint64(-1);
        QTest::newRow("step 1 at 8.3 ms is still in frame 0 (14.7 ms)") << qint64(1) << 120 << showSamplesPerFrame << qint64(0);
        QTest::newRow("step 2 at 16.7 ms is in frame 1") << qint64(2) << 120 << showSamplesPerFrame << qint64(1);
        QTest::newRow("step 2179 at 18.158 s") << qint64(2179) << 120 << showSamplesPerFrame << qint64(1235);
        QTest::newRow("frame start exactly on the step counts") << qint64(7) << 100 << 441 << qint64(7);
        QTest::newRow("slow stepping skips frames") << qint64(3) << 50 << 441 << qint64(6);
        QTest::newRow("fast stepping repeats frames") << qint64(5) << 200 << 441 << qint64(2);
    }
    void playerFrameForStep()
    {
        QFETCH(qint64, step);
        QFETCH(int, rate);
        QFETCH(int, samplesPerFrame);
        QFETCH(qint64, expected);
        QCOMPARE(::playerFrameForStep(step, rate, samplesPerFrame), expected);
    }

    // For every step of a whole song after the first: the frame seen starts at
    // or before the step's time, and the next frame starts after it.
    void playerFrameIsTheNewestStartedOne()
    {
        for (int rate : {24, 60, 120, 144, 1000}) {
            for (qint64 step = 1; step < 12000; ++step) {
                const qint64 frame = ::playerFrameForStep(step, rate, showSamplesPerFrame);
                // start(i) <= step / rate, scaled to integers by rate * 44,100.
                const qint64 stepTime = step * songSampleRate;
                if (!(frame * showSamplesPerFrame * rate <= stepTime
                      && (frame + 1) * showSamplesPerFrame * rate > stepTime))
                    QFAIL(qPrintable(QString("rate %1, step %2 sees frame %3").arg(rate).arg(step).arg(frame)));
            }
        }
    }

    void stepsInSong_data()
    {
        QTest::addColumn<qint64>("playerFrames");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("samplesPerFrame");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("the show's song at 120: 90.015 s") << qint64(6126) << 120 << showSamplesPerFrame << qint64(10802);
        QTest::newRow("the show's song at 60") << qint64(6126) << 60 << showSamplesPerFrame << qint64(5401);
        QTest::newRow("one frame of 14.7 ms at 120") << qint64(1) << 120 << showSamplesPerFrame << qint64(2);
        QTest::newRow("song ending exactly on a step") << qint64(100) << 100 << 441 << qint64(100);
    }
    void stepsInSong()
    {
        QFETCH(qint64, playerFrames);
        QFETCH(int, rate);
        QFETCH(int, samplesPerFrame);
        QFETCH(qint64, expected);
        QCOMPARE(::stepsInSong(playerFrames, rate, samplesPerFrame), expected);
        // The last step still sees the song, the one after it would not.
        QVERIFY2(::playerFrameForStep(expected - 1, rate, samplesPerFrame) < playerFrames, "last step is past the song");
        QVERIFY2(::playerFrameForStep(expected, rate, samplesPerFrame) >= playerFrames, "one step too few");
    }
};

QTEST_APPLESS_MAIN(TestStepTiming)
#include "test_steptiming.moc"
