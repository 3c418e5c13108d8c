#include "videoformats.h"

namespace {

// No dates, encoder-version tags or copied metadata: the same frames give the same file.
const QStringList bitexact{"-map_metadata", "-1", "-fflags", "+bitexact", "-flags:v", "+bitexact"};

const VideoFormat formats[] = {
    {".mp4", "h264", "aac",
     QStringList{"-c:v", "libx264", "-preset", "medium", "-crf", "18", "-pix_fmt", "yuv420p",
                 "-c:a", "aac", "-b:a", "192k", "-flags:a", "+bitexact", "-movflags", "+faststart"}
         + bitexact + QStringList{"-f", "mp4"}},
    // Opus plays at 48 kHz only. One thread: the same frames give the same bytes.
    {".webm", "vp9", "opus",
     QStringList{"-c:v", "libvpx-vp9", "-crf", "32", "-b:v", "0", "-deadline", "good", "-cpu-used", "4",
                 "-threads", "1", "-pix_fmt", "yuv420p", "-c:a", "libopus", "-b:a", "160k", "-ar", "48000"}
         + bitexact + QStringList{"-f", "webm"}},
    {".webp", "webp", "",
     QStringList{"-c:v", "libwebp_anim", "-lossless", "0", "-quality", "75", "-loop", "0"}
         + bitexact + QStringList{"-f", "webp"}},
    // A palette made from the whole clip; palettegen sees every frame before the first is written.
    {".gif", "gif", "",
     QStringList{"-filter:v", "split[all][again];[all]palettegen=stats_mode=full[palette];"
                              "[again][palette]paletteuse=dither=bayer:bayer_scale=3",
                 "-loop", "0"}
         + bitexact + QStringList{"-f", "gif"}},
};

} // namespace

const VideoFormat *videoFormatFor(const QString &videoFile)
{
    for (const VideoFormat &format : formats)
        if (videoFile.endsWith(format.extension, Qt::CaseInsensitive) && videoFile.size() > format.extension.size())
            return &format;
    return nullptr;
}

QString videoExtensions()
{
    QStringList extensions;
    for (const VideoFormat &format : formats)
        extensions << format.extension;
    const QString last = extensions.takeLast();
    return extensions.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}
