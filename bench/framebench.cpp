// Frame-time benchmark: renders chosen frames of the show with the window's own
// frame code at full-screen sizes and prints how long each takes, beside the
// floor of touching a frame's bytes once (one memset and one memcpy).
//
//   karnveldt-framebench [--quick] [--reference] [--song] [--iterations N] [--size WxH]... [--frame NAME]...
//
// --reference times the straightforward frame the window drew before it was
// made fast; --frame limits the run to the named frames. --song instead draws
// the whole song, every step at the show's rate, on the show's threads and on
// one, and prints the wall and processor seconds it took:
//   song WIDTHxHEIGHT threads=N wall_s=X.XX cpu_s=Y.YY one_thread_wall_s=X.XX one_thread_cpu_s=Y.YY
//
// The window's frame is composed on as many threads as the show uses (one per
// core, or KARNVELDT_THREADS). Prints one line per frame and size for that:
//   frame NAME WIDTHxHEIGHT median_ms=X.XX p99_ms=Y.YY floor_ratio=Z.Z
// and, when that is more than one thread, the same frame on one thread, timed
// in turns with it, and the speed-up:
//   threads NAME WIDTHxHEIGHT threads=N median_ms=X.XX one_thread_median_ms=Y.YY one_thread_p99_ms=Z.ZZ speedup=S.SS
// Times include putting the frame on an RGB32 surface, as the window does.
// For the busiest frame, with the window's frame code, also what a step costs
// without its picture and a paint with two steps due, one advanced and one drawn:
//   advance busiest WIDTHxHEIGHT median_ms=X.XX p99_ms=Y.YY drawn_ratio=Z.ZZZ
//   twosteps busiest WIDTHxHEIGHT median_ms=X.XX p99_ms=Y.YY
#include "bandworkers.h"
#include "framereference.h"
#include "showfonts.h"
#include "showreplay.h"
#include "steptiming.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSize>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double median = 0;
    double p99 = 0;
};

Figures summarise(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    Figures figures;
    figures.median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    // Nearest rank: the smallest time that at least 99% of the runs stay within.
    const size_t rank = (ms.size() * 99 + 99) / 100;
    figures.p99 = ms[std::min(ms.size(), std::max<size_t>(rank, 1)) - 1];
    return figures;
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The window's frame as Window::paintEvent draws it: straight into the
// window's RGB32 surface, present step included.
void windowFrame(Scene &scene, QImage &surface, const xmp_frame_info &record)
{
    scene.renderFrame(surface, record);
}

// The frame as the window drew it before it was made fast, kept for comparison:
// a new RGB888 image every frame, painted, then drawn onto the surface.
void straightforwardFrame(Scene &scene, QImage &surface, const xmp_frame_info &record)
{
    QImage image(surface.size(), QImage::Format_RGB888);
    renderFrameReference(scene, image, record);
    QPainter(&surface).drawImage(QPoint(0, 0), image);
}

// A step the window runs but does not show.
void advancedStep(Scene &scene, QImage &surface, const xmp_frame_info &record)
{
    scene.advance(record, surface.size());
}

// A paint that comes late enough for two steps: the first advanced, the second drawn.
void twoStepsDue(Scene &scene, QImage &surface, const xmp_frame_info &record)
{
    scene.advance(record, surface.size());
    scene.renderFrame(surface, record);
}

using FrameCode = void (*)(Scene &, QImage &, const xmp_frame_info &);

// Times one frame on scenes composing it on different numbers of threads,
// their runs taking turns, so that both see the same load on the machine.
std::vector<Figures> timeFrame(FrameCode frameCode, const FrameState &state, QSize size, int iterations,
                               const std::vector<int> &threadCounts)
{
    QImage surface(size, QImage::Format_RGB32);
    std::vector<std::unique_ptr<Scene>> scenes;
    for (int threads : threadCounts) {
        scenes.push_back(std::make_unique<Scene>());
        scenes.back()->setThreads(threads);
    }
    std::vector<std::vector<double>> ms(scenes.size());
    const int warmUp = iterations > 1 ? 3 : 0;
    for (int i = 0; i < warmUp + iterations; ++i) {
        for (size_t s = 0; s < scenes.size(); ++s) {
            state.restoreInto(*scenes[s]);
            const Clock::time_point start = Clock::now();
            frameCode(*scenes[s], surface, state.record());
            if (i >= warmUp)
                ms[s].push_back(millisecondsSince(start));
        }
    }
    std::vector<Figures> figures;
    for (const std::vector<double> &times : ms)
        figures.push_back(summarise(times));
    return figures;
}

Figures timeFloor(QSize size, int iterations)
{
    const size_t bytes = size_t(size.width()) * size_t(size.height()) * 4;
    std::vector<unsigned char> from(bytes, 1), to(bytes);
    std::vector<double> ms;
    for (int i = 0; i < 3 + iterations; ++i) {
        const Clock::time_point start = Clock::now();
        std::memset(from.data(), i & 0xff, bytes);
        std::memcpy(to.data(), from.data(), bytes);
        if (i >= 3)
            ms.push_back(millisecondsSince(start));
    }
    // Keep the copy observable so that neither call can be dropped.
    if (to[bytes / 2] == 0xee)
        std::puts("#");
    return summarise(ms);
}

struct SongFigures {
    double wall = 0;  // seconds
    double cpu = 0;   // processor seconds of every thread
};

double processorSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

// The whole song drawn step by step, as the window draws it when it paints
// every step: composed, then written onto a surface that keeps the frame before.
SongFigures timeSong(const SongRecords &song, QSize size, int threads)
{
    QImage surface(size, QImage::Format_RGB32);
    bloodSpawned = false;
    Scene scene;
    scene.setThreads(threads);
    scene.setKeptTarget(true);
    std::vector<RowSpan> changed;
    const size_t steps = stepsInSong(song, defaultStepRate);
    const Clock::time_point start = Clock::now();
    const double cpuStart = processorSeconds();
    for (size_t step = 0; step < steps; ++step) {
        scene.composeFrame(recordForStep(song, qint64(step), defaultStepRate), size);
        scene.presentFrame(surface, &changed);
    }
    return {millisecondsSince(start) / 1000, processorSeconds() - cpuStart};
}

bool parseSize(const QString &text, QSize *size)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    bool okW = false, okH = false;
    if (parts.size() == 2)
        *size = QSize(parts[0].toInt(&okW), parts[1].toInt(&okH));
    return okW && okH && size->width() > 0 && size->height() > 0;
}

int usage()
{
    std::fprintf(stderr, "usage: karnveldt-framebench [--quick] [--reference] [--song] [--iterations N] [--size WxH]... [--frame NAME]...\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    registerShowFonts();

    int iterations = 200;
    FrameCode frameCode = windowFrame;
    bool wholeSong = false;
    std::vector<QSize> sizes;
    QStringList only;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--quick")) {
            // Keeps the benchmark built and working; the figures mean nothing.
            iterations = 1;
            sizes = {QSize(64, 36)};
        } else if (args[i] == QLatin1String("--song")) {
            wholeSong = true;
        } else if (args[i] == QLatin1String("--reference")) {
            frameCode = straightforwardFrame;
        } else if (args[i] == QLatin1String("--iterations") && i + 1 < args.size()) {
            bool ok = false;
            iterations = args[++i].toInt(&ok);
            if (!ok || iterations < 1)
                return usage();
        } else if (args[i] == QLatin1String("--frame") && i + 1 < args.size()) {
            only << args[++i];
        } else if (args[i] == QLatin1String("--size") && i + 1 < args.size()) {
            QSize size;
            if (!parseSize(args[++i], &size))
                return usage();
            sizes.push_back(size);
        } else {
            return usage();
        }
    }
    if (sizes.empty())
        sizes = {QSize(1920, 1080), QSize(3840, 2160)};

    QString error;
    const int threads = frameThreads(&error);
    if (threads == 0) {
        std::fprintf(stderr, "karnveldt-framebench: %s\n", qPrintable(error));
        return 2;
    }
    // The window's frame at the show's thread count and, for comparison, on one.
    const std::vector<int> threadCounts =
        frameCode == windowFrame && threads > 1 ? std::vector<int>{threads, 1} : std::vector<int>{1};

    const SongRecords song = playWholeSong();
    if (song.records.empty()) {
        std::fprintf(stderr, "karnveldt-framebench: the music does not play\n");
        return 1;
    }
    if (wholeSong) {
        std::printf("# the whole song, %zu steps, each drawn\n", stepsInSong(song, defaultStepRate));
        for (const QSize &size : sizes) {
            const SongFigures figures = timeSong(song, size, threads);
            const SongFigures one = threads > 1 ? timeSong(song, size, 1) : figures;
            std::printf("song %dx%d threads=%d wall_s=%.2f cpu_s=%.2f one_thread_wall_s=%.2f one_thread_cpu_s=%.2f\n",
                        size.width(), size.height(), threads, figures.wall, figures.cpu, one.wall, one.cpu);
            std::fflush(stdout);
        }
        return 0;
    }
    const std::vector<ChosenFrame> frames = chooseFrames(song);
    for (const ChosenFrame &frame : frames)
        if (frame.paint >= 0)
            std::printf("# %s: paint %ld (%.2f s of song), %d effects, %d snare flashes, %d sword strokes, "
                        "distortion %d\n",
                        frame.name, frame.paint, frame.paint / 60.0, frame.census.live, frame.census.snares,
                        frame.census.strokes, frame.census.distortion);
    std::printf("# %s frame on %d thread%s, %d iterations per frame; ms per frame, present step included\n",
                frameCode == windowFrame ? "window's" : "straightforward", threadCounts.front(),
                threadCounts.front() == 1 ? "" : "s", iterations);
    for (const QSize &size : sizes) {
        const Figures floor = timeFloor(size, iterations);
        std::printf("floor %dx%d median_ms=%.2f p99_ms=%.2f\n", size.width(), size.height(), floor.median,
                    floor.p99);
        for (const ChosenFrame &frame : frames) {
            if (!only.isEmpty() && !only.contains(QLatin1String(frame.name)))
                continue;
            const std::vector<Figures> byThreads = timeFrame(frameCode, frame.state, size, iterations, threadCounts);
            const Figures &figures = byThreads.front();
            // Only the four frames the table is about get lines of their own.
            const bool tableFrame = std::strcmp(frame.name, "shaken") != 0 && std::strcmp(frame.name, "strokes") != 0;
            const char *extra = tableFrame ? "" : "# ";
            std::printf("%sframe %s %dx%d median_ms=%.2f p99_ms=%.2f floor_ratio=%.1f\n", extra, frame.name,
                        size.width(), size.height(), figures.median, figures.p99, figures.median / floor.median);
            if (byThreads.size() > 1) {
                const Figures &one = byThreads.back();
                std::printf("%sthreads %s %dx%d threads=%d median_ms=%.2f one_thread_median_ms=%.2f "
                            "one_thread_p99_ms=%.2f speedup=%.2f\n",
                            extra, frame.name, size.width(), size.height(), threads, figures.median, one.median,
                            one.p99, one.median / figures.median);
            }
            if (frameCode == windowFrame && std::strcmp(frame.name, "busiest") == 0) {
                const Figures advance = timeFrame(advancedStep, frame.state, size, iterations, {threads}).front();
                std::printf("advance %s %dx%d median_ms=%.3f p99_ms=%.3f drawn_ratio=%.3f\n", frame.name,
                            size.width(), size.height(), advance.median, advance.p99,
                            advance.median / figures.median);
                const Figures two = timeFrame(twoStepsDue, frame.state, size, iterations, {threads}).front();
                std::printf("twosteps %s %dx%d median_ms=%.2f p99_ms=%.2f\n", frame.name, size.width(),
                            size.height(), two.median, two.p99);
            }
            std::fflush(stdout);
        }
    }
    return 0;
}
