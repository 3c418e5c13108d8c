// Looks at a screenshot of the show the way a viewer would and answers one
// question about it; exit status 0 for yes.
//
// usage: shotcheck FILE QUESTION [OTHER]
//   size1080    the picture is 1920 x 1080
//   background  nearly all of it is the background colour (50, 45, 40)
//   red         it is tinted red (a snare flash)
//   greyleft    grey marks on the left half
//   greyright   grey marks on the right half
//   text        white text near the centre (the title or the credits)
//   credits     the credits: white text on both sides of the centre and none in
//               the 20-pixel gap between their columns, where the title has some
//   black       it is black all over
//   fine        drawn at its own pixels, not enlarged from half the size: sharp
//               edges (a step of more than 60 between neighbours) are many
//               and fall between pixels 2k and 2k+1 as often as elsewhere
//   same OTHER  it is OTHER pixel for pixel (the value: pixels that differ)
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// Share of the pixels in [x0, x1) x [y0, y1) for which the test holds.
double share(const QImage &image, int x0, int y0, int x1, int y1,
             const std::function<bool(QRgb)> &test)
{
    long hits = 0, all = 0;
    for (int y = y0; y < y1; y += 2)
        for (int x = x0; x < x1; x += 2, ++all)
            hits += test(image.pixel(x, y));
    return all ? double(hits) / all : 0;
}

bool isBackground(QRgb p) { return qRed(p) == 50 && qGreen(p) == 45 && qBlue(p) == 40; }
bool isReddish(QRgb p) { return qRed(p) > qGreen(p) + 40 && qRed(p) > qBlue(p) + 40; }
bool isGrey(QRgb p)
{
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    return std::abs(r - g) < 6 && std::abs(g - b) < 6 && r > 70 && r < 250;
}
bool isWhite(QRgb p) { return qRed(p) > 240 && qGreen(p) > 240 && qBlue(p) > 240; }
bool isBlack(QRgb p) { return qRed(p) < 8 && qGreen(p) < 8 && qBlue(p) < 8; }

// Share of the sharp horizontal edges that lie between pixels 2k and 2k+1: an
// enlarged picture has none there (doubled pixels) or no sharp edges at all
// (smoothed); one drawn at full size has about half of them there.
double oddEdgeShare(const QImage &image, long *edges)
{
    long odd = 0;
    *edges = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 1; x < image.width(); ++x) {
            const QRgb a = line[x - 1], b = line[x];
            const int step = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                       std::abs(qBlue(a) - qBlue(b))});
            if (step > 60) {
                ++*edges;
                odd += x % 2;
            }
        }
    }
    return *edges ? double(odd) / *edges : 0;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication application(argc, argv);
    const bool comparing = argc == 4 && QByteArray(argv[2]) == "same";
    if (argc != 3 && !comparing) {
        std::fprintf(stderr, "usage: shotcheck FILE QUESTION [OTHER]\n");
        return 2;
    }
    const QImage image = QImage(argv[1]).convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) {
        std::fprintf(stderr, "shotcheck: cannot read %s\n", argv[1]);
        return 2;
    }
    const QByteArray question = argv[2];
    const int w = image.width(), h = image.height();
    double value = 0;
    bool yes = false;
    if (question == "size1080") {
        yes = w == 1920 && h == 1080;
        value = w * 10000 + h;
    } else if (question == "background") {
        value = share(image, 0, 0, w, h, isBackground);
        yes = value > 0.9;
    } else if (question == "red") {
        value = share(image, 0, 0, w, h, isReddish);
        yes = value > 0.5;
    } else if (question == "greyleft" || question == "greyright") {
        const bool left = question == "greyleft";
        value = share(image, left ? 0 : w / 2, 0, left ? w / 2 : w, h, isGrey);
        yes = value > 0.0005;
    } else if (question == "text") {
        value = share(image, w / 4, h / 2 - 80, 3 * w / 4, h / 2 + 80, isWhite);
        yes = value > 0.01;
    } else if (question == "credits") {
        const int x = w / 2, y = h / 2;
        const double gap = share(image, x - 6, y - 60, x + 6, y + 60, isWhite);
        value = std::min(share(image, x - 200, y - 60, x - 10, y + 60, isWhite),
                         share(image, x + 10, y - 60, x + 200, y + 60, isWhite));
        yes = gap == 0 && value > 0.01;
    } else if (question == "black") {
        value = share(image, 0, 0, w, h, isBlack);
        yes = value > 0.99;
    } else if (comparing) {
        const QImage other = QImage(argv[3]).convertToFormat(QImage::Format_RGB32);
        long differing = 0;
        if (other.size() != image.size())
            differing = long(w) * h;
        else
            for (int y = 0; y < h; ++y) {
                const QRgb *a = reinterpret_cast<const QRgb *>(image.constScanLine(y));
                const QRgb *b = reinterpret_cast<const QRgb *>(other.constScanLine(y));
                for (int x = 0; x < w; ++x)
                    differing += a[x] != b[x];
            }
        value = double(differing);
        yes = differing == 0;
    } else if (question == "fine") {
        long edges = 0;
        value = oddEdgeShare(image, &edges);
        yes = edges >= 200 && value > 0.25 && value < 0.75;
    } else {
        std::fprintf(stderr, "shotcheck: unknown question %s\n", argv[2]);
        return 2;
    }
    std::printf("%s %s %.4f %s\n", argv[1], argv[2], value, yes ? "yes" : "no");
    return yes ? 0 : 1;
}
