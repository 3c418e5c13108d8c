#include "audioplayer.h"

#include "samplerate.h"

#include <QAudioDeviceInfo>
#include <QAudioFormat>
#include <QAudioOutput>
#include <QMetaObject>

AudioPlayer::AudioPlayer(QIODevice &source)
    : source(source)
{
    thread.setObjectName(QStringLiteral("audio"));
    worker.moveToThread(&thread);
}

AudioPlayer::~AudioPlayer()
{
    if (!thread.isRunning())
        return;
    // The output and its timers belong to the audio thread: end them there.
    QMetaObject::invokeMethod(&worker, [this] {
        if (output)
            output->stop();
        delete output;
        output = nullptr;
    }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

bool AudioPlayer::start()
{
    thread.start(QThread::TimeCriticalPriority);
    bool started = false;
    QMetaObject::invokeMethod(&worker, [this, &started] {
        const QAudioDeviceInfo device = QAudioDeviceInfo::defaultOutputDevice();
        if (device.isNull())
            return;
        QAudioFormat requested;
        requested.setSampleRate(songSampleRate);
        requested.setSampleSize(16);
        requested.setChannelCount(2);
        requested.setSampleType(QAudioFormat::SignedInt);
        output = new QAudioOutput(device, device.nearestFormat(requested));
        output->setBufferSize(16384);
        output->start(&source);
        started = output->error() == QAudio::NoError && output->state() != QAudio::StoppedState;
        if (!started) {
            delete output;
            output = nullptr;
        }
    }, Qt::BlockingQueuedConnection);
    return started;
}
