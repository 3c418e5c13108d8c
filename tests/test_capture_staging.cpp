// The capture's staging on a disk of its own (a 1 MB tmpfs, so run as root):
// a new set goes into DIR whole or not at all, on a full disk or one that
// turns read-only, and a failure leaves DIR and the disk as they were.
#include "../tools/capture/filewrite.h"
#include "../tools/capture/staging.h"

#include <QtTest>
#include <sys/mount.h>

namespace {

// "name=contents" of each entry, hidden ones too; "name=/" for a directory.
QStringList listing(const QString &path)
{
    QStringList entries;
    for (const QFileInfo &entry : QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        QFile file(entry.filePath());
        entries << entry.fileName() + "=" + (!entry.isDir() && file.open(QIODevice::ReadOnly) ? file.readAll() : "/");
    }
    return entries;
}


} // namespace

class TestCaptureStaging : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    const QString disk = scratch.filePath("disk");
    QString path(const QString &name) const { return QDir(disk).filePath(name); }
    bool mountDisk(unsigned long flags) { return ::mount("tmpfs", qPrintable(disk), "tmpfs", flags, "size=1m") == 0; }

private slots:
    void init()
    {
        if (!QDir().mkpath(disk) || !mountDisk(0))
            QSKIP("mounting a tmpfs needs root");
        QDir(disk).mkdir("shots");
        for (const QString &file : {"file=", "shots/audio.wav=earlier", "shots/frame-000001.png=earlier", "shots/notes.txt=kept"})
            QCOMPARE(writeWholeFile(path(file.section('=', 0, 0)), file.section('=', 1).toLatin1()), QString());
    }
    void cleanup() { ::umount2(qPrintable(disk), MNT_DETACH); }

    void wholeOrNothing_data()
    {
        QTest::addColumn<QString>("out");      // DIR, or after "video:" the video, on the disk
        QTest::addColumn<QString>("trouble");  // what befalls the disk, and when
        QTest::addColumn<QString>("said");     // in the error; empty when the new set stays committed
        QTest::addColumn<QString>("left");     // in DIR afterwards, beside notes.txt, which stays
        const QString earlier = "audio.wav=earlier frame-000001.png=earlier";
        QTest::newRow("full disk: renaming still commits") << "shots" << "full" << "" << "audio.wav=new frame-000002.png=new";
        QTest::newRow("full disk, undone after the commit") << "shots" << "full, undo" << "" << earlier;
        QTest::newRow("full disk: a staged file does not fit") << "new/shots" << "overflow" << "No space left on device" << earlier;
        QTest::newRow("read-only before the commit") << "shots" << "read-only" << "cannot move the earlier capture aside (audio.wav: Read-only file system); " << earlier;
        QTest::newRow("a directory in the way: moved back") << "shots" << "directory"
            << "(frame-000002.png: Is a directory); it holds what it held before" << earlier + " frame-000002.png=/";
        QTest::newRow("DIR under a file") << "file/sub" << "" << "file/sub: Not a directory" << earlier;
        QTest::newRow("DIR under a file, which") << "file/a/b" << "" << "file/a: Not a directory" << earlier;
        QTest::newRow("DIR is a file") << "file" << "" << "a file of that name is in the way" << earlier;
        QTest::newRow("video onto a directory") << "video:shots" << "" << "shots is a directory" << earlier;
    }
    void wholeOrNothing()
    {
        QFETCH(QString, out);
        QFETCH(QString, trouble);
        QFETCH(QString, said);
        QString error;
        bool committed = false;
        if (out.startsWith("video:")) {
            QVERIFY(!makeVideoDraft(path(out.mid(6)), &error));
        } else {
            Staging staging;
            if (staging.prepare(path(out), &error)) {
                for (const QString &name : {"audio.wav", "frame-000002.png"})
                    QCOMPARE(writeWholeFile(staging.path(name), "new"), QString());
                if (trouble.startsWith("full"))
                    writeWholeFile(path("filler"), QByteArray(1 << 20, 'x'));
                error = trouble == "overflow" ? writeWholeFile(staging.path("big"), QByteArray(1 << 21, 'x')) : QString();
                if (trouble == "read-only")
                    QVERIFY(mountDisk(MS_REMOUNT | MS_RDONLY));
                if (trouble == "directory")
                    QVERIFY(QDir(path("shots")).mkdir("frame-000002.png"));
                committed = error.isEmpty() && staging.commit({"audio.wav", "frame-000002.png"}, &error);
                if (committed && trouble.endsWith("undo"))
                    staging.undo(&error);
            }
            QVERIFY(mountDisk(MS_REMOUNT));
        }
        QVERIFY2(committed == said.isEmpty() && error.contains(said), qPrintable(error));
        QFile::remove(path("filler"));
        QTEST(listing(path("shots")).join(' ').remove(" notes.txt=kept"), "left");
        QCOMPARE(listing(disk), (QStringList{"file=", "shots=/"}));
    }
};

QTEST_MAIN(TestCaptureStaging)
#include "test_capture_staging.moc"
