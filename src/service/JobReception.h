#pragma once

#include <QString>
#include <QTemporaryFile>

#include <memory>
#include <optional>

// One job file on its way to disk: received into a temporary file beside
// its destination, and put in place only when the whole body is there.
// Nothing ever appears under a final name before that, and an existing file
// is never replaced.
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
    // with the same bytes is taken as this job's file instead of a copy.
    // Returns the path of the job's file.
    std::optional<QString> finish();

    // Drops what was received; nothing is left behind.
    void discard();

    // Why the last step failed.
    QString errorText() const { return m_error; }

    const QString &destination() const { return m_destination; }
    bool started() const { return m_file != nullptr; }
    qint64 bytesWritten() const { return m_written; }

    // Creates the folders of a file's path that do not exist yet, from the
    // root down, one by one; both separators count. The last component, the
    // file name, is not created. False when a folder could not be created.
    static bool CreateFolderPath(const QString &path);

    // "name (n).ext" for a path "name.ext" (the extension taken from the
    // last component only).
    static QString numberedPath(const QString &path, int number);

    // True when the two files hold the same bytes.
    static bool sameContents(QIODevice &a, QIODevice &b);

private:
    bool hasRoomFor(const QString &folder, qint64 length);

    // Written without Qt's buffer: the parts of the body are large already.
    class PartFile : public QTemporaryFile
    {
    public:
        using QTemporaryFile::QTemporaryFile;
        bool openUnbuffered() { return open(QIODevice::ReadWrite | QIODevice::Unbuffered); }
    };

    QString m_destination;
    std::unique_ptr<PartFile> m_file;
    QString m_error;
    qint64 m_written = 0;
    qint64 m_writtenBack = 0;
};
