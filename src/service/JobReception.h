#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// One job file on its way to disk: received into a temporary file beside
// its destination, and put in place only when the whole body is there.
// Nothing ever appears under a final name before that, and an existing file
// is never replaced. The temporary file has no name where the file system
// allows; elsewhere it is a hidden ".quillet-XXXXXX.part", locked while it
// is written, so that removeLeftovers() can tell a killed run's files from
// those another program is writing.
class JobReception
{
public:
    // `destination`: the file's path, with the platform's separators.
    explicit JobReception(QString destination);
    ~JobReception();

    JobReception(const JobReception &) = delete;
    JobReception &operator=(const JobReception &) = delete;

    // Creates the missing folders, checks the free space against the
    // announced length (-1: none announced) and opens a new temporary file;
    // what an earlier attempt received is dropped.
    bool begin(qint64 contentLength);

    // Goes on after the bytes an earlier attempt wrote: checks the free space
    // against the `remaining` length. False when nothing was written yet.
    bool resume(qint64 remaining);

    // Appends to the temporary file; false when not all of it was written.
    bool write(const char *data, qint64 size);

    // Puts the received file in place: under the destination name when that
    // is free, else as "name (2).ext", "name (3).ext" ... An existing file
    // with the same bytes is taken as this job's file instead of a copy. The
    // file that holds the bytes is the one put in place, whatever another
    // program does meanwhile. Returns the path of the job's file.
    std::optional<QString> finish();

    // Drops what was received and the folders begin() created that are
    // still empty; nothing is left behind.
    void discard();

    // Why the last step failed.
    QString errorText() const { return m_error; }

    const QString &destination() const { return m_destination; }
    bool started() const { return m_fd >= 0; }
    qint64 bytesWritten() const { return m_written; }

    // Creates the folders of a file's path that do not exist yet, from the
    // root down, one by one; both separators count. The last component, the
    // file name, is not created. False when a folder could not be created.
    // The folders created are added to `created`, outermost first.
    static bool CreateFolderPath(const QString &path, QStringList *created = nullptr);

    // "name (n).ext" for a path "name.ext" (the extension taken from the
    // last component only).
    static QString numberedPath(const QString &path, int number);

    // Removes the temporary files in `folder` that were left by a run that
    // ended before it could put them in place: those no program holds
    // locked and that were not written to in the last minute.
    static void removeLeftovers(const QString &folder);

    // Whether temporary files may be unnamed where the file system allows
    // (on unless switched off, as for a file system that has no such files).
    static void setUnnamedFiles(bool allowed);

private:
    bool openTemporary(const QString &folder);
    bool placeAt(const QString &candidate);
    bool hasRoomFor(const QString &folder, qint64 length);
    void fail(const QString &what, int error);
    void close();

    QString m_destination;
    int m_fd = -1;
    QString m_temporaryPath; // empty for an unnamed file
    QStringList m_createdFolders;
    QString m_error;
    qint64 m_written = 0;
    qint64 m_writtenBack = 0;
};
