#include "songlength.h"

#include "samplerate.h"

#include <QFile>
#include <xmp.h>

qint64 songLength(const QString &modulePath, QString *error)
{
    QFile file(modulePath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open %1: %2").arg(modulePath, file.errorString());
        return -1;
    }
    QByteArray bytes = file.readAll();
    xmp_context context = xmp_create_context();
    qint64 samples = -1;
    if (xmp_load_module_from_memory(context, bytes.data(), bytes.size()) == 0) {
        if (xmp_start_player(context, songSampleRate, 0) == 0) {
            // Where the device ends the song: the frame that wraps, or one without sound.
            samples = 0;
            xmp_frame_info info;
            for (;;) {
                xmp_play_frame(context);
                xmp_get_frame_info(context, &info);
                if (info.loop_count > 0 || info.buffer_size <= 0)
                    break;
                samples += info.buffer_size / 4;  // 16-bit stereo
            }
            xmp_end_player(context);
        }
        xmp_release_module(context);
    }
    xmp_free_context(context);
    if (samples < 0)
        *error = QStringLiteral("%1 is not a module libxmp can play").arg(modulePath);
    return samples;
}
