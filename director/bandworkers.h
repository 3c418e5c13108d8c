// A few threads, made once and kept, that share out one job in numbered
// bands: the frame's rows, say. The calling thread works too, so a pool for
// N threads has N - 1 workers and a pool for 1 runs everything where it is
// called. Workers stay in the normal scheduling class, whatever thread made
// them: the audio thread is the only one that asks for more.
#pragma once

#include <QString>

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QThread;

class BandWorkers {
public:
    explicit BandWorkers(int threads);
    ~BandWorkers();
    BandWorkers(const BandWorkers &) = delete;
    BandWorkers &operator=(const BandWorkers &) = delete;

    int threads() const { return int(workers.size()) + 1; }

    // Runs job(band) once for every band from 0 to bands - 1, spread over the
    // threads, and returns when all have run. Each thread owns a run of
    // bands, the same in every job of as many bands (the calling thread the
    // first), so that a band's memory stays in its thread's cache; a thread
    // done with its own takes the others' last ones not yet begun, so one
    // kept waiting for its core holds up no one. An exception thrown by a
    // band is thrown again here, after the others have finished.
    void run(int bands, const std::function<void(int band)> &job);

private:
    void work(int thread);
    void takeBands(int thread);

    // QThreads, not bare threads: Qt's font caches start timers on the
    // thread that draws text, which only a QThread can have.
    std::vector<std::unique_ptr<QThread>> workers;
    std::mutex mutex;
    std::condition_variable started;
    std::condition_variable finished;
    const std::function<void(int)> *currentJob = nullptr;
    int bandCount = 0;
    std::vector<int> firstLeft;  // per thread: its own bands not yet begun run from here...
    std::vector<int> endLeft;    // ...to here
    int bandsDone = 0;
    unsigned long jobNumber = 0;
    bool closing = false;
    std::exception_ptr failure;
};

// The threads a frame is composed on: KARNVELDT_THREADS when set (1 to 64),
// otherwise one per core. 0 when the variable holds anything else, with
// *error saying why.
int frameThreads(QString *error);
