#include "animatedwebp.h"

#include <QFile>
#include <QtEndian>

namespace {

quint32 u24(const char *bytes)
{
    return quint32(quint8(bytes[0])) | quint32(quint8(bytes[1])) << 8 | quint32(quint8(bytes[2])) << 16;
}

AnimatedWebp broken(const QString &why)
{
    AnimatedWebp webp;
    webp.problem = why;
    return webp;
}

} // namespace

AnimatedWebp readAnimatedWebp(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return broken(file.errorString());
    const QByteArray bytes = file.readAll();
    // A RIFF header whose size is the file's own: one cut short shows here.
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WEBP"
        || qFromLittleEndian<quint32>(bytes.constData() + 4) + 8 != quint32(bytes.size()))
        return broken(QStringLiteral("not a whole WebP file (%1 bytes)").arg(bytes.size()));
    AnimatedWebp webp;
    bool animated = false;
    for (int at = 12; at + 8 <= bytes.size();) {
        const QByteArray tag = bytes.mid(at, 4);
        const qint64 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        const int body = at + 8;
        if (body + size > bytes.size())
            return broken(QStringLiteral("its %1 chunk runs past the end").arg(QString::fromLatin1(tag)));
        if (tag == "VP8X")
            animated = size >= 1 && (bytes[body] & 0x02);
        if (tag == "ANMF" && size >= 24) {
            ++webp.frames;
            webp.milliseconds += u24(bytes.constData() + body + 12);
            // The frame's image: after an alpha chunk, if any.
            int image = body + 16;
            if (bytes.mid(image, 4) == "ALPH")
                image += 8 + ((qFromLittleEndian<quint32>(bytes.constData() + image + 4) + 1) & ~1u);
            if (webp.codec.isEmpty())
                webp.codec = QString::fromLatin1(bytes.mid(image, 4)).trimmed();
        }
        at = body + int((size + 1) & ~1);  // chunks are padded to an even size
    }
    if (!animated || webp.frames == 0)
        return broken(QStringLiteral("it holds no animation"));
    return webp;
}
