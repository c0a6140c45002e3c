#include "platform/Files.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace Files {

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

QByteArray encoded(const QString &name)
{
    return QFile::encodeName(name);
}

QString child(const Handle &folder, const QString &name)
{
    return folder.path() + QLatin1Char('/') + name;
}

} // namespace

int lastError()
{
    return errno;
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isNameTaken(int error)
{
    return error == EEXIST;
}

int diskFull()
{
    return ENOSPC;
}

bool Handle::isOpen() const
{
    return m_native >= 0;
}

int Handle::close()
{
    if (m_native < 0)
        return 0;
    const int closed = ::close(std::exchange(m_native, -1));
    // After EINTR the descriptor is closed and the data is not known lost.
    return closed != 0 && errno != EINTR ? errno : 0;
}

Handle Handle::duplicate() const
{
    return Handle(m_native >= 0 ? ::fcntl(m_native, F_DUPFD_CLOEXEC, 0) : -1, m_path);
}

std::optional<Identity> identity(const Handle &handle)
{
    struct stat info;
    if (::fstat(handle.native(), &info) != 0)
        return std::nullopt;
    return Identity{quint64(info.st_dev), quint64(info.st_ino)};
}

Handle openFolder(const QString &path, int &error)
{
    Handle folder(::open(encoded(path).constData(), folderFlags), path);
    error = folder.isOpen() ? 0 : errno;
    return folder;
}

Handle openSubfolder(const Handle &parent, const QString &name, bool &created, int &error)
{
    const QByteArray encodedName = encoded(name);
    created = false;
    int fd = ::openat(parent.native(), encodedName.constData(), folderFlags | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT) {
        if (::mkdirat(parent.native(), encodedName.constData(), 0777) == 0)
            created = true;
        else if (errno != EEXIST)
            return error = errno, Handle();
        fd = ::openat(parent.native(), encodedName.constData(), folderFlags | O_NOFOLLOW);
    }
    error = fd < 0 ? errno : 0;
    return Handle(fd, child(parent, name));
}

bool isLink(const Handle &folder, const QString &name)
{
    struct stat info;
    return ::fstatat(folder.native(), encoded(name).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISLNK(info.st_mode);
}

int makeFolder(const QString &path)
{
    return ::mkdir(encoded(path).constData(), 0777) == 0 ? 0 : errno;
}

void removeEmptyFolder(const Handle *parent, const QString &name)
{
    ::unlinkat(parent ? parent->native() : AT_FDCWD, encoded(name).constData(), AT_REMOVEDIR);
}

bool isGone(const Handle &folder)
{
    struct stat info;
    return ::fstat(folder.native(), &info) != 0 || info.st_nlink == 0;
}

qint64 freeSpace(const Handle &folder)
{
    struct statvfs volume;
    if (::fstatvfs(folder.native(), &volume) != 0)
        return -1;
    return qint64(volume.f_bavail) * qint64(volume.f_frsize);
}

QStringList entries(const Handle &folder)
{
    QStringList names;
    DIR *dir = ::fdopendir(::fcntl(folder.native(), F_DUPFD_CLOEXEC, 0));
    if (!dir)
        return names;
    // The duplicate shares the offset: start from the first entry.
    ::rewinddir(dir);
    while (const dirent *entry = ::readdir(dir))
        names.append(QFile::decodeName(entry->d_name));
    ::closedir(dir);
    return names;
}

bool exists(const Handle &folder, const QString &name)
{
    struct stat info;
    return ::fstatat(folder.native(), encoded(name).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

Handle openRegular(const Handle *folder, const QString &name, qint64 &size, int &error)
{
    // In a folder, a link is never followed; a path is taken as named.
    const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (folder ? O_NOFOLLOW : 0);
    Handle file(::openat(folder ? folder->native() : AT_FDCWD, encoded(name).constData(), flags),
                folder ? child(*folder, name) : name);
    struct stat info;
    if (!file.isOpen()) {
        error = errno;
        return file;
    }
    error = 0;
    if (::fstat(file.native(), &info) != 0 || !S_ISREG(info.st_mode))
        return Handle();
    size = qint64(info.st_size);
    return file;
}

qint64 readAt(const Handle &file, char *data, qint64 size, qint64 at)
{
    ssize_t got;
    do
        got = ::pread(file.native(), data, size_t(size), at);
    while (got < 0 && errno == EINTR);
    return got;
}

void remove(const Handle &folder, const QString &name)
{
    ::unlinkat(folder.native(), encoded(name).constData(), 0);
}

Handle createTemporary(const Handle &folder, bool unnamed, QString &name, int &error)
{
    name.clear();
#ifdef O_TMPFILE
    // Unnamed until it is put in place: a crash leaves nothing behind.
    if (unnamed) {
        Handle file(::openat(folder.native(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666),
                    folder.path());
        if (file.isOpen() || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
            error = file.isOpen() ? 0 : errno;
            return file;
        }
    }
#else
    Q_UNUSED(unnamed);
#endif
    // Hidden, beside the destination, so that putting it in place is a
    // rename in the same folder; locked for as long as it is open.
    for (int tries = 0; tries < 100; ++tries) {
        const QByteArray candidate = newTemporaryName().toLatin1();
        const int fd = ::openat(folder.native(), candidate.constData(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX | LOCK_NB);
            name = QString::fromLatin1(candidate);
            error = 0;
            return Handle(fd, child(folder, name));
        }
        if (errno != EEXIST)
            break;
    }
    error = errno;
    return Handle();
}

void removeIfLeftover(const Handle &folder, const QString &name, qint64 ageSeconds)
{
    const QByteArray encodedName = encoded(name);
    const Handle file(::openat(folder.native(), encodedName.constData(),
                               O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC),
                      QString());
    if (!file.isOpen())
        return;
    struct stat opened;
    struct stat named;
    // Locked: another program writes it. Recent: one may be about to lock it.
    if (::fstat(file.native(), &opened) == 0 && S_ISREG(opened.st_mode) &&
        QDateTime::currentSecsSinceEpoch() - qint64(opened.st_mtime) >= ageSeconds &&
        ::flock(file.native(), LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(folder.native(), encodedName.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_ino == opened.st_ino && named.st_dev == opened.st_dev)
        ::unlinkat(folder.native(), encodedName.constData(), 0);
}

int writeAll(const Handle &file, const char *data, qint64 size, qint64 &written)
{
    while (size > 0) {
        const ssize_t done = ::write(file.native(), data, size_t(size));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return done < 0 ? errno : ENOSPC;
        data += done;
        size -= done;
        written += done;
    }
    return 0;
}

int place(const Handle &folder, const Handle &file, QString &temporaryName, const QString &name)
{
    const int dirFd = folder.native();
    const QByteArray target = encoded(name);
    if (temporaryName.isEmpty()) {
        // A link never replaces a file that is there.
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", file.native());
        if (::linkat(AT_FDCWD, self, dirFd, target.constData(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
#ifdef AT_EMPTY_PATH
        if (errno == ENOENT &&
            ::linkat(file.native(), "", dirFd, target.constData(), AT_EMPTY_PATH) == 0)
            return 0;
#endif
        return errno;
    }
    const QByteArray temporary = encoded(temporaryName);
#ifdef RENAME_NOREPLACE
    if (::renameat2(dirFd, temporary.constData(), dirFd, target.constData(), RENAME_NOREPLACE) ==
        0) {
        temporaryName.clear();
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
#endif
    if (::linkat(dirFd, temporary.constData(), dirFd, target.constData(), 0) == 0) {
        ::unlinkat(dirFd, temporary.constData(), 0);
        temporaryName.clear();
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    // A file system with neither: a file that appears between the look and
    // the rename would be replaced.
    if (exists(folder, name))
        return EEXIST;
    if (::renameat(dirFd, temporary.constData(), dirFd, target.constData()) != 0)
        return errno;
    temporaryName.clear();
    return 0;
}

int flushRange(Native file, qint64 from, qint64 length)
{
#ifdef Q_OS_LINUX
    if (::sync_file_range(file, from, length,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                              SYNC_FILE_RANGE_WAIT_AFTER) == 0)
        return 0;
    // A file system without it still gets its data synced at the end.
    return errno == ENOSYS || errno == EINVAL || errno == ESPIPE ? 0 : errno;
#else
    Q_UNUSED(file);
    Q_UNUSED(from);
    Q_UNUSED(length);
    return 0;
#endif
}

int flushFile(Native file)
{
    return ::fdatasync(file) == 0 ? 0 : errno;
}

int flushVolume(Native folder)
{
#ifdef Q_OS_LINUX
    return ::syncfs(folder) == 0 ? 0 : errno;
#else
    Q_UNUSED(folder);
    ::sync();
    return 0;
#endif
}

Handle openToFlush(const QString &path, int &error)
{
    Handle handle(::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC), path);
    error = handle.isOpen() ? 0 : errno;
    return handle;
}

} // namespace Files
