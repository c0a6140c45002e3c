#pragma once

#include <QString>
#include <QStringList>

#include "platform/Files.h"
#include "service/DiskFlush.h"
#include "service/DownloadFolder.h"

#include <memory>
#include <optional>

// One job file on its way to disk: received into a temporary file in its
// destination's folder, and put in place only when the whole body is there.
// Nothing ever appears under a final name before that, and an existing file
// is never replaced. The folder is opened below the download folder without
// following links, and the file is created and placed relative to it, so
// nothing is written outside. The temporary file has no name where the file
// system allows; elsewhere it is a hidden ".quillet-XXXXXX.part", locked
// while it is written, so that leftovers of a killed run can be told from
// those another program is writing. Files get the mode the umask gives.
class JobReception
{
public:
    // `destination`: the file's path, with the platform's separators, below
    // `folder` (by default the destination's own folder). `writeBack`, when
    // given, writes a large body back to the disk while it arrives.
    explicit JobReception(QString destination, std::shared_ptr<DownloadFolder> folder = {},
                          std::shared_ptr<DiskFlush::WriteBack> writeBack = {});
    ~JobReception();

    JobReception(const JobReception &) = delete;
    JobReception &operator=(const JobReception &) = delete;

    // Opens or creates the folders, removes what killed runs left there (once
    // a transfer), checks the free space against the announced length (-1:
    // none announced) and opens a new temporary file; what an earlier attempt
    // received is dropped.
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
    bool started() const { return m_file.isOpen(); }
    qint64 bytesWritten() const { return m_written; }
    // After finish(): whether a new file was placed (not one found there),
    // and where its data was written back while it arrived (may be none).
    bool placed() const { return m_placed; }
    std::shared_ptr<DiskFlush::Handle> writtenBack() const { return m_handle; }

    // "name (n).ext" for a path "name.ext" (the extension taken from the
    // last component only).
    static QString numberedPath(const QString &path, int number);

    // Whether the temporary file may be unnamed where the file system allows
    // (on unless switched off before begin(), as for a file system that has
    // no such files).
    void setUnnamedFiles(bool allowed) { m_unnamedFiles = allowed; }

private:
    bool openTemporary();
    bool hasRoomFor(qint64 length);
    void fail(const QString &what, int error);
    void close();

    QString m_destination;
    std::shared_ptr<DownloadFolder> m_folder;
    std::shared_ptr<DiskFlush::WriteBack> m_writeBack;
    std::shared_ptr<DiskFlush::Handle> m_handle;
    Files::Handle m_folderHandle; // the destination's folder
    Files::Handle m_file;
    QString m_temporaryName; // empty for an unnamed file
    QList<DownloadFolder::Created> m_createdFolders;
    QString m_error;
    qint64 m_written = 0;
    qint64 m_writtenBack = 0;
    bool m_placed = false;
    bool m_unnamedFiles = true;
};
