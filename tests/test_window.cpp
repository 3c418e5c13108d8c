// The frame loop: what an empty frame looks like, and which keys end the show.
#include "eventloop.h"
#include "painttrace.h"
#include "showclock.h"
#include "stepschedule.h"
#include "scene.h"
#include "window.h"
#include "xmpdevice.h"

#include <QImage>
#include <QKeyEvent>
#include <QTemporaryFile>
#include <QtTest>
#include <cstring>

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void emptyFrameIsTheBackgroundEverywhere()
    {
        Scene scene;
        xmp_frame_info zero;
        std::memset(&zero, 0, sizeof zero);
        QImage image(1920, 1080, QImage::Format_RGB888);
        image.fill(Qt::white);
        // A zeroed record spawns five inert kicks, which must leave no trace.
        scene.renderFrame(image, zero);
        QVERIFY(scene.effects.isEmpty());
        const QColor background(50, 45, 40);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) != background)
                    QFAIL(qPrintable(QString("pixel (%1, %2) is not the background").arg(x).arg(y)));
    }

    void escapeQuits()
    {
        XmpDevice device;
        Window window(&device, nullptr, 120);
        QTimer::singleShot(0, [&] {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(&window, &escape);
        });
        QCOMPARE(exitCodeWithin(2000), 0);
    }

    void otherKeysAndReleasesDoNothing()
    {
        XmpDevice device;
        Window window(&device, nullptr, 120);
        QTimer::singleShot(0, [&] {
            for (int key : {int(Qt::Key_Space), int(Qt::Key_Q), int(Qt::Key_Return), int(Qt::Key_Enter)}) {
                QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                QCoreApplication::sendEvent(&window, &press);
            }
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(&window, &release);
        });
        QCOMPARE(exitCodeWithin(300), 99);
    }

    void literalWindowKeepsRepaintingByItself()
    {
        XmpDevice device;
        QVERIFY(device.open(QIODevice::ReadOnly));
        CountingWindow window(&device, nullptr, 120);
        window.resize(320, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // No input and no audio: each paint must ask for the next.
        QTest::qWait(300);
        QVERIFY2(window.paints > 5, qPrintable(QString("only %1 paints").arg(window.paints)));
    }

    // A paint shows the newest step the clock has reached, or the next one
    // when it comes due within the time a frame is composed ahead, and none
    // comes while the clock stands still.
    void paintsFollowTheClock()
    {
        struct HandClock : ShowClock {
            qint64 heardSample() override { return heard; }
            qint64 heard = 0;
        } clock;
        QTemporaryFile traceFile;
        QVERIFY(traceFile.open());
        QString error;
        PaintTrace trace;
        QVERIFY(trace.open(traceFile.fileName(), &error));
        XmpDevice device;
        QVERIFY(device.open(QIODevice::ReadOnly));
        CountingWindow window(&device, &clock, 120);
        window.setTrace(&trace);
        window.resize(320, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(200);
        const int paintsAtRest = window.paints;
        QVERIFY2(paintsAtRest <= 3, qPrintable(QString("%1 paints with the clock at rest").arg(paintsAtRest)));
        // Step 1 and step 8 lie within the composing time ahead of the clock; 2 and 9 do not.
        const QList<int> atRest{0, 1};
        QTRY_COMPARE(paintedSteps(traceFile), atRest);
        clock.heard = stepSample(7, 120) + 5;
        const QList<int> moved{0, 1, 7, 8};
        QTRY_COMPARE(paintedSteps(traceFile), moved);
        QTest::qWait(100);
        QCOMPARE(paintedSteps(traceFile), moved);
    }

private:
    struct CountingWindow : Window {
        using Window::Window;
        void paint() override
        {
            ++paints;
            Window::paint();
        }
        int paints = 0;
    };

    // The step of each trace line.
    static QList<int> paintedSteps(QFile &trace)
    {
        QList<int> steps;
        trace.seek(0);
        for (const QByteArray &line : trace.readAll().split('\n'))
            if (!line.isEmpty() && !line.startsWith('#'))
                steps << line.split(' ').at(3).toInt();
        return steps;
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
