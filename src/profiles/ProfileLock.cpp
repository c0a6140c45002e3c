#include "profiles/ProfileLock.h"

#include <QFileInfo>
#include <QLockFile>
#include <QObject>

namespace {
const QLatin1String suffix(".lock");
}

ProfileLock::ProfileLock(const QString &path) : m_path(path)
{
    m_lock = std::make_unique<QLockFile>(lockPath(path));
    // Held as long as the program runs: only a dead owner makes it stale.
    m_lock->setStaleLockTime(0);
    m_locked = m_lock->tryLock(0) || m_lock->error() != QLockFile::LockFailedError;
}

ProfileLock::~ProfileLock() = default;

QString ProfileLock::lockPath(const QString &path)
{
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    const QFileInfo real(canonical.isEmpty() ? file.absoluteFilePath() : canonical);
    return real.absolutePath() + QLatin1String("/.") + real.fileName() + suffix;
}

bool ProfileLock::isLockFile(const QString &fileName)
{
    return fileName.startsWith(QLatin1Char('.')) && fileName.endsWith(suffix);
}

QString ProfileLock::inUseText(const QString &name)
{
    return QObject::tr("The profile of %1 is in use by another program on this computer.")
        .arg(name);
}
