#include "bench/FileInput.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tq::bench {

namespace {

Error Refused(const QString& name, const QString& why) {
    return UsageError(QStringLiteral("cannot read %1: %2").arg(name, why).toStdString());
}

QString SystemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return QStringLiteral("it is a folder");
    if (S_ISFIFO(mode)) return QStringLiteral("it is a pipe (FIFO), not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("it is a device, not a regular file");
    if (S_ISSOCK(mode)) return QStringLiteral("it is a socket, not a regular file");
    return QStringLiteral("it is not a regular file");
}

// Reads at most limit + 1 bytes, in pieces, so an endless source stops there and a small
// one never costs a buffer of the limit's size.
Outcome<QByteArray> ReadBounded(QFile& file, const QString& name, qint64 limit) {
    constexpr qint64 kPiece = 64 * 1024;
    QByteArray bytes;
    while (bytes.size() <= limit) {
        const QByteArray piece = file.read(std::min(kPiece, limit + 1 - bytes.size()));
        if (piece.isEmpty()) {
            if (file.error() != QFileDevice::NoError) return Refused(name, file.errorString());
            return bytes;
        }
        bytes += piece;
    }
    return Refused(name, QStringLiteral("it is larger than %1 bytes").arg(limit));
}

} // namespace

Outcome<QByteArray> ReadInputFile(const QString& path, qint64 limit) {
    // O_NONBLOCK: opening a FIFO that has no writer returns at once instead of waiting.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Refused(path, SystemError(errno));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Refused(path, file.errorString());
    }
    // What was opened is checked, not the name, which may have changed since.
    struct stat info {};
    if (::fstat(fd, &info) != 0) return Refused(path, SystemError(errno));
    if (!S_ISREG(info.st_mode)) return Refused(path, KindOf(info.st_mode));
    if (info.st_size > limit)
        return Refused(path, QStringLiteral("it is larger than %1 bytes").arg(limit));
    return ReadBounded(file, path, limit);
}

Outcome<QByteArray> ReadStandardInput(qint64 limit) {
    const QString name = QStringLiteral("standard input");
    QFile file;
    if (!file.open(STDIN_FILENO, QIODevice::ReadOnly | QIODevice::Unbuffered,
                   QFileDevice::DontCloseHandle))
        return Refused(name, file.errorString());
    return ReadBounded(file, name, limit);
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

} // namespace tq::bench
