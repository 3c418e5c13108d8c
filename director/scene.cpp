#include "scene.h"

#include "cuestep.h"
#include "effectpass.h"

#include <QImage>
#include <QPainter>

void Scene::renderFrame(QImage &image, const xmp_frame_info &info)
{
    int distortion = 0;
    {
        QPainter painter(&image);
        painter.fillRect(painter.viewport(), QColor(50, 45, 40));
        painter.setRenderHint(QPainter::Antialiasing);
        runCueStep(info, watchers, effects);
        distortion = runEffectPass(painter, effects);
    }
    distortRows(image, distortion);
}
