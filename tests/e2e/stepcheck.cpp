// Reads the trace the show writes with KARNVELDT_TRACE (one line per paint:
// monotonic seconds, song time of the record painted, song time heard, step,
// and the monotonic seconds of the refresh aimed at and of the one lit)
// and answers the end-to-end tests' questions about the steps on the screen.
//
// usage:
//   stepcheck error TRACE RATE      painted step minus floor(heard x RATE), heard
//                                   when the frame was aimed for where it was: the
//                                   share of paints at each error and the largest;
//                                   paints per second in 10-s windows. Status 1
//                                   when a paint is more than one step off, unless
//                                   it was aimed at a refresh (the refreshes judge
//                                   those) or is behind after a stall of over a second
//                                   and ran a second's worth of steps, as far as
//                                   one paint catches up.
//   stepcheck refreshes TRACE RATE LEAST  the refreshes the display lit frames at (by
//                                   its count where the trace has it), from a
//                                   second on (a gap of over 3 is the display's
//                                   stall, not counted): the share with a new picture, those
//                                   lit twice (a frame sent late that the next one
//                                   replaced at its refresh is that refresh's
//                                   miss, not counted), those a new step fell on that got
//                                   none, and the frames within half a step and
//                                   1 ms of the song time heard when lit. Status 1
//                                   when one is lit twice or shows the step before,
//                                   or under LEAST % of new steps or of frames are so
//                                   (99 % at 1080p on a quiet machine; a busy one
//                                   misses refreshes, and at 4K more).
//   stepcheck shown TRACE T0 T1     the steps that may be on the screen between
//                                   monotonic T0 and T1: from the two shown last
//                                   before T0 (the newer may not be lit yet) to
//                                   the last painted by T1
//   stepcheck songtime TRACE T      the song time heard at monotonic T (also up to
//                                   0.1 s after the last paint, for a run going on)
//   stepcheck clockoffset           CLOCK_REALTIME minus CLOCK_MONOTONIC, in seconds,
//                                   for scripts that read the wall clock
//   stepcheck flashes TRACE DIR     the snare flashes in the capture's frames in
//                                   DIR (frame-N.png is step N) and when the trace
//                                   shows each on the screen: lines "FROM TO MS"
//   stepcheck durations TRACE FILE RATE  judges flashes, lines "FROM TO MS
//                                   [UNSURE_MS]" in monotonic seconds: each lasts
//                                   20 steps within one paint, the longest paint
//                                   interval within 50 ms of its edges, plus how
//                                   late the watcher may have seen an edge. Stretches longer than
//                                   24 steps are snares overlapping and only
//                                   counted. Status 1 when one is off or fewer
//                                   than 3 were seen.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

namespace {

struct Paint {
    double monotonic = 0;
    double painted = 0;  // the trace's first column
    double aimed = -1;   // the refresh aimed at
    double recordSong = 0;
    double heardSong = 0;
    double heardAimed = 0;  // at the refresh aimed at, or as heardSong
    long long step = 0;
    bool lit = false;  // the display said when
    long long counter = -1;  // the display's count of the refresh that lit it
};

std::vector<Paint> readTrace(const char *path)
{
    std::vector<Paint> paints;
    FILE *file = std::fopen(path, "r");
    if (!file)
        return paints;
    // A frame aimed at a refresh is on the screen from when it was lit (or
    // else aimed at), and shows the song time heard then.
    char line[256];
    while (std::fgets(line, sizeof line, file)) {
        Paint paint;
        double aimed = -1, lit = -1;
        if (line[0] == '#' || std::sscanf(line, "%lf %lf %lf %lld %lf %lf %lld", &paint.monotonic, &paint.recordSong,
                                          &paint.heardSong, &paint.step, &aimed, &lit, &paint.counter) < 4)
            continue;
        paint.painted = paint.monotonic;
        paint.heardAimed = paint.heardSong + (aimed >= 0 ? aimed - paint.monotonic : 0);
        const double shown = lit >= 0 ? lit : aimed;
        if (shown >= 0) {
            paint.heardSong += shown - paint.monotonic;
            paint.monotonic = shown;
        }
        paint.lit = lit >= 0;
        paint.aimed = aimed;
        paints.push_back(paint);
    }
    std::fclose(file);
    return paints;
}

int stepError(const std::vector<Paint> &paints, int rate)
{
    std::map<long long, long> counts;
    long long worst = 0;
    long catchingUp = 0, aimedBehind = 0;
    for (size_t i = 0; i < paints.size(); ++i) {
        const Paint &paint = paints[i];
        // The heard time is written to the microsecond: a step falling due in
        // that microsecond reads as the one before it.
        const long long due = (long long)std::floor(paint.heardAimed * rate + 1e-3);
        const long long error = paint.step - due;
        // A frame aimed at a refresh is judged with the refreshes, by a share:
        // one the display took late, or drawn short of music not yet played
        // out, is behind.
        if (paint.aimed >= 0 && std::llabs(error) > 1) {
            ++aimedBehind;
            continue;
        }
        if (error < -1 && i > 0 && paint.step - paints[i - 1].step == rate) {
            ++catchingUp;
            continue;
        }
        ++counts[error];
        if (std::llabs(error) > std::llabs(worst))
            worst = error;
    }
    std::printf("paints %zu, largest step error %lld\n", paints.size(), worst);
    if (catchingUp > 0)
        std::printf("  %ld paints caught up a second's worth of steps after a stall\n", catchingUp);
    if (aimedBehind > 0)
        std::printf("  %ld frames aimed at a refresh more than a step off (judged with the refreshes)\n", aimedBehind);
    if (counts.size() <= 7) {
        for (const auto &count : counts)
            std::printf("  step error %+lld: %.2f%% of paints\n", count.first, 100.0 * count.second / paints.size());
    } else {
        // One paint a step drifts from the clock: say how far, not every value.
        long within = 0, seen = 0;
        long long median = 0;
        for (const auto &count : counts) {
            if (seen < long(paints.size()) / 2 && seen + count.second >= long(paints.size()) / 2)
                median = count.first;
            seen += count.second;
            within += std::llabs(count.first) <= 1 ? count.second : 0;
        }
        std::printf("  step error from %+lld to %+lld, median %+lld; %.2f%% of paints within one step\n",
                    counts.begin()->first, counts.rbegin()->first, median, 100.0 * within / paints.size());
    }
    std::vector<double> leads;
    for (const Paint &paint : paints)
        if (paint.recordSong >= 0)
            leads.push_back((paint.recordSong - paint.heardSong) * 1000);
    std::sort(leads.begin(), leads.end());
    if (!leads.empty())
        std::printf("painted record's song time minus the clock's: min %.1f median %.1f max %.1f ms\n",
                    leads.front(), leads[leads.size() / 2], leads.back());
    if (paints.size() > 20) {
        double sum = 0;
        for (size_t i = 20; i < paints.size(); ++i)
            sum += paints[i].monotonic - paints[i - 20].monotonic;
        std::printf("20 paints last %.1f ms on average\n", sum / (paints.size() - 20) * 1000);
    }

    std::vector<long> perWindow;
    const double start = paints.front().monotonic;
    for (const Paint &paint : paints) {
        const size_t window = size_t((paint.monotonic - start) / 10);
        perWindow.resize(std::max(perWindow.size(), window + 1));
        ++perWindow[window];
    }
    perWindow.pop_back();  // the last window is not whole
    if (!perWindow.empty()) {
        const auto [least, most] = std::minmax_element(perWindow.begin(), perWindow.end());
        double sum = 0;
        for (long count : perWindow)
            sum += count;
        std::printf("paints per second in %zu 10-s windows: min %.1f avg %.1f max %.1f\n", perWindow.size(),
                    *least / 10.0, sum / perWindow.size() / 10, *most / 10.0);
    }
    return std::llabs(worst) <= 1 ? 0 : 1;
}

// The refreshes from a second after the first frame lit: how many got a new
// picture, any lit twice, any that fell on a new step and got none, and how
// near each frame's song time is to the song time heard when it was lit.
int refreshes(const std::vector<Paint> &paints, int rate, double least)
{
    std::vector<Paint> lit;
    double firstLit = -1;
    long replaced = 0;
    for (const Paint &paint : paints) {
        if (paint.lit && firstLit < 0)
            firstLit = paint.monotonic;
        if (!paint.lit || paint.monotonic < firstLit + 1)
            continue;
        if (!lit.empty() && paint.counter >= 0 && lit.back().counter == paint.counter) {
            lit.back() = paint;
            ++replaced;
        } else {
            lit.push_back(paint);
        }
    }
    if (lit.size() < 20) {
        std::printf("refreshes: only %zu frames lit\n", lit.size());
        return 1;
    }
    // Counted by the display where it counts them; else by time, over the
    // gaps of about one refresh (at 144 Hz many frames are two apart).
    const bool counted = lit.front().counter >= 0 && lit.back().counter >= 0;
    std::vector<double> gaps;
    for (size_t i = 1; i < lit.size(); ++i)
        gaps.push_back(lit[i].monotonic - lit[i - 1].monotonic);
    std::vector<double> sorted = gaps;
    std::sort(sorted.begin(), sorted.end());
    std::vector<double> single;
    for (double gap : sorted)
        if (gap < 1.5 * sorted[sorted.size() / 10])
            single.push_back(gap);
    const double period = counted ? (lit.back().monotonic - lit.front().monotonic)
                                        / double(lit.back().counter - lit.front().counter)
                                  : single[single.size() / 2];
    const auto passedBefore = [&](size_t i) {
        return counted ? long(lit[i].counter - lit[i - 1].counter) : std::lround(gaps[i - 1] / period);
    };
    long twice = 0, sameStep = 0, withoutNew = 0, near = 0, stalls = 0, stalled = 0;
    std::vector<double> errors;  // lit minus aimed, ms
    for (const Paint &paint : lit)
        if (paint.aimed >= 0)
            errors.push_back(std::fabs(paint.monotonic - paint.aimed) * 1000);
    std::sort(errors.begin(), errors.end());
    const double allowed = 0.5 / rate + 0.001;
    for (size_t i = 0; i < lit.size(); ++i) {
        near += std::fabs(double(lit[i].step) / rate - lit[i].heardSong) <= allowed;
        if (i == 0)
            continue;
        const long passed = passedBefore(i);
        twice += passed == 0;
        // A display that stops (an X server busy taking a screenshot) is not
        // the show missing refreshes.
        if (passed > 3) {
            ++stalls;
            stalled += passed - 1;
            continue;
        }
        sameStep += lit[i].step == lit[i - 1].step;
        // Refreshes passed over while two steps or more fell due: some of them had one.
        if (passed >= 2 && lit[i].step - lit[i - 1].step >= 2)
            withoutNew += passed - 1;
    }
    const long refreshCount = (counted ? long(lit.back().counter - lit.front().counter)
                                       : std::lround((lit.back().monotonic - lit.front().monotonic) / period))
                              + 1 - stalled;
    const double pictures = 100.0 * double(lit.size() - twice) / refreshCount;
    const double newSteps = 100.0 * double(lit.size()) / double(lit.size() + withoutNew);
    const double nearShare = 100.0 * near / lit.size();
    std::printf("refreshes%s: %ld of %.3f ms, besides %ld in %ld stalls of the display; %.2f%% got a new picture; %ld lit twice, %ld replaced at their refresh, %ld showed the step before again;"
                " %ld with a new step got none (%.2f%% got theirs); song time drawn within +-%.1f ms of that heard"
                " when lit: %.2f%%; |lit minus aimed| median %.2f p95 %.2f ms\n",
                counted ? " (counted by the display)" : "", refreshCount, period * 1000, stalled, stalls, pictures, twice, replaced, sameStep, withoutNew, newSteps, allowed * 1000,
                nearShare, errors.empty() ? -1 : errors[errors.size() / 2],
                errors.empty() ? -1 : errors[errors.size() * 95 / 100]);
    return twice == 0 && sameStep == 0 && newSteps >= least && nearShare >= least ? 0 : 1;
}

// From the two shown last before T0, by the time each was lit (or else
// aimed at, or painted), to the last painted by T1: a compositor may show a
// frame on its output before the moment it reports it lit.
int shown(const std::vector<Paint> &paints, double from, double to)
{
    const auto first = std::lower_bound(paints.begin(), paints.end(), from,
                                        [](const Paint &paint, double t) { return paint.monotonic < t; });
    auto candidate = first - std::min<long>(2, first - paints.begin());
    for (; candidate != paints.end() && candidate->painted <= to; ++candidate)
        std::printf("%lld\n", candidate->step);
    return 0;
}

int songTime(const std::vector<Paint> &paints, double at)
{
    const auto after = std::lower_bound(paints.begin(), paints.end(), at,
                                        [](const Paint &paint, double t) { return paint.monotonic < t; });
    if (after == paints.begin()) {
        std::fprintf(stderr, "stepcheck: %.6f is before the trace\n", at);
        return 1;
    }
    const Paint &before = *(after - 1);
    // The heard clock runs at the song's pace between two paints, and for a
    // little while after the last one written so far; not for longer, since
    // the clock may wait too (as the sound starts).
    const double since = after == paints.end() ? std::min(at - before.monotonic, 0.1) : at - before.monotonic;
    std::printf("%.3f\n", before.heardSong + since);
    return 0;
}

// The snare's tint, by screenwatch's rule: at the bottom corners and centre,
// where nothing else is drawn before the blood runs down there, red above
// green by more than the background's 5, on average over four rows (the
// discord distortion tints alternate rows apart).
bool tinted(const QImage &frame)
{
    const int w = frame.width(), h = frame.height();
    for (const int x : {w / 50, w / 2, w - w / 50}) {
        int difference = 0;
        for (int y = h - 4; y < h; ++y)
            difference += qRed(frame.pixel(x, y)) - qGreen(frame.pixel(x, y));
        if (difference <= 4 * 7)
            return false;
    }
    return true;
}

int flashes(const std::vector<Paint> &paints, const char *directory)
{
    const QDir dir(QString::fromLocal8Bit(directory));
    const QRegularExpression name(QStringLiteral("^frame-(\\d+)\\.png$"));
    std::map<long long, bool> steps;
    for (const QString &file : dir.entryList({QStringLiteral("frame-*.png")})) {
        const auto match = name.match(file);
        if (match.hasMatch())
            steps[match.captured(1).toLongLong()] = tinted(QImage(dir.filePath(file)));
    }
    if (steps.empty()) {
        std::fprintf(stderr, "stepcheck: no frames in %s\n", directory);
        return 1;
    }
    const auto firstPaintFrom = [&](long long step) {
        return std::find_if(paints.begin(), paints.end(), [step](const Paint &paint) { return paint.step >= step; });
    };
    for (auto it = steps.begin(); it != steps.end(); ++it) {
        if (!it->second || (it != steps.begin() && std::prev(it)->second))
            continue;
        auto last = it;
        while (std::next(last) != steps.end() && std::next(last)->second)
            ++last;
        const auto on = firstPaintFrom(it->first), off = firstPaintFrom(last->first + 1);
        if (on == paints.end() || off == paints.end() || std::next(last) == steps.end())
            continue;
        std::printf("%.6f %.6f %.1f steps %lld-%lld\n", on->monotonic, off->monotonic,
                    (off->monotonic - on->monotonic) * 1000, it->first, last->first);
    }
    return 0;
}


// The longest interval between paints within 50 ms of monotonic time t: how
// late the screen may show a change due at t.
double paintIntervalAt(const std::vector<Paint> &paints, double t)
{
    double longest = 0;
    for (size_t i = 1; i < paints.size(); ++i)
        if (paints[i].monotonic > t - 0.05 && paints[i - 1].monotonic < t + 0.05)
            longest = std::max(longest, paints[i].monotonic - paints[i - 1].monotonic);
    return longest;
}

int durations(const std::vector<Paint> &paints, const char *path, int rate)
{
    FILE *file = std::fopen(path, "r");
    if (!file) {
        std::fprintf(stderr, "stepcheck: cannot read %s\n", path);
        return 2;
    }
    const double flash = 20.0 / rate, overlapLimit = 24.0 / rate;
    int single = 0, off = 0, overlapping = 0;
    double shortest = 1e9, longest = 0, sum = 0;
    char line[256];
    while (std::fgets(line, sizeof line, file)) {
        double from = 0, to = 0, milliseconds = 0, unsure = 0;
        if (std::sscanf(line, "%lf %lf %lf %lf", &from, &to, &milliseconds, &unsure) < 2)
            continue;
        const double lasted = to - from;
        if (lasted > overlapLimit) {
            ++overlapping;
            continue;
        }
        // Each edge reaches the screen when its paint has been presented, which
        // may take up to a paint's time after the trace's time stamp: one paint
        // at each edge.
        const double allowed = paintIntervalAt(paints, from) + paintIntervalAt(paints, to) + 0.002
                               + unsure / 1000;
        const bool ok = std::fabs(lasted - flash) <= allowed;
        std::printf("flash at %.3f: %.1f ms, allowed %.1f +- %.1f%s\n", from, lasted * 1000, flash * 1000,
                    allowed * 1000, ok ? "" : "  OFF");
        ++single;
        off += !ok;
        shortest = std::min(shortest, lasted);
        longest = std::max(longest, lasted);
        sum += lasted;
    }
    std::fclose(file);
    std::printf("flashes: %d, min %.1f avg %.1f max %.1f ms (20 steps = %.1f ms); %d off by more than one paint;"
                " %d stretches of overlapping flashes\n",
                single, single ? shortest * 1000 : 0.0, single ? sum / single * 1000 : 0.0, longest * 1000, flash * 1000, off,
                overlapping);
    return single >= 3 && off == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication application(argc, argv);
    const QByteArray command = argc > 1 ? argv[1] : "";
    if (command == "clockoffset" && argc == 2) {
        timespec wall, monotonic;
        clock_gettime(CLOCK_REALTIME, &wall);
        clock_gettime(CLOCK_MONOTONIC, &monotonic);
        std::printf("%.6f\n", (wall.tv_sec - monotonic.tv_sec) + (wall.tv_nsec - monotonic.tv_nsec) * 1e-9);
        return 0;
    }
    const int wanted = command == "error" || command == "songtime" || command == "flashes"     ? 4
                       : command == "shown" || command == "durations" || command == "refreshes" ? 5
                                                                                          : 0;
    if (wanted == 0 || argc != wanted) {
        std::fprintf(stderr, "usage: stepcheck error TRACE RATE | refreshes TRACE RATE LEAST | shown TRACE T0 T1 | songtime TRACE T | clockoffset"
                             " | flashes TRACE DIR | durations TRACE FILE RATE\n");
        return 2;
    }
    const std::vector<Paint> paints = readTrace(argv[2]);
    if (paints.empty()) {
        std::fprintf(stderr, "stepcheck: no paints in the trace %s\n", argv[2]);
        return 2;
    }
    if (command == "error")
        return stepError(paints, std::atoi(argv[3]));
    if (command == "refreshes")
        return refreshes(paints, std::atoi(argv[3]), std::atof(argv[4]));
    if (command == "shown")
        return shown(paints, std::atof(argv[3]), std::atof(argv[4]));
    if (command == "songtime")
        return songTime(paints, std::atof(argv[3]));
    if (command == "durations")
        return durations(paints, argv[3], std::atoi(argv[4]));
    return flashes(paints, argv[3]);
}
