// The band workers: every band of every job runs once, on threads that stay
// in the normal scheduling class, and a band's failure reaches the caller;
// KARNVELDT_THREADS picks their number or is refused.
#include "bandworkers.h"

#include <QThread>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <stdexcept>
#include <thread>
#include <vector>

class TestBandWorkers : public QObject {
    Q_OBJECT

private slots:
    void everyBandRunsOnceInEveryJob_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("bands");
        QTest::newRow("1 thread, 5 bands") << 1 << 5;
        QTest::newRow("2 threads, 4 bands") << 2 << 4;
        QTest::newRow("3 threads, 1 band") << 3 << 1;
        QTest::newRow("3 threads, no band") << 3 << 0;
        QTest::newRow("8 threads, 64 bands") << 8 << 64;
    }
    void everyBandRunsOnceInEveryJob()
    {
        QFETCH(int, threads);
        QFETCH(int, bands);
        BandWorkers workers(threads);
        QCOMPARE(workers.threads(), threads);
        for (int job = 0; job < 200; ++job) {
            std::vector<std::atomic<int>> runs(size_t(bands) + 1);
            workers.run(bands, [&](int band) { ++runs[size_t(band)]; });
            for (int band = 0; band < bands; ++band)
                if (runs[size_t(band)] != 1)
                    QFAIL(qPrintable(QStringLiteral("job %1: band %2 ran %3 times").arg(job).arg(band).arg(runs[size_t(band)])));
        }
    }

    // Made by a real-time thread, as a pool made from the audio thread would be.
    void workersStayInTheNormalClass()
    {
        std::vector<int> policies;
        bool raised = false;
        std::thread maker([&] {
            const sched_param realtime{1};
            raised = pthread_setschedparam(pthread_self(), SCHED_RR, &realtime) == 0;
            if (!raised)
                return;
            BandWorkers workers(3);
            const pthread_t caller = pthread_self();
            std::mutex seen;
            workers.run(64, [&](int) {
                int policy = -1;
                sched_param parameters{};
                pthread_getschedparam(pthread_self(), &policy, &parameters);
                const std::lock_guard<std::mutex> lock(seen);
                if (!pthread_equal(pthread_self(), caller))
                    policies.push_back(policy);
                QThread::usleep(200);  // long enough for the workers to take bands too
            });
        });
        maker.join();
        if (!raised)
            QSKIP("this process may not use real-time scheduling");
        QVERIFY2(!policies.empty(), "no worker took a band");
        for (int policy : policies)
            QCOMPARE(policy, int(SCHED_OTHER));
    }

    void failureInABandReachesTheCaller()
    {
        BandWorkers workers(2);
        std::atomic<int> ran{0};
        bool caught = false;
        try {
            workers.run(8, [&](int band) {
                ++ran;
                if (band == 5)
                    throw std::runtime_error("band 5");
            });
        } catch (const std::runtime_error &error) {
            caught = QByteArray(error.what()) == "band 5";
        }
        QVERIFY(caught);
        QCOMPARE(ran.load(), 8);
        // And the pool still works.
        ran = 0;
        workers.run(8, [&](int) { ++ran; });
        QCOMPARE(ran.load(), 8);
    }

    void threadCountFromTheEnvironment_data()
    {
        QTest::addColumn<QByteArray>("value");  // null: not set
        QTest::addColumn<int>("threads");       // 0: refused
        QTest::newRow("not set") << QByteArray() << std::clamp(QThread::idealThreadCount(), 1, 64);
        QTest::newRow("1") << QByteArray("1") << 1;
        QTest::newRow("64") << QByteArray("64") << 64;
        QTest::newRow("0") << QByteArray("0") << 0;
        QTest::newRow("65") << QByteArray("65") << 0;
        QTest::newRow("-2") << QByteArray("-2") << 0;
        QTest::newRow("two") << QByteArray("two") << 0;
    }
    void threadCountFromTheEnvironment()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, threads);
        if (value.isNull())
            qunsetenv("KARNVELDT_THREADS");
        else
            qputenv("KARNVELDT_THREADS", value);
        QString error;
        QCOMPARE(frameThreads(&error), threads);
        QCOMPARE(error.isEmpty(), threads != 0);
        if (threads == 0)
            QVERIFY2(error.contains("KARNVELDT_THREADS") && error.contains(QString::fromLatin1(value)),
                     qPrintable(error));
        qunsetenv("KARNVELDT_THREADS");
    }
};

QTEST_MAIN(TestBandWorkers)
#include "test_bandworkers.moc"
