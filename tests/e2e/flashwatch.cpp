// Watches a few places of the X screen and writes when the snare's red tint
// came and went, as the viewer saw it, one line per flash:
//     "<CLOCK_MONOTONIC s when it appeared> <s when it went> <milliseconds>"
// A place (four pixels in a column) counts as tinted when red exceeds green by
// more than the background's 5 (50, 45, 40) plus a margin, on average: the
// faintest tint, 1/60 of red, adds 4 to red and takes 1 from green. A flash is
// there while every watched place is tinted, so that a mark passing under one
// of them does not count.
//
// usage: flashwatch SECONDS X,Y [X,Y...]    (on $DISPLAY)
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <ctime>
#include <utility>
#include <vector>

namespace {

double monotonicSeconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

// Four rows, because the discord distortion tints alternate rows apart.
bool tinted(Display *display, Window root, int x, int y)
{
    XImage *image = XGetImage(display, root, x, y, 1, 4, AllPlanes, ZPixmap);
    if (!image)
        return false;
    int difference = 0;
    for (int row = 0; row < 4; ++row) {
        const unsigned long pixel = XGetPixel(image, 0, row);
        difference += int((pixel >> 16) & 0xff) - int((pixel >> 8) & 0xff);
    }
    XDestroyImage(image);
    return difference > 4 * 7;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::pair<int, int>> points;
    double seconds = 0;
    if (argc >= 3 && std::sscanf(argv[1], "%lf", &seconds) == 1) {
        for (int i = 2; i < argc; ++i) {
            int x = 0, y = 0;
            if (std::sscanf(argv[i], "%d,%d", &x, &y) != 2)
                break;
            points.emplace_back(x, y);
        }
    }
    if (seconds <= 0 || points.empty() || points.size() != size_t(argc - 2)) {
        std::fprintf(stderr, "usage: flashwatch SECONDS X,Y [X,Y...]\n");
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "flashwatch: cannot open the display\n");
        return 2;
    }
    const Window root = DefaultRootWindow(display);
    const double end = monotonicSeconds() + seconds;
    double since = -1;
    for (double now = monotonicSeconds(); now < end; now = monotonicSeconds()) {
        bool all = true;
        for (const auto &point : points)
            all = all && tinted(display, root, point.first, point.second);
        if (all && since < 0) {
            since = now;
        } else if (!all && since >= 0) {
            std::printf("%.6f %.6f %.1f\n", since, now, (now - since) * 1000);
            std::fflush(stdout);
            since = -1;
        }
        const timespec pause = {0, 500000};
        nanosleep(&pause, nullptr);
    }
    XCloseDisplay(display);
    return 0;
}
