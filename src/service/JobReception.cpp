#include "service/JobReception.h"

#include "naming/FileNames.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace {

// A temporary file untouched for this long, and not locked, was left behind.
constexpr int leftoverAgeSeconds = 60;

// A received body is written back to the disk in steps of this size.
constexpr qint64 writeBackStep = 8 * 1024 * 1024;

QString sizeText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes);
}

QString fileName(const QString &path)
{
    qsizetype start = path.size();
    while (start > 0 && !FileNames::isSeparator(path.at(start - 1)))
        --start;
    return path.mid(start);
}

// True when the regular file `name` in `dirFd` holds the `size` bytes of the
// open file `fd`.
bool sameContents(int fd, qint64 size, int dirFd, const QByteArray &name)
{
    const int other =
        ::openat(dirFd, name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
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

bool isLeftoverName(const char *name)
{
    const size_t length = std::strlen(name);
    return std::strncmp(name, ".quillet-", 9) == 0 && length > 14 &&
           std::strcmp(name + length - 5, ".part") == 0;
}

// Removes the temporary files in the folder `dirFd` that were left by a run
// that ended before it could put them in place: those no program holds
// locked and that were not written to in the last minute.
void removeLeftovers(int dirFd)
{
    DIR *dir = ::fdopendir(::dup(dirFd));
    if (!dir)
        return;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    while (const dirent *entry = ::readdir(dir)) {
        if (!isLeftoverName(entry->d_name))
            continue;
        const int fd =
            ::openat(dirFd, entry->d_name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened;
        struct stat named;
        // Locked: another program writes it. Recent: one may be about to lock it.
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
            now - qint64(opened.st_mtime) >= leftoverAgeSeconds &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_ino == opened.st_ino && named.st_dev == opened.st_dev)
            ::unlinkat(dirFd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

} // namespace

JobReception::JobReception(QString destination, std::shared_ptr<DownloadFolder> folder,
                           std::shared_ptr<DiskFlush::WriteBack> writeBack)
    : m_destination(std::move(destination)), m_folder(std::move(folder)),
      m_writeBack(std::move(writeBack))
{
    if (!m_folder) {
        const QString folder = m_destination.chopped(fileName(m_destination).size());
        m_folder =
            std::make_shared<DownloadFolder>(folder.isEmpty() ? QStringLiteral(".") : folder);
    }
}

JobReception::~JobReception()
{
    discard();
}

QString JobReception::numberedPath(const QString &path, int number)
{
    const qsizetype nameStart = path.size() - fileName(path).size();
    qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= nameStart)
        dot = path.size();
    return path.left(dot) + QStringLiteral(" (%1)").arg(number) + path.mid(dot);
}

void JobReception::fail(const QString &what, int error)
{
    m_error = QObject::tr("%1: %2").arg(what, DiskFlush::systemText(error));
}

bool JobReception::openTemporary()
{
    const QString failure = QObject::tr("The file %1 could not be written")
                                .arg(QDir::toNativeSeparators(m_destination));
    // Created with the mode the umask leaves of rw-rw-rw-, as other programs'
    // downloads are: typing pools share folders by group.
#ifdef O_TMPFILE
    // Unnamed until it is put in place: a crash leaves nothing behind.
    if (m_unnamedFiles) {
        m_fd = ::openat(m_dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            return true;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            fail(failure, errno);
            return false;
        }
    }
#endif
    // Hidden, beside the destination, so that putting it in place is a
    // rename in the same folder; locked for as long as it is open.
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int tries = 0; tries < 100 && m_fd < 0; ++tries) {
        QByteArray name = ".quillet-XXXXXX.part";
        for (int i = 9; i < 15; ++i)
            name[i] = letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
        m_fd = ::openat(m_dirFd, name.constData(),
                        O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            m_temporaryName = name;
        else if (errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        fail(failure, errno);
        return false;
    }
    ::flock(m_fd, LOCK_EX | LOCK_NB);
    return true;
}

bool JobReception::hasRoomFor(qint64 length)
{
    if (length <= 0)
        return true;
    struct statvfs volume;
    if (::fstatvfs(m_dirFd, &volume) != 0)
        return true;
    const qint64 available = qint64(volume.f_bavail) * qint64(volume.f_frsize);
    if (available < length) {
        m_error = QObject::tr("There is not enough free space for this job in %1: it needs "
                              "%2, %3 are free.")
                      .arg(QDir::toNativeSeparators(QFileInfo(m_destination).absolutePath()),
                           sizeText(length), sizeText(available));
        return false;
    }
    return true;
}

bool JobReception::begin(qint64 contentLength)
{
    discard();
    m_error.clear();
    const QString &top = m_folder->path();
    const QString below =
        m_destination.startsWith(top) ? m_destination.mid(top.size() + 1) : fileName(m_destination);
    const QString folder = below.left(below.size() - fileName(below).size());
    m_dirFd = m_folder->openFolder(folder, m_createdFolders, m_error);
    if (m_dirFd < 0) {
        discard();
        return false;
    }
    if (m_folder->firstVisit(m_dirFd))
        removeLeftovers(m_dirFd);
    if (!hasRoomFor(contentLength) || !openTemporary()) {
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
    return hasRoomFor(remaining);
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
    // What has arrived goes to the disk while the rest arrives, so that
    // making the file durable before its confirmation waits for its tail only.
    if (m_writeBack && m_written - m_writtenBack >= writeBackStep) {
        // Its errors count when the files are flushed before their confirmation.
        if (!m_handle)
            m_handle = std::make_shared<DiskFlush::Handle>(::dup(m_fd));
        m_writeBack->range(m_handle, m_writtenBack, m_written - m_writtenBack);
        m_writtenBack = m_written;
    }
    return true;
}

bool JobReception::placeAt(const QByteArray &name)
{
    if (m_temporaryName.isEmpty()) {
        // A link never replaces a file that is there.
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", m_fd);
        if (::linkat(AT_FDCWD, self, m_dirFd, name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return true;
#ifdef AT_EMPTY_PATH
        if (errno == ENOENT && ::linkat(m_fd, "", m_dirFd, name.constData(), AT_EMPTY_PATH) == 0)
            return true;
#endif
        return false;
    }
    const char *temporary = m_temporaryName.constData();
#ifdef RENAME_NOREPLACE
    if (::renameat2(m_dirFd, temporary, m_dirFd, name.constData(), RENAME_NOREPLACE) == 0) {
        m_temporaryName.clear();
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
#endif
    if (::linkat(m_dirFd, temporary, m_dirFd, name.constData(), 0) == 0) {
        ::unlinkat(m_dirFd, temporary, 0);
        m_temporaryName.clear();
        return true;
    }
    if (errno == EEXIST)
        return false;
    // A file system with neither: a file that appears between the look and
    // the rename would be replaced.
    struct stat info;
    if (::fstatat(m_dirFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    if (::renameat(m_dirFd, temporary, m_dirFd, name.constData()) != 0)
        return false;
    m_temporaryName.clear();
    return true;
}

std::optional<QString> JobReception::finish()
{
    m_placed = false;
    if (m_fd < 0) {
        if (m_error.isEmpty())
            m_error = QObject::tr("Nothing was received.");
        return std::nullopt;
    }
    for (int number = 1; number < 10000; ++number) {
        const QString candidate = number == 1 ? m_destination : numberedPath(m_destination, number);
        const QByteArray name = QFile::encodeName(fileName(candidate));
        // A name taken while it is looked at is looked at once more.
        for (int look = 0; look < 2; ++look) {
            struct stat info;
            if (::fstatat(m_dirFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
                // The same job fetched again: its file is already there.
                if (!sameContents(m_fd, m_written, m_dirFd, name))
                    break;
                discard();
                return candidate;
            }
            if (placeAt(name)) {
                // The rest of a body written back while it arrived goes to the
                // disk on the write-back's thread.
                if (m_handle)
                    m_writeBack->finish(m_handle);
                const int fd = std::exchange(m_fd, -1);
                if (::close(fd) != 0 && errno != EINTR) {
                    fail(QObject::tr("The file %1 could not be written")
                             .arg(QDir::toNativeSeparators(candidate)),
                         errno);
                    ::unlinkat(m_dirFd, name.constData(), 0);
                    discard();
                    return std::nullopt;
                }
                close();
                m_placed = true;
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
    if (!m_temporaryName.isEmpty()) {
        ::unlinkat(m_dirFd, m_temporaryName.constData(), 0);
        m_temporaryName.clear();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_dirFd >= 0) {
        ::close(m_dirFd);
        m_dirFd = -1;
    }
    m_written = 0;
    m_writtenBack = 0;
}

void JobReception::discard()
{
    close();
    m_placed = false;
    m_handle.reset();
    // Innermost first; a folder that holds anything stays.
    DownloadFolder::remove(m_createdFolders);
}
