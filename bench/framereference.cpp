#include "framereference.h"

#include "cuestep.h"
#include "effectpass.h"
#include "scene.h"

#include <QImage>
#include <QPainter>
#include <cstring>

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

void renderFrameReference(Scene &scene, QImage &image, const xmp_frame_info &info)
{
    int distortion = 0;
    {
        QPainter painter(&image);
        painter.fillRect(painter.viewport(), QColor(50, 45, 40));
        painter.setRenderHint(QPainter::Antialiasing);
        runCueStep(info, scene.watchers, scene.effects, scene.gentle);
        distortion = runEffectPass(painter, scene.effects);
    }
    distortRows(image, distortion);
}
