#include "filewrite.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString writeWholeFile(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return reason(errno);
    qint64 done = 0;
    while (done < bytes.size()) {
        // A write cut short by a full disk is tried again, which then says why.
        const ssize_t wrote = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            const int error = wrote < 0 ? errno : ENOSPC;
            ::close(fd);
            return reason(error);
        }
        done += wrote;
    }
    // Some file systems only find the disk full when the file is closed.
    return ::close(fd) == 0 ? QString() : reason(errno);
}
