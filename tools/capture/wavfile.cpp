#include "wavfile.h"

#include <QFile>
#include <QtEndian>

namespace {

void append32(QByteArray &bytes, quint32 value)
{
    char little[4];
    qToLittleEndian(value, little);
    bytes.append(little, 4);
}

void append16(QByteArray &bytes, quint16 value)
{
    char little[2];
    qToLittleEndian(value, little);
    bytes.append(little, 2);
}

} // namespace

QByteArray wavHeader(qint64 dataBytes, int sampleRate, int channels)
{
    constexpr int bytesPerSample = 2;
    QByteArray header;
    header.append("RIFF", 4);
    append32(header, quint32(36 + dataBytes));
    header.append("WAVE", 4);
    header.append("fmt ", 4);
    append32(header, 16);  // size of the PCM format record
    append16(header, 1);   // integer PCM
    append16(header, quint16(channels));
    append32(header, quint32(sampleRate));
    append32(header, quint32(sampleRate * channels * bytesPerSample));
    append16(header, quint16(channels * bytesPerSample));
    append16(header, 16);
    header.append("data", 4);
    append32(header, quint32(dataBytes));
    return header;
}

bool writeWavFile(const QString &path, const QByteArray &pcm, int sampleRate, int channels,
                  QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    QByteArray littleEndianPcm = pcm;
    if (QSysInfo::ByteOrder == QSysInfo::BigEndian) {
        // libxmp mixes in the machine's byte order; WAV is little-endian.
        auto *samples = reinterpret_cast<quint16 *>(littleEndianPcm.data());
        for (int i = 0; i < littleEndianPcm.size() / 2; ++i)
            samples[i] = qbswap(samples[i]);
    }
    const QByteArray header = wavHeader(pcm.size(), sampleRate, channels);
    if (file.write(header) != header.size() || file.write(littleEndianPcm) != littleEndianPcm.size()
        || !file.flush()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
