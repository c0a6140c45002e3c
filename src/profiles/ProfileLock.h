#pragma once

#include <QString>

#include <memory>

class QLockFile;

// Marks a profile as polled by this program: a lock file beside the profile
// file, named after it, held while the object lives. A program that ends or
// crashes leaves no valid lock (the lock names its process). Two paths to
// the same file share one lock.
class ProfileLock
{
public:
    // Takes the lock of the profile file at `path`. Where the folder does
    // not allow a lock file, nothing is locked and the lock counts as taken.
    explicit ProfileLock(const QString &path);
    ~ProfileLock();

    // False when another program holds the lock.
    bool locked() const { return m_locked; }
    // The profile file, as the lock names it.
    QString profilePath() const { return m_path; }

    // The lock file of the profile file at `path`.
    static QString lockPath(const QString &path);
    // True for the name of a lock file, which is no profile.
    static bool isLockFile(const QString &fileName);
    // "The profile of Ann Lee is in use by another program on this computer."
    static QString inUseText(const QString &name);

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    bool m_locked = false;
};
