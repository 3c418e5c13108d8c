// The pulse player without a sound server: it says so at once and leaves the
// device untouched, so that the silent clock can take the show from the start.
#include "pulseplayer.h"
#include "xmpdevice.h"

#include <QtTest>

class TestPulsePlayer : public QObject {
    Q_OBJECT

private slots:
    void noServerMeansNoStartAndNothingRead()
    {
        qputenv("PULSE_SERVER", "unix:/nonexistent/karnveldt-test");
        XmpDevice device;
        QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        PulsePlayer player(device, 0);
        QVERIFY2(!player.start(0), "started without a sound server");
        QCOMPARE(device.handedSample(), qint64(0));
        QCOMPARE(player.heardSample(), qint64(0));
    }
};

QTEST_GUILESS_MAIN(TestPulsePlayer)
#include "test_pulseplayer.moc"
