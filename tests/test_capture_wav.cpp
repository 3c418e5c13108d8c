// The capture's WAV writer: a header every reader agrees with, and the
// samples after it unchanged.
#include "../tools/capture/wavfile.h"

#include <QtEndian>
#include <QtTest>
#include <QTemporaryDir>

namespace {

quint32 u32(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint16 u16(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

} // namespace

class TestCaptureWav : public QObject {
    Q_OBJECT

private slots:
    void header_data()
    {
        QTest::addColumn<qint64>("dataBytes");
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<int>("channels");
        QTest::newRow("the show's format, one player frame") << qint64(2592) << 44100 << 2;
        QTest::newRow("empty") << qint64(0) << 44100 << 2;
        QTest::newRow("mono at 48 kHz") << qint64(96000) << 48000 << 1;
        QTest::newRow("a whole song") << qint64(15878592) << 44100 << 2;
    }
    void header()
    {
        QFETCH(qint64, dataBytes);
        QFETCH(int, sampleRate);
        QFETCH(int, channels);
        const QByteArray header = wavHeader(dataBytes, sampleRate, channels);
        QCOMPARE(header.size(), 44);
        QCOMPARE(header.mid(0, 4), QByteArray("RIFF"));
        QCOMPARE(u32(header, 4), quint32(36 + dataBytes));
        QCOMPARE(header.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(u32(header, 16), quint32(16));
        QCOMPARE(u16(header, 20), quint16(1));
        QCOMPARE(u16(header, 22), quint16(channels));
        QCOMPARE(u32(header, 24), quint32(sampleRate));
        QCOMPARE(u32(header, 28), quint32(sampleRate * channels * 2));
        QCOMPARE(u16(header, 32), quint16(channels * 2));
        QCOMPARE(u16(header, 34), quint16(16));
        QCOMPARE(header.mid(36, 4), QByteArray("data"));
        QCOMPARE(u32(header, 40), quint32(dataBytes));
    }

    void fileIsHeaderThenSamples()
    {
        QTemporaryDir dir;
        QByteArray pcm;
        for (int i = 0; i < 648 * 2; ++i) {
            const qint16 sample = qint16(i * 37 - 20000);
            pcm.append(reinterpret_cast<const char *>(&sample), 2);
        }
        QString error;
        const QString path = dir.filePath("audio.wav");
        QVERIFY2(writeWavFile(path, pcm, 44100, 2, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.size(), 44 + pcm.size());
        QCOMPARE(bytes.left(44), wavHeader(pcm.size(), 44100, 2));
        // Samples are stored little-endian whatever the machine.
        for (int i = 0; i < 648 * 2; ++i)
            QCOMPARE(qFromLittleEndian<qint16>(bytes.constData() + 44 + 2 * i), qint16(i * 37 - 20000));
    }

    void unwritablePathIsReported()
    {
        QTemporaryDir dir;
        QString error;
        const QString path = dir.filePath("missing/audio.wav");
        QVERIFY(!writeWavFile(path, QByteArray(4, '\0'), 44100, 2, &error));
        QVERIFY2(error.contains(path), qPrintable(error));
    }
};

QTEST_APPLESS_MAIN(TestCaptureWav)
#include "test_capture_wav.moc"
