#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The received files' way to the disk before the service is told that their
// jobs were fetched.
namespace DiskFlush {

// A file a transfer put in place, with the size it was written with.
struct ReceivedFile
{
    QString jobId;
    QString path;
    qint64 size = 0;
};

// Puts the received files on the disk, one sync per volume, then checks that
// each is still there with its size; returns the job ids and why for those
// that are not. Blocks, possibly for seconds.
QList<QPair<QString, QString>> flushAndCheck(const QList<ReceivedFile> &files);

} // namespace DiskFlush
