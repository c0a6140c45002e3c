#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString &configuredFolder()
{
    static QString folder;
    return folder;
}
} // namespace

QString Paths::profilesFolder()
{
    QString &folder = configuredFolder();
    if (folder.isEmpty()) {
        const QString programFolder = QCoreApplication::applicationDirPath();
        const QString beside = programFolder + QStringLiteral("/Profiles");
        // Named after the window program, so that the command-line tool and
        // the demo service find the same folder.
        const QString perUser =
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
            QStringLiteral("/QuilletInetTool/Profiles");
        // Installed under a prefix (PREFIX/bin) the profiles are the user's,
        // also for root, who could write beside the executable.
        const bool installed = QFileInfo(programFolder).fileName() == QLatin1String("bin");
        const QString preferred = installed ? perUser : beside;
        folder = chooseProfilesFolder(preferred, installed ? QString() : perUser);
        if (folder.isEmpty())
            folder = preferred;
    } else {
        ensureWritableFolder(folder);
    }
    return folder;
}

void Paths::setProfilesFolder(const QString &folder)
{
    configuredFolder() = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
}

QString Paths::chooseProfilesFolder(const QString &preferred, const QString &fallback)
{
    if (ensureWritableFolder(preferred))
        return QDir::cleanPath(preferred);
    if (!fallback.isEmpty() && ensureWritableFolder(fallback))
        return QDir::cleanPath(fallback);
    return QString();
}

bool Paths::ensureWritableFolder(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    if (!QDir().mkpath(folder))
        return false;
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}
