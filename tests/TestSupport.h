#pragma once

#include "platform/Paths.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// A fresh temporary folder per test with the Profiles folder inside it.
struct TestFolder
{
    QTemporaryDir dir;

    TestFolder()
    {
        QStandardPaths::setTestModeEnabled(true);
        Paths::setProfilesFolder(profiles());
    }
    ~TestFolder() { Paths::setProfilesFolder(QString()); }

    QString path(const QString &name = QString()) const
    {
        return name.isEmpty() ? dir.path() : dir.filePath(name);
    }
    QString profiles() const { return dir.filePath(QStringLiteral("Profiles")); }
    QString profile(const QString &name) const { return profiles() + QLatin1Char('/') + name; }
};

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
