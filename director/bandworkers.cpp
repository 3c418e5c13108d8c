#include "bandworkers.h"

#include <QThread>
#include <QtGlobal>

#include <algorithm>
#include <pthread.h>
#include <sched.h>
#include <utility>

namespace {

constexpr int mostThreads = 64;

} // namespace

BandWorkers::BandWorkers(int threads)
{
    for (int i = 1; i < std::clamp(threads, 1, mostThreads); ++i) {
        workers.emplace_back(QThread::create([this, i] { work(i); }));
        workers.back()->setObjectName(QStringLiteral("frame-band"));
        workers.back()->start();
    }
    firstLeft.assign(workers.size() + 1, 0);
    endLeft.assign(workers.size() + 1, 0);
}

BandWorkers::~BandWorkers()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        closing = true;
    }
    started.notify_all();
    for (const std::unique_ptr<QThread> &worker : workers)
        worker->wait();
}

void BandWorkers::run(int bands, const std::function<void(int band)> &job)
{
    // One band is not worth waking anyone for.
    if (workers.empty() || bands <= 1) {
        for (int band = 0; band < bands; ++band)
            job(band);
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex);
        currentJob = &job;
        bandCount = bands;
        for (int thread = 0; thread < threads(); ++thread) {
            firstLeft[size_t(thread)] = bands * thread / threads();
            endLeft[size_t(thread)] = bands * (thread + 1) / threads();
        }
        bandsDone = 0;
        failure = nullptr;
        ++jobNumber;
    }
    started.notify_all();
    takeBands(0);
    // Only the bands are waited for: a worker that has not woken yet (its
    // core busy) leaves its share to the others instead of holding them up.
    std::unique_lock<std::mutex> lock(mutex);
    finished.wait(lock, [this] { return bandsDone == bandCount; });
    currentJob = nullptr;
    if (failure)
        std::rethrow_exception(std::exchange(failure, nullptr));
}

void BandWorkers::takeBands(int thread)
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        int band = -1;
        if (firstLeft[size_t(thread)] < endLeft[size_t(thread)]) {
            band = firstLeft[size_t(thread)]++;
        } else {
            for (size_t other = 0; other < endLeft.size() && band < 0; ++other)
                if (firstLeft[other] < endLeft[other])
                    band = --endLeft[other];
        }
        if (band < 0)
            return;
        const std::function<void(int)> *job = currentJob;
        lock.unlock();
        std::exception_ptr thrown;
        try {
            (*job)(band);
        } catch (...) {
            thrown = std::current_exception();
        }
        lock.lock();
        if (thrown && !failure)
            failure = thrown;
        if (++bandsDone == bandCount)
            finished.notify_all();
    }
}

void BandWorkers::work(int thread)
{
    // A thread inherits its maker's class: made from a real-time thread, it
    // would take the core the sound needs. Frame work is never real-time.
    const sched_param normal{};
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
    unsigned long seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            started.wait(lock, [&] { return closing || jobNumber != seen; });
            if (closing)
                return;
            seen = jobNumber;
        }
        takeBands(thread);
    }
}

int frameThreads(QString *error)
{
    const QByteArray wanted = qgetenv("KARNVELDT_THREADS");
    if (wanted.isEmpty())
        return std::clamp(QThread::idealThreadCount(), 1, mostThreads);
    bool ok = false;
    const int threads = wanted.toInt(&ok);
    if (ok && threads >= 1 && threads <= mostThreads)
        return threads;
    *error = QStringLiteral("KARNVELDT_THREADS must be a whole number from 1 to %1, not \"%2\"")
                 .arg(mostThreads)
                 .arg(QString::fromLocal8Bit(wanted));
    return 0;
}
