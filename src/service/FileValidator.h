#pragma once

#include <QByteArray>
#include <QString>

// What the first answer for a job's file said of the file: the rest is asked
// for with it, and a part of another file is told from the rest of this one.
struct FileValidator
{
    QByteArray etag;
    QByteArray lastModified;

    // For If-Range: the strong ETag, else the Last-Modified; empty when
    // neither can ask for a range (a weak ETag cannot).
    QByteArray ifRange() const;

    // Whether a 206 answer is the rest of this file of `total` bytes from the
    // byte `from` on: under the same strong ETag (without one, the same
    // Last-Modified), its Content-Range from `from` to the end of `total`, and
    // `partLength` (-1: none announced) the length of that range.
    bool continuedBy(const QByteArray &etagNow, const QByteArray &lastModifiedNow,
                     const QString &contentRange, qint64 from, qint64 total,
                     qint64 partLength) const;
};
