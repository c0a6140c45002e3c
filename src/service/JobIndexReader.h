#pragma once

#include "service/JobCollection.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <optional>

class FileNameRules;
class Profile;
class QXmlStreamAttributes;

// Reads the jobs of a job index: its bytes into text, the text into jobs
// whose destinations follow a profile's download folder and rules.
class JobIndexReader
{
public:
    // Job index responses above this size are refused as invalid.
    static constexpr qsizetype MaxIndexSize = 64 * 1024 * 1024;

    // The outcome of a reading. `failed`: the text is no job index, or one
    // of its jobs could not be read. `jobs` holds nothing when the document
    // as a whole is refused (too large, not well-formed, entity
    // declarations, no jobs element), else the jobs before the failing one.
    struct Reading
    {
        JobCollection jobs;
        bool failed = false;
    };

    explicit JobIndexReader(const Profile &profile);

    // The jobs of the first jobs element of `text`, in document order.
    Reading read(QStringView text) const;

    // The text of a job index response: decoded by its BOM or XML encoding
    // declaration, UTF-8 when it names none. A body above MaxIndexSize gives an
    // empty text, which the reading refuses.
    static QString indexTextFromBytes(const QByteArray &body);

    // The decoder for a job index that starts with `head` (its first bytes):
    // by BOM or XML encoding declaration, UTF-8 when it names none.
    static QStringDecoder indexDecoder(const QByteArray &head);

private:
    // The job of one job element, or nothing when an attribute is missing or
    // does not convert, or the file name cannot be built.
    std::optional<Job> readJob(const QXmlStreamAttributes &attributes,
                               const FileNameRules &rules) const;

    const Profile &m_profile;
};
