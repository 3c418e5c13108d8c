#include "frameclock.h"

#include "samplerate.h"
#include "stepschedule.h"

#include <algorithm>
#include <vector>

namespace {
// Enough refreshes for medians that a few stray ones do not move.
constexpr size_t keptRefreshes = 32;
constexpr size_t refreshesToKnow = 4;
constexpr size_t holdsKept = 15;

qint64 median(std::vector<qint64> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}
}

void FrameClock::learn(const PresentFeedback &feedback, Refresh aimed)
{
    if (feedback.discarded) {
        ++discarded;
        return;
    }
    if (feedback.litNs < 0)
        return;
    if (feedback.frame && aimed.litNs >= 0) {
        lastError = feedback.litNs - aimed.litNs;
        const bool late = feedback.counter >= 0 && aimed.counter >= 0 ? feedback.counter > aimed.counter
                                                                       : period > 0 && lastError > period / 2;
        missed += late ? 1 : 0;
        // A display that counts its refreshes is asked for one, and shows
        // the frame then if it came in time: a late one tells of the frame.
        if (feedback.counter < 0)
            learnHold(feedback.litNs, aimed.sentNs);
    }
    if (!recent.empty() && feedback.litNs <= recent.back().ns)
        return;  // old news, or the same refresh again
    Lit lit{feedback.litNs, 0};
    if (!recent.empty()) {
        const qint64 counted = feedback.counter >= 0 && lastCounter >= 0 ? feedback.counter - lastCounter
                                                                         : refreshesBetween(recent.back().ns, lit.ns);
        if (counted <= 0)
            return;
        lit.refresh = recent.back().refresh + counted;
    }
    lastCounter = feedback.counter;
    onBeat = feedback.onBeat;
    recent.push_back(lit);
    if (recent.size() > keptRefreshes)
        recent.pop_front();
    estimatePeriod();
}

// Where the display counts no refreshes, time tells how many passed: one
// until the period is known.
qint64 FrameClock::refreshesBetween(qint64 fromNs, qint64 toNs) const
{
    if (period <= 0)
        return 1;
    return std::max<qint64>(1, (toNs - fromNs + period / 2) / period);
}

// The median of time over refreshes between every two refreshes heard: the
// long spans make it exact through the jitter of each, and a few late words
// or miscounted skips cannot move a median. A display with no beat times each
// refresh from the last, so that one late shifts all after it: there only
// neighbours tell the period.
void FrameClock::estimatePeriod()
{
    if (recent.size() < refreshesToKnow)
        return;
    std::vector<qint64> slopes;
    for (size_t i = 0; i < recent.size(); ++i) {
        const size_t reach = onBeat ? recent.size() : std::min(i + 2, recent.size());
        for (size_t j = i + 1; j < reach; ++j)
            slopes.push_back((recent[j].ns - recent[i].ns) / (recent[j].refresh - recent[i].refresh));
    }
    period = median(slopes);
}

bool FrameClock::knowsDisplay() const
{
    return period > 0;
}

// A frame is lit at the first refresh it was sent early enough for. From
// how long before their refreshes the last frames were sent, the hold is
// put half a period short of their median: frames sent a little later or
// sooner than those are still placed at the right refresh, which a count
// of refreshes held would flip at each refresh the sending time crosses.
void FrameClock::learnHold(qint64 litNs, qint64 sentNs)
{
    if (period <= 0 || sentNs < 0)
        return;
    sentToLit.push_back(litNs - sentNs);
    if (sentToLit.size() > holdsKept)
        sentToLit.pop_front();
    hold = qMax<qint64>(0, median(std::vector<qint64>(sentToLit.begin(), sentToLit.end())) - period / 2);
}

FrameClock::Refresh FrameClock::nextRefresh(qint64 sentNs) const
{
    Refresh next = firstRefresh(sentNs + hold);
    next.sentNs = sentNs;
    return next;
}

// The phase of a display on a beat is the median of where the recent
// refreshes put the newest one, so that one lit late does not shift every
// prediction after it. A compositor that repaints on its own timers, each
// from its last, has no beat: its newest refresh is its phase.
FrameClock::Refresh FrameClock::firstRefresh(qint64 earliestNs) const
{
    const Lit &newest = recent.back();
    qint64 anchor = newest.ns;
    if (onBeat) {
        std::vector<qint64> placed;
        for (const Lit &lit : recent)
            placed.push_back(lit.ns + (newest.refresh - lit.refresh) * period);
        anchor = median(placed);
    }
    const qint64 ahead = std::max<qint64>(1, (earliestNs - anchor + period - 1) / period);
    Refresh next;
    next.litNs = anchor + ahead * period;
    next.counter = lastCounter >= 0 ? lastCounter + ahead : -1;
    return next;
}

qint64 stepHeardAt(qint64 litNs, qint64 nowNs, qint64 heard, int rate)
{
    const qint64 heardThen = heard + (litNs - nowNs) * songSampleRate / 1000000000;
    return stepDueAt(heardThen + stepAimAhead(rate), rate);
}
