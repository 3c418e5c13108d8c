#include "scene.h"

#include "cuestep.h"
#include "effectpass.h"

#include <QImage>
#include <QPainter>

bool Scene::renderFrame(QImage &image, const xmp_frame_info &info)
{
    canvas.begin(image.size(), qRgb(50, 45, 40));
    runCueStep(info, watchers, effects, gentle);
    const int distortion = runEffectPass(canvas, effects);
    return canvas.present(image, distortion);
}

void Scene::composeFrame(const xmp_frame_info &info, QSize size)
{
    canvas.begin(size, qRgb(50, 45, 40));
    runCueStep(info, watchers, effects, gentle);
    composedDistortion = runEffectPass(canvas, effects);
    canvas.paintLayers(composedDistortion);
}

bool Scene::presentFrame(QImage &image, std::vector<RowSpan> *changedRows)
{
    return canvas.present(image, composedDistortion, changedRows);
}

void Scene::advance(const xmp_frame_info &info, QSize size)
{
    blank.setSize(size);
    QPainter painter(&blank);
    painter.setRenderHint(QPainter::Antialiasing);
    runCueStep(info, watchers, effects, gentle);
    runEffectPass(painter, effects);
}
