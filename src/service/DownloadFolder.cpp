#include "service/DownloadFolder.h"

#include "naming/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

DownloadFolder::DownloadFolder(QString path) : m_path(std::move(path))
{
    while (m_path.size() > 1 && FileNames::isSeparator(m_path.back()))
        m_path.chop(1);
}

DownloadFolder::~DownloadFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DownloadFolder::CreateFolderPath(const QString &path, QList<Created> *created)
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
        if (::mkdir(QFile::encodeName(folder).constData(), 0777) == 0) {
            if (created)
                created->append({AT_FDCWD, QFile::encodeName(folder)});
            continue;
        }
        // Another program may have made it meanwhile.
        if (errno != EEXIST || !QFileInfo(folder).isDir())
            return false;
    }
    return true;
}

int DownloadFolder::root(QList<Created> &created, QString &error)
{
    struct stat info;
    // A folder removed since (a failed job took the folder it made) is made again.
    if (m_fd >= 0 && (::fstat(m_fd, &info) != 0 || info.st_nlink == 0)) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_fd >= 0)
        return m_fd;
    const QByteArray name = QFile::encodeName(m_path);
    m_fd = ::open(name.constData(), folderFlags);
    if (m_fd < 0 && errno == ENOENT && CreateFolderPath(m_path + QLatin1Char('/'), &created))
        m_fd = ::open(name.constData(), folderFlags);
    if (m_fd < 0)
        error = QObject::tr("The folder %1 could not be created.").arg(native(m_path));
    return m_fd;
}

int DownloadFolder::openFolder(const QString &relative, QList<Created> &created, QString &error)
{
    const int top = root(created, error);
    if (top < 0)
        return -1;
    // The folders on the way down; ".." goes back up, never above the top
    // (names that climb out are refused before they come here).
    QList<int> path{::dup(top)};
    QString shown = m_path;
    const auto fail = [&](const QString &text) {
        error = text;
        for (int fd : path)
            ::close(fd);
        return -1;
    };
    qsizetype start = 0;
    for (qsizetype i = 0; i <= relative.size(); ++i) {
        if (i < relative.size() && !FileNames::isSeparator(relative.at(i)))
            continue;
        const QString component = relative.mid(start, i - start);
        start = i + 1;
        if (component.isEmpty() || component == QLatin1String("."))
            continue;
        if (component == QLatin1String("..")) {
            if (path.size() > 1)
                ::close(path.takeLast());
            continue;
        }
        shown += QLatin1Char('/') + component;
        const QByteArray name = QFile::encodeName(component);
        const int parent = path.last();
        int fd = ::openat(parent, name.constData(), folderFlags | O_NOFOLLOW);
        if (fd < 0 && errno == ENOENT) {
            if (::mkdirat(parent, name.constData(), 0777) == 0)
                created.append({::dup(parent), name});
            else if (errno != EEXIST)
                return fail(QObject::tr("The folder %1 could not be created: %2")
                                .arg(native(shown), QString::fromLocal8Bit(std::strerror(errno))));
            fd = ::openat(parent, name.constData(), folderFlags | O_NOFOLLOW);
        }
        if (fd < 0) {
            struct stat info;
            if (::fstatat(parent, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(info.st_mode))
                return fail(
                    QObject::tr("The folder %1 is a link, not a folder.").arg(native(shown)));
            return fail(QObject::tr("The folder %1 could not be created.").arg(native(shown)));
        }
        path.append(fd);
    }
    const int folder = path.takeLast();
    for (int fd : path)
        ::close(fd);
    return folder;
}

void DownloadFolder::remove(QList<Created> &created)
{
    while (!created.isEmpty()) {
        const Created folder = created.takeLast();
        ::unlinkat(folder.parent, folder.name.constData(), AT_REMOVEDIR);
        if (folder.parent != AT_FDCWD)
            ::close(folder.parent);
    }
}

bool DownloadFolder::firstVisit(int fd)
{
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return false;
    const QPair<quint64, quint64> key{quint64(info.st_dev), quint64(info.st_ino)};
    if (m_visited.contains(key))
        return false;
    m_visited.insert(key);
    return true;
}
