// Where a capture's files are made before they are put in place, so that a
// failure at any point leaves DIR and the video's path as they were.
// Output is made in a hidden directory beside DIR (inside it when DIR's
// parent cannot be written) and put in place only when all of it has been
// written. The earlier capture's files are moved aside, not deleted, until the
// new set is wholly in place.
#pragma once

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <memory>

class Staging {
public:
    // Without a commit, takes away the staged files and the directories prepare made.
    ~Staging();

    // Makes DIR (and what it lacks above it) and the hidden directory beside it.
    bool prepare(const QString &outDir, QString *error);
    // Where a file named `name` is staged.
    QString path(const QString &name) const { return staging->filePath(name); }
    // A message about a staged file names it where it was to go in DIR.
    QString shown(QString message) const;

    // Replaces what an earlier capture left in DIR with this one's files, all
    // of them or, on a failure, none.
    bool commit(const QStringList &names, QString *error);
    // After a commit: takes this capture's files out of DIR and puts the earlier ones back.
    void undo(QString *error);

private:
    static bool moveAll(const QStringList &names, const QString &from, const QString &to, QString *error);
    void strandEarlier(QString *error, const QString &why);

    const QString asideName = QStringLiteral("earlier");
    QDir target;
    QStringList madeDirectories;
    bool committed = false;
    bool earlierStranded = false;
    QStringList movedIn;
    QStringList movedAside;
    std::unique_ptr<QTemporaryDir> staging;
};

// The video is made under a hidden name beside where it goes, created now so
// that an unwritable place is found before the song is painted, and moved into
// place only once it reads back whole. Null, with the reason, if it cannot be.
std::unique_ptr<QTemporaryFile> makeVideoDraft(const QString &videoFile, QString *error);
// Puts the finished draft in the video's place in one step.
bool placeVideoDraft(QTemporaryFile &draft, const QString &videoFile, QString *error);
