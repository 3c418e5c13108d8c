#include "staging.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// mkdir -p that says why it failed, and notes the directories it made, outermost first.
bool makeDirectories(const QString &path, QStringList *made, QString *why)
{
    if (QFileInfo::exists(path) && !QFileInfo(path).isDir()) {
        *why = QStringLiteral("a file of that name is in the way");
        return false;
    }
    QStringList missing;
    for (QString dir = QDir::cleanPath(path); !QFileInfo::exists(dir); dir = QFileInfo(dir).path())
        missing.prepend(dir);
    for (const QString &dir : missing) {
        if (::mkdir(QFile::encodeName(dir).constData(), 0777) != 0) {
            const QString reason = QString::fromLocal8Bit(std::strerror(errno));
            *why = dir == missing.last() ? reason : QStringLiteral("%1: %2").arg(dir, reason);
            return false;
        }
        made->append(dir);
    }
    return true;
}

bool onOneFileSystem(const QString &first, const QString &second)
{
    struct stat a = {}, b = {};
    return ::stat(QFile::encodeName(first).constData(), &a) == 0 && ::stat(QFile::encodeName(second).constData(), &b) == 0
        && a.st_dev == b.st_dev;
}

// rename(2) replaces an existing file in one step; QFile::rename refuses to.
bool replaceFile(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

Staging::~Staging()
{
    // A directory made for a capture that failed goes with it.
    if (staging)
        staging->setAutoRemove(!earlierStranded);
    staging.reset();
    if (!committed)
        for (auto dir = madeDirectories.crbegin(); dir != madeDirectories.crend(); ++dir)
            QDir().rmdir(*dir);
}

bool Staging::prepare(const QString &outDir, QString *error)
{
    target = QDir(outDir);
    QString why;
    if (!makeDirectories(target.absolutePath(), &madeDirectories, &why)) {
        *error = QStringLiteral("cannot create the output directory %1: %2").arg(outDir, why);
        return false;
    }
    // Beside DIR only on DIR's own file system (not when DIR is a mount
    // point), since the set is put in place by renaming.
    const QFileInfo dir(target.absolutePath());
    if (onOneFileSystem(dir.path(), dir.filePath()))
        staging = std::make_unique<QTemporaryDir>(
            dir.dir().filePath(QStringLiteral(".%1.capture-XXXXXX").arg(dir.fileName())));
    if (!staging || !staging->isValid())
        staging = std::make_unique<QTemporaryDir>(target.filePath(QStringLiteral(".capture-XXXXXX")));
    if (!staging->isValid()) {
        *error = QStringLiteral("cannot write in %1: %2").arg(outDir, staging->errorString());
        return false;
    }
    if (!QDir(staging->path()).mkdir(asideName)) {
        *error = QStringLiteral("cannot write in %1: %2").arg(outDir, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

QString Staging::shown(QString message) const
{
    QString shownDir = QDir::cleanPath(target.path());
    if (!shownDir.endsWith(QLatin1Char('/')))
        shownDir += QLatin1Char('/');
    return message.replace(staging->path() + QLatin1Char('/'), shownDir);
}

bool Staging::commit(const QStringList &names, QString *error)
{
    static const QRegularExpression earlierOutput(QStringLiteral("^frame-\\d{6,}\\.png$"));
    const QSet<QString> ours(names.begin(), names.end());
    QStringList earlier;
    for (const QString &name : target.entryList(QDir::Files | QDir::Hidden))
        if (earlierOutput.match(name).hasMatch() || ours.contains(name))
            earlier << name;
    const QString aside = path(asideName);
    if (!moveAll(earlier, target.path(), aside, error)) {
        *error = QStringLiteral("cannot move the earlier capture aside (%1); %2 holds what it held before")
                     .arg(*error, target.path());
        return false;
    }
    QString failure;
    if (!moveAll(names, staging->path(), target.path(), &failure)) {
        *error = QStringLiteral("cannot put the capture in %1 (%2); it holds what it held before")
                     .arg(target.path(), failure);
        QString undoFailure;
        if (!moveAll(earlier, aside, target.path(), &undoFailure))
            strandEarlier(error, undoFailure);
        return false;
    }
    committed = true;
    movedIn = names;
    movedAside = earlier;
    return true;
}

void Staging::undo(QString *error)
{
    QString failure;
    if (!moveAll(movedIn, target.path(), staging->path(), &failure)
        || !moveAll(movedAside, path(asideName), target.path(), &failure))
        strandEarlier(error, failure);
    committed = false;
}

// Moves every named file from one directory to the other; on a failure,
// moves those already moved back and says which one failed and why.
bool Staging::moveAll(const QStringList &names, const QString &from, const QString &to, QString *error)
{
    for (int i = 0; i < names.size(); ++i) {
        if (replaceFile(QDir(from).filePath(names[i]), QDir(to).filePath(names[i])))
            continue;
        *error = QStringLiteral("%1: %2").arg(names[i], QString::fromLocal8Bit(std::strerror(errno)));
        for (int j = i - 1; j >= 0; --j)
            replaceFile(QDir(to).filePath(names[j]), QDir(from).filePath(names[j]));
        return false;
    }
    return true;
}

// The earlier files could not all go back: keep them where they are, and say where.
void Staging::strandEarlier(QString *error, const QString &why)
{
    earlierStranded = true;
    *error += QStringLiteral("; the earlier capture could not be put back (%1) and is kept in %2")
                  .arg(why, path(asideName));
}

// Created 0600, as temporary files are: it gets what a new file would.
std::unique_ptr<QTemporaryFile> makeVideoDraft(const QString &videoFile, QString *error)
{
    const QFileInfo video(videoFile);
    if (video.isDir()) {
        *error = QStringLiteral("--video %1 is a directory; it wants the video's file name").arg(videoFile);
        return nullptr;
    }
    auto draft = std::make_unique<QTemporaryFile>(
        video.dir().filePath(QStringLiteral(".%1.capture-XXXXXX").arg(video.fileName())));
    if (!draft->open()) {
        *error = QStringLiteral("cannot write the video %1: %2").arg(videoFile, draft->errorString());
        return nullptr;
    }
    draft->close();
    const mode_t mask = umask(0);
    umask(mask);
    ::chmod(QFile::encodeName(draft->fileName()).constData(), 0666 & ~mask);
    return draft;
}

bool placeVideoDraft(QTemporaryFile &draft, const QString &videoFile, QString *error)
{
    if (!replaceFile(draft.fileName(), videoFile)) {
        *error = QStringLiteral("cannot move the video to %1: %2")
                     .arg(videoFile, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    draft.setAutoRemove(false);
    return true;
}
