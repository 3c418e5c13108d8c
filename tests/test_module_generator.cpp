// The module generator as a build step: it writes the same bytes on every
// run, those bytes are the module compiled into the program, and it is quick
// and small enough to run on every build.
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kGenerator = QStringLiteral(KARNVELDT_BINARY_DIR "/tools/karnveldt-compose");

struct Run {
    int exitCode = -1;
    qint64 milliseconds = 0;
    QByteArray output;  // the written module
    QByteArray errors;
};

Run compose(const QStringList& arguments, const QString& outputPath = {}) {
    Run run;
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(kGenerator, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.milliseconds = timer.elapsed();
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.errors = process.readAllStandardError();
    if (!outputPath.isEmpty()) {
        QFile written(outputPath);
        if (written.open(QIODevice::ReadOnly)) run.output = written.readAll();
    }
    return run;
}

}  // namespace

class TestModuleGenerator : public QObject {
    Q_OBJECT

private:
    QTemporaryDir scratch;

private slots:
    void initTestCase() {
        QVERIFY2(QFile::exists(kGenerator), qPrintable(kGenerator + " is not built"));
        QVERIFY(scratch.isValid());
    }

    void writesTheCompiledInModuleEveryTime() {
        QFile resource(":/music.xm");
        QVERIFY(resource.open(QIODevice::ReadOnly));
        const QByteArray compiledIn = resource.readAll();
        for (const char* name : {"first.xm", "second.xm"}) {
            const QString path = scratch.filePath(name);
            const Run run = compose({path}, path);
            QVERIFY2(run.exitCode == 0, qPrintable(QString("%1: exit %2, %3").arg(name).arg(run.exitCode).arg(QString(run.errors))));
            QVERIFY2(run.output == compiledIn,
                     qPrintable(QString("%1: %2 bytes differ from the %3 compiled in")
                                    .arg(name).arg(run.output.size()).arg(compiledIn.size())));
        }
    }

    void isQuickAndSmall() {
        const QString path = scratch.filePath("timed.xm");
        const Run run = compose({path}, path);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.milliseconds < 5000, qPrintable(QString("took %1 ms").arg(run.milliseconds)));
        QVERIFY2(run.output.size() > 0 && run.output.size() < 4 * 1024 * 1024,
                 qPrintable(QString("module is %1 bytes").arg(run.output.size())));
    }

    void refusesAMissingOrUnwritableOutput() {
        const Run noArgument = compose({});
        QCOMPARE(noArgument.exitCode, 2);
        QVERIFY2(noArgument.errors.contains("usage"), noArgument.errors.constData());
        const Run unwritable = compose({scratch.filePath("no-such-directory/music.xm")});
        QVERIFY2(unwritable.exitCode != 0, "writing into a missing directory reported success");
    }
};

QTEST_GUILESS_MAIN(TestModuleGenerator)
#include "test_module_generator.moc"
