// Watches the X screen for red flashes: polls three full-width rows, about a
// thousand times a second, and looks at 24 widely spread points. A flash that
// tints the whole frame makes them all redder at once, even when a flash before
// it is still fading; a local red mark changes only a few.
//
// usage: screenprobe LOG.txt      (the display from $DISPLAY; runs until SIGINT or SIGTERM)
// LOG.txt, a line whenever a count changes: "<monotonic s of the poll before>
// <monotonic s of this poll> <points red-tinted> <points that turned redder>",
// then "# polls N interval_ms M" at the end.
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
};

// How far red stands above green and blue.
int redness(unsigned long pixel, const Channels &c)
{
    int value[3];
    for (int i = 0; i < 3; ++i)
        value[i] = int((pixel & c.mask[i]) >> c.shift[i]);  // 8 bits each on a 24-bit visual
    return value[0] - std::max(value[1], value[2]);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenprobe LOG.txt\n");
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "screenprobe: cannot open the display\n");
        return 1;
    }
    FILE *log = std::fopen(argv[1], "w");
    if (!log) {
        std::fprintf(stderr, "screenprobe: cannot write %s\n", argv[1]);
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

    int lastRed = -1, lastRedder = -1;
    int before[points] = {};
    long polls = 0;
    double previous = monotonicNow();
    const double first = previous;
    const timespec pause{0, 1000000};
    while (!stopping) {
        const double now = monotonicNow();
        int red = 0, redder = 0;
        for (int r = 0; r < rows; ++r) {
            XImage *row = XGetImage(display, root, 0, height * (2 * r + 1) / (2 * rows), unsigned(width), 1,
                                    AllPlanes, ZPixmap);
            if (!row) {
                std::fprintf(stderr, "screenprobe: cannot read the screen\n");
                return 1;
            }
            for (int c = 0; c < columns; ++c) {
                const int now = redness(XGetPixel(row, width * (2 * c + 1) / (2 * columns), 0), channels);
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
        previous = now;
        ++polls;
        nanosleep(&pause, nullptr);
    }
    std::fprintf(log, "# polls %ld interval_ms %.3f\n", polls, polls ? (previous - first) * 1000 / polls : 0.0);
    std::fclose(log);
    XCloseDisplay(display);
    return 0;
}
