#include "service/DiskFlush.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace DiskFlush {

QList<QPair<QString, QString>> flushAndCheck(const QList<ReceivedFile> &files)
{
#ifdef Q_OS_LINUX
    QList<dev_t> synced;
    for (const ReceivedFile &file : files) {
        const QByteArray folder = QFile::encodeName(QFileInfo(file.path).absolutePath());
        const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info;
        if (::fstat(fd, &info) == 0 && !synced.contains(info.st_dev)) {
            synced << info.st_dev;
            ::syncfs(fd);
        }
        ::close(fd);
    }
#endif
    QList<QPair<QString, QString>> missing;
    for (const ReceivedFile &file : files) {
        const QFileInfo info(file.path);
        if (!info.isFile())
            missing.append({file.jobId, QObject::tr("The received file %1 is no longer there.")
                                            .arg(QDir::toNativeSeparators(file.path))});
        else if (info.size() != file.size)
            missing.append({file.jobId, QObject::tr("The received file %1 now holds %2 bytes "
                                                    "instead of %3.")
                                            .arg(QDir::toNativeSeparators(file.path))
                                            .arg(info.size())
                                            .arg(file.size)});
    }
    return missing;
}

} // namespace DiskFlush
