// Writes the X screen to FILE as a binary PPM, in one read of the root window,
// and prints the CLOCK_MONOTONIC seconds just before and just after that read:
// the screenshot shows what was on the screen between the two, however long
// starting up and writing the file took (ImageMagick's import takes several
// hundred milliseconds on a busy machine, and a 4K file takes a while).
//
// usage: screengrab FILE    (on $DISPLAY)
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double monotonicSeconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: screengrab FILE\n");
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "screengrab: cannot open the display\n");
        return 2;
    }
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    const double before = monotonicSeconds();
    XImage *image = XGetImage(display, root, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    const double after = monotonicSeconds();
    if (!image) {
        std::fprintf(stderr, "screengrab: cannot read the screen\n");
        return 2;
    }
    std::vector<unsigned char> rgb;
    rgb.reserve(size_t(image->width) * image->height * 3);
    const bool plain32 = image->bits_per_pixel == 32 && image->red_mask == 0xff0000 && image->green_mask == 0xff00
                         && image->blue_mask == 0xff && image->byte_order == LSBFirst;
    for (int y = 0; y < image->height; ++y) {
        const auto *line = reinterpret_cast<const unsigned int *>(image->data + size_t(y) * image->bytes_per_line);
        for (int x = 0; x < image->width; ++x) {
            // XGetPixel is the general way, and slow at 4K.
            const unsigned long pixel = plain32 ? line[x] : XGetPixel(image, x, y);
            rgb.push_back((pixel >> 16) & 0xff);
            rgb.push_back((pixel >> 8) & 0xff);
            rgb.push_back(pixel & 0xff);
        }
    }
    FILE *file = std::fopen(argv[1], "wb");
    const bool written = file && std::fprintf(file, "P6\n%d %d\n255\n", image->width, image->height) > 0
                         && std::fwrite(rgb.data(), 1, rgb.size(), file) == rgb.size();
    if (file)
        std::fclose(file);
    XDestroyImage(image);
    XCloseDisplay(display);
    if (!written) {
        std::fprintf(stderr, "screengrab: cannot write %s\n", argv[1]);
        return 2;
    }
    std::printf("%.6f %.6f\n", before, after);
    return 0;
}
