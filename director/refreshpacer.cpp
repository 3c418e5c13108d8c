#include "refreshpacer.h"

#include "monotonic.h"
#include "painttrace.h"
#include "showclock.h"

#include <algorithm>

namespace {
constexpr size_t drawingsKept = 8;
constexpr qint64 ms = 1000000;
}

// A frame takes about as long as the slowest of the last few, and a little
// more for handing it over: aimed any sooner, it would miss its refresh.
qint64 RefreshPacer::drawingMarginNs() const
{
    const qint64 slowest = drawingNs.empty() ? 0 : *std::max_element(drawingNs.begin(), drawingNs.end());
    return slowest + slowest / 4 + 2 * ms;
}

RefreshPacer::Aim RefreshPacer::aim(ShowClock &showClock, qint64 notBeforeNs)
{
    Aim aim;
    aim.heard = showClock.heardSample();
    aim.nowNs = monotonicNanoseconds();
    if (clock.knowsDisplay())
        aim.refresh = clock.nextRefresh(qMax(aim.nowNs + drawingMarginNs(), notBeforeNs));
    aim.step = stepHeardAt(aim.refresh.litNs < 0 ? aim.nowNs : aim.refresh.litNs, aim.nowNs, aim.heard, rate);
    return aim;
}

qint64 RefreshPacer::drawn(const Aim &aim, qint64 recordSample, qint64 startNs, qint64 workNs)
{
    drawingNs.push_back(workNs);
    if (drawingNs.size() > drawingsKept)
        drawingNs.pop_front();
    waiting[nextSerial] = Line{startNs, recordSample, aim.heard, aim.step, aim.refresh};
    return nextSerial++;
}

qint64 RefreshPacer::asked(const Aim &aim)
{
    askedAbout[nextSerial] = aim.refresh;
    return nextSerial++;
}

void RefreshPacer::feedback(const PresentFeedback &said, PaintTrace *trace)
{
    if (said.counter >= 0 && !said.discarded)
        lastCounter = said.counter;
    if (!said.frame) {
        const auto asked = askedAbout.find(said.serial);
        clock.learn(said, asked == askedAbout.end() ? FrameClock::Refresh{} : asked->second);
        askedAbout.erase(said.serial);
        return;
    }
    const auto line = waiting.find(said.serial);
    if (line == waiting.end()) {
        clock.learn(said, {});
        return;
    }
    clock.learn(said, line->second.aimed);
    // Lines go out in the order frames were drawn: any older one the display
    // passed over is traced as never lit.
    for (auto older = waiting.begin(); older != line; older = waiting.erase(older))
        if (trace)
            trace->write(older->second.recordSample, older->second.heard, older->second.step, older->second.paintNs,
                         older->second.aimed.litNs, -1);
    const Line &frame = line->second;
    if (trace)
        trace->write(frame.recordSample, frame.heard, frame.step, frame.paintNs, frame.aimed.litNs,
                     said.discarded ? -1 : said.litNs, said.discarded ? -1 : said.counter);
    waiting.erase(line);
}

void RefreshPacer::finish(PaintTrace *trace)
{
    for (const auto &[serial, frame] : waiting)
        if (trace)
            trace->write(frame.recordSample, frame.heard, frame.step, frame.paintNs, frame.aimed.litNs, -1);
    waiting.clear();
}
