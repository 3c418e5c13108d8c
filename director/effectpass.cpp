#include "effectpass.h"

#include "framecanvas.h"

#include <QImage>
#include <QPainter>
#include <cstring>
#include <vector>

namespace {

// The pass itself, whatever draws each effect: visits in order, ends at a
// stopPass, deletes the finished at once and forgets them when it is over.
template <typename Draw>
int runPass(EffectSet &effects, Draw draw)
{
    int distortion = 0;
    std::vector<DrawCommand *> finished;
    for (int i = 0; i < effects.size(); ++i) {
        DrawCommand *effect = effects.at(i);
        const DrawResult result = draw(effect);
        if (result.stopPass)
            break;
        distortion += result.distortion;
        if (!result.keep) {
            delete effect;
            finished.push_back(effect);
        }
    }
    for (DrawCommand *effect : finished)
        effects.remove(effect);
    return distortion;
}

} // namespace

int runEffectPass(QPainter &painter, EffectSet &effects)
{
    return runPass(effects, [&](DrawCommand *effect) { return effect->draw(painter); });
}

void distortRows(QImage &image, int amount)
{
    if (amount <= 0)
        return;
    const qint64 rowBytes = image.bytesPerLine();
    // A shift of a whole row or more would leave the row; move it as far as it can go.
    const qint64 shift = qMin<qint64>(4 * qint64(amount), rowBytes - 1);
    const qint64 band = qint64(amount) + 1;
    for (int row = 0; row < image.height(); ++row) {
        if ((row / band) % 2 != 0)
            continue;
        uchar *bytes = image.scanLine(row);
        std::memmove(bytes, bytes + shift, size_t(rowBytes - shift));
    }
}

int runEffectPass(FrameCanvas &canvas, EffectSet &effects)
{
    return runPass(effects, [&](DrawCommand *effect) { return canvas.draw(*effect); });
}
