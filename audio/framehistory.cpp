#include "framehistory.h"

#include <cstring>

namespace {

struct Locked {
    explicit Locked(pthread_mutex_t &mutex) : mutex(mutex) { pthread_mutex_lock(&mutex); }
    ~Locked() { pthread_mutex_unlock(&mutex); }
    pthread_mutex_t &mutex;
};

} // namespace

FrameHistory::FrameHistory(int capacity)
    : entries(size_t(capacity))
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
    pthread_mutex_init(&lock, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

FrameHistory::~FrameHistory()
{
    pthread_mutex_destroy(&lock);
}

void FrameHistory::add(qint64 startSample, const xmp_frame_info &record)
{
    Locked locked(lock);
    entries[next] = Entry{startSample, record};
    next = (next + 1) % entries.size();
    count = qMin(count + 1, entries.size());
}

xmp_frame_info FrameHistory::recordAt(qint64 sample, qint64 *startSample) const
{
    Locked locked(lock);
    // Newest first: the frame looked for is almost always among the last few.
    for (size_t i = 1; i <= count; ++i) {
        const Entry &entry = entries[(next + entries.size() - i) % entries.size()];
        if (entry.startSample <= sample || (i == count && sample >= 0)) {
            if (startSample)
                *startSample = entry.startSample;
            return entry.record;
        }
    }
    if (startSample)
        *startSample = -1;
    xmp_frame_info nothingYet;
    std::memset(&nothingYet, 0, sizeof nothingYet);
    return nothingYet;
}
