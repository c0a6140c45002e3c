#include "service/FileValidator.h"

#include <QRegularExpression>

QByteArray FileValidator::ifRange() const
{
    return !etag.isEmpty() && !etag.startsWith("W/") ? etag : lastModified;
}

bool FileValidator::continuedBy(const QByteArray &etagNow, const QByteArray &lastModifiedNow,
                                const QString &contentRange, qint64 from, qint64 total,
                                qint64 partLength) const
{
    // A service that ignores If-Range may send a part of a changed file.
    const bool sameFile = etagNow == etag && (etag.isEmpty() ? !lastModifiedNow.isEmpty() &&
                                                                   lastModifiedNow == lastModified
                                                             : !etag.startsWith("W/"));
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*bytes\\s+(\\d{1,18})-(\\d{1,18})/(\\d{1,18})\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch range = pattern.match(contentRange);
    if (!sameFile || from <= 0 || !range.hasMatch())
        return false;
    const qint64 first = range.captured(1).toLongLong();
    const qint64 last = range.captured(2).toLongLong();
    const qint64 length = range.captured(3).toLongLong();
    return first == from && last + 1 == length && length == total &&
           (partLength < 0 || partLength == length - from);
}
