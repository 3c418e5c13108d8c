// Watches the X screen for the snare's red tint, about a thousand times a
// second, in two ways at once:
// - whole-frame flashes, for judging sync: 24 points widely spread over three
//   full-width rows. A flash that tints the whole frame makes them all redder
//   at once, even when a flash before it is still fading; a local red mark
//   changes only a few.
// - how long each tint lasts, for judging steps: three places along the
//   bottom edge (four pixels in a column each, since the discord distortion
//   shifts alternate rows apart), tinted while red exceeds green by more than
//   the background's 5 (50, 45, 40) plus a margin, on average: the faintest
//   tint, 1/60 of red, adds 4 to red and takes 1 from green. A flash is there
//   while every place is tinted, so that a mark passing under one of them
//   does not count.
//
// usage: screenwatch LOG.txt FLASHES.txt    (the display from $DISPLAY; runs until SIGINT or SIGTERM)
// LOG.txt, a line whenever a count changes: "<monotonic s of the poll before>
// <monotonic s of this poll> <points red-tinted> <points that turned redder>",
// then "# polls N interval_ms M" at the end.
// FLASHES.txt, a line per tint at the bottom edge: "<monotonic s when it
// appeared> <s when it went> <milliseconds> <how late either edge may have been
// seen, ms>"; the last figure is the longer of the two gaps between looks that
// the edges fell in, which grows when the watcher waits for the processor.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>

namespace {

constexpr int rows = 3, columns = 8;
constexpr int points = rows * columns;
constexpr int redMargin = 40;  // red above green and blue by this much: tinted
constexpr int redderBy = 25;   // a third of red laid over anything adds more than this
constexpr int places = 3;

volatile std::sig_atomic_t stopping = 0;

void stop(int)
{
    stopping = 1;
}

double monotonicNow()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

int shiftOf(unsigned long mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

struct Channels {
    unsigned long mask[3];
    int shift[3];

    int value(unsigned long pixel, int channel) const
    {
        return int((pixel & mask[channel]) >> shift[channel]);  // 8 bits each on a 24-bit visual
    }
    // How far red stands above green and blue.
    int redness(unsigned long pixel) const { return value(pixel, 0) - std::max(value(pixel, 1), value(pixel, 2)); }
};

// Whether the four pixels from (x, y) down are faintly tinted red; false when unreadable.
bool faintlyTinted(Display *display, Window root, const Channels &channels, int x, int y)
{
    XImage *image = XGetImage(display, root, x, y, 1, 4, AllPlanes, ZPixmap);
    if (!image)
        return false;
    int difference = 0;
    for (int row = 0; row < 4; ++row) {
        const unsigned long pixel = XGetPixel(image, 0, row);
        difference += channels.value(pixel, 0) - channels.value(pixel, 1);
    }
    XDestroyImage(image);
    return difference > 4 * 7;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: screenwatch LOG.txt FLASHES.txt\n");
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "screenwatch: cannot open the display\n");
        return 1;
    }
    FILE *log = std::fopen(argv[1], "w");
    FILE *flashes = std::fopen(argv[2], "w");
    if (!log || !flashes) {
        std::fprintf(stderr, "screenwatch: cannot write %s or %s\n", argv[1], argv[2]);
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = stop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    const int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
    const Visual *visual = DefaultVisual(display, screen);
    Channels channels{{visual->red_mask, visual->green_mask, visual->blue_mask}, {}};
    for (int i = 0; i < 3; ++i)
        channels.shift[i] = shiftOf(channels.mask[i]);
    const int placeX[places] = {width / 50, width / 2, width - width / 50};

    int lastRed = -1, lastRedder = -1;
    int before[points] = {};
    long polls = 0;
    double previous = monotonicNow();
    const double first = previous;
    double tintSince = -1, tintGap = 0;
    const timespec pause{0, 1000000};
    while (!stopping) {
        const double now = monotonicNow();
        int red = 0, redder = 0;
        for (int r = 0; r < rows; ++r) {
            XImage *row = XGetImage(display, root, 0, height * (2 * r + 1) / (2 * rows), unsigned(width), 1,
                                    AllPlanes, ZPixmap);
            if (!row) {
                std::fprintf(stderr, "screenwatch: cannot read the screen\n");
                return 1;
            }
            for (int c = 0; c < columns; ++c) {
                const int now = channels.redness(XGetPixel(row, width * (2 * c + 1) / (2 * columns), 0));
                int &was = before[r * columns + c];
                red += now > redMargin;
                redder += polls > 0 && now > was + redderBy;
                was = now;
            }
            XDestroyImage(row);
        }
        if (red != lastRed || redder != lastRedder)
            std::fprintf(log, "%.6f %.6f %d %d\n", previous, now, red, redder);
        lastRed = red;
        lastRedder = redder;

        bool tinted = true;
        for (int p = 0; p < places && tinted; ++p)
            tinted = faintlyTinted(display, root, channels, placeX[p], height - 4);
        if (tinted && tintSince < 0) {
            tintSince = now;
            tintGap = now - previous;
        } else if (!tinted && tintSince >= 0) {
            std::fprintf(flashes, "%.6f %.6f %.1f %.1f\n", tintSince, now, (now - tintSince) * 1000,
                         std::max(tintGap, now - previous) * 1000);
            tintSince = -1;
        }
        previous = now;
        ++polls;
        nanosleep(&pause, nullptr);
    }
    std::fprintf(log, "# polls %ld interval_ms %.3f\n", polls, polls ? (previous - first) * 1000 / polls : 0.0);
    std::fclose(log);
    std::fclose(flashes);
    XCloseDisplay(display);
    return 0;
}
