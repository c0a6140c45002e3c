#include "service/JobReception.h"

#include "service/FileNames.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace {

bool unnamedFiles = true;

// A temporary file untouched for this long, and not locked, was left behind.
constexpr int leftoverAgeSeconds = 60;

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The bytes this user may still write on the folder's volume; -1 unknown.
qint64 bytesAvailable(const QString &folder)
{
    struct statvfs volume;
    if (::statvfs(encoded(folder).constData(), &volume) != 0)
        return -1;
    return qint64(volume.f_bavail) * qint64(volume.f_frsize);
}

QString sizeText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes);
}

// True when the regular file at `path` holds the `size` bytes of the open
// file `fd`.
bool sameContents(int fd, qint64 size, const QString &path)
{
    const int other = ::open(encoded(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (other < 0)
        return false;
    struct stat info;
    bool same = ::fstat(other, &info) == 0 && S_ISREG(info.st_mode) && info.st_size == size;
    constexpr qint64 block = 64 * 1024;
    std::array<char, block> mine;
    std::array<char, block> theirs;
    for (qint64 at = 0; same && at < size;) {
        const size_t want = size_t(std::min(block, size - at));
        const ssize_t got = ::pread(fd, mine.data(), want, at);
        same = got > 0 && ::pread(other, theirs.data(), size_t(got), at) == got &&
               std::memcmp(mine.data(), theirs.data(), size_t(got)) == 0;
        at += got;
    }
    ::close(other);
    return same;
}

} // namespace

JobReception::JobReception(QString destination) : m_destination(std::move(destination))
{
}

JobReception::~JobReception()
{
    discard();
}

void JobReception::setUnnamedFiles(bool allowed)
{
    unnamedFiles = allowed;
}

bool JobReception::CreateFolderPath(const QString &path, QStringList *created)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!FileNames::isSeparator(path.at(i)))
            continue;
        // Doubled separators name no new folder.
        if (i > 0 && FileNames::isSeparator(path.at(i - 1)))
            continue;
        const QString folder = path.left(i + 1);
        if (QFileInfo(folder).isDir())
            continue;
        if (::mkdir(encoded(folder).constData(), 0777) == 0) {
            if (created)
                created->append(folder);
            continue;
        }
        // Another program may have made it meanwhile.
        if (errno != EEXIST || !QFileInfo(folder).isDir())
            return false;
    }
    return true;
}

QString JobReception::numberedPath(const QString &path, int number)
{
    qsizetype nameStart = path.size();
    while (nameStart > 0 && !FileNames::isSeparator(path.at(nameStart - 1)))
        --nameStart;
    qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= nameStart)
        dot = path.size();
    return path.left(dot) + QStringLiteral(" (%1)").arg(number) + path.mid(dot);
}

void JobReception::removeLeftovers(const QString &folder)
{
    const QDir dir(folder);
    const QStringList names = dir.entryList({QStringLiteral(".quillet-*.part")},
                                            QDir::Files | QDir::Hidden | QDir::System);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const QString &name : names) {
        const QByteArray path = encoded(dir.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened;
        struct stat named;
        // Locked: another program writes it. Recent: one may be about to lock it.
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
            now - qint64(opened.st_mtime) >= leftoverAgeSeconds &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::stat(path.constData(), &named) == 0 &&
            named.st_ino == opened.st_ino && named.st_dev == opened.st_dev)
            ::unlink(path.constData());
        ::close(fd);
    }
}

void JobReception::fail(const QString &what, int error)
{
    m_error = QObject::tr("%1: %2").arg(what, systemText(error));
}

bool JobReception::openTemporary(const QString &folder)
{
    const QString failure = QObject::tr("The file %1 could not be written")
                                .arg(QDir::toNativeSeparators(m_destination));
#ifdef O_TMPFILE
    // Unnamed until it is put in place: a crash leaves nothing behind.
    if (unnamedFiles) {
        m_fd = ::open(encoded(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (m_fd >= 0)
            return true;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            fail(failure, errno);
            return false;
        }
    }
#endif
    // Hidden, beside the destination, so that putting it in place is a
    // rename on the same volume; locked for as long as it is open.
    QByteArray name = encoded(folder + QStringLiteral("/.quillet-XXXXXX.part"));
    m_fd = ::mkostemps(name.data(), 5, O_CLOEXEC);
    if (m_fd < 0) {
        fail(failure, errno);
        return false;
    }
    ::flock(m_fd, LOCK_EX | LOCK_NB);
    m_temporaryPath = QFile::decodeName(name);
    return true;
}

bool JobReception::hasRoomFor(const QString &folder, qint64 length)
{
    if (length <= 0)
        return true;
    const qint64 available = bytesAvailable(folder);
    if (available >= 0 && available < length) {
        m_error = QObject::tr("There is not enough free space for this job in %1: it needs "
                              "%2, %3 are free.")
                      .arg(QDir::toNativeSeparators(folder), sizeText(length), sizeText(available));
        return false;
    }
    return true;
}

bool JobReception::begin(qint64 contentLength)
{
    discard();
    m_error.clear();
    const QString folder = QFileInfo(m_destination).absolutePath();
    if (!CreateFolderPath(m_destination, &m_createdFolders) || !QFileInfo(folder).isDir()) {
        m_error = QObject::tr("The folder %1 could not be created.")
                      .arg(QDir::toNativeSeparators(folder));
        discard();
        return false;
    }
    if (!hasRoomFor(folder, contentLength) || !openTemporary(folder)) {
        discard();
        return false;
    }
    return true;
}

bool JobReception::resume(qint64 remaining)
{
    if (m_fd < 0 || m_written == 0)
        return false;
    m_error.clear();
    return hasRoomFor(QFileInfo(m_destination).absolutePath(), remaining);
}

bool JobReception::write(const char *data, qint64 size)
{
    if (m_fd < 0)
        return false;
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            fail(QObject::tr("The file %1 could not be written after %2")
                     .arg(QDir::toNativeSeparators(m_destination), sizeText(m_written)),
                 written < 0 ? errno : ENOSPC);
            discard();
            return false;
        }
        data += written;
        size -= written;
        m_written += written;
    }
#ifdef Q_OS_LINUX
    // Start writing back what has arrived so far, so that making the file
    // durable before its confirmation does not wait for all of it at the end.
    constexpr qint64 writeBackStep = 8 * 1024 * 1024;
    if (m_written - m_writtenBack >= writeBackStep) {
        ::sync_file_range(m_fd, m_writtenBack, m_written - m_writtenBack, SYNC_FILE_RANGE_WRITE);
        m_writtenBack = m_written;
    }
#endif
    return true;
}

bool JobReception::placeAt(const QString &candidate)
{
    const QByteArray target = encoded(candidate);
    if (m_temporaryPath.isEmpty()) {
        // A link never replaces a file that is there.
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", m_fd);
        if (::linkat(AT_FDCWD, self, AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) == 0)
            return true;
#ifdef AT_EMPTY_PATH
        if (errno == ENOENT && ::linkat(m_fd, "", AT_FDCWD, target.constData(), AT_EMPTY_PATH) == 0)
            return true;
#endif
        return false;
    }
    const QByteArray temporary = encoded(m_temporaryPath);
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(),
                    RENAME_NOREPLACE) == 0) {
        m_temporaryPath.clear();
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
#endif
    if (::link(temporary.constData(), target.constData()) == 0) {
        ::unlink(temporary.constData());
        m_temporaryPath.clear();
        return true;
    }
    if (errno == EEXIST)
        return false;
    // A file system with neither: a file that appears between the look and
    // the rename would be replaced.
    struct stat info;
    if (::lstat(target.constData(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    if (::rename(temporary.constData(), target.constData()) != 0)
        return false;
    m_temporaryPath.clear();
    return true;
}

std::optional<QString> JobReception::finish()
{
    if (m_fd < 0) {
        if (m_error.isEmpty())
            m_error = QObject::tr("Nothing was received.");
        return std::nullopt;
    }
    for (int number = 1; number < 10000; ++number) {
        const QString candidate = number == 1 ? m_destination : numberedPath(m_destination, number);
        // A name taken while it is looked at is looked at once more.
        for (int look = 0; look < 2; ++look) {
            struct stat info;
            if (::lstat(encoded(candidate).constData(), &info) == 0) {
                // The same job fetched again: its file is already there.
                if (!sameContents(m_fd, m_written, candidate))
                    break;
                discard();
                return candidate;
            }
            if (placeAt(candidate)) {
                close();
                m_createdFolders.clear();
                return candidate;
            }
            if (errno != EEXIST) {
                fail(QObject::tr("The file %1 could not be put in place")
                         .arg(QDir::toNativeSeparators(candidate)),
                     errno);
                discard();
                return std::nullopt;
            }
        }
    }
    m_error = QObject::tr("No free file name was found for %1.")
                  .arg(QDir::toNativeSeparators(m_destination));
    discard();
    return std::nullopt;
}

void JobReception::close()
{
    if (!m_temporaryPath.isEmpty()) {
        ::unlink(encoded(m_temporaryPath).constData());
        m_temporaryPath.clear();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_written = 0;
    m_writtenBack = 0;
}

void JobReception::discard()
{
    close();
    // Innermost first; a folder that holds anything stays.
    while (!m_createdFolders.isEmpty())
        ::rmdir(encoded(m_createdFolders.takeLast()).constData());
}
