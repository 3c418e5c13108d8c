#include "effectpass.h"

#include "framecanvas.h"

#include <QPainter>
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

int runEffectPass(FrameCanvas &canvas, EffectSet &effects)
{
    return runPass(effects, [&](DrawCommand *effect) { return canvas.draw(*effect); });
}
