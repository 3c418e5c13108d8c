#include "wavfile.h"

#include "filewrite.h"

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
    QByteArray bytes = wavHeader(pcm.size(), sampleRate, channels);
    const int headerBytes = bytes.size();
    bytes.append(pcm);
    if (QSysInfo::ByteOrder == QSysInfo::BigEndian) {
        // libxmp mixes in the machine's byte order; WAV is little-endian.
        auto *samples = reinterpret_cast<quint16 *>(bytes.data() + headerBytes);
        for (int i = 0; i < pcm.size() / 2; ++i)
            samples[i] = qbswap(samples[i]);
    }
    const QString why = writeWholeFile(path, bytes);
    if (!why.isEmpty()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, why);
        return false;
    }
    return true;
}
