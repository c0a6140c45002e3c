#pragma once

#include "service/JobCollection.h"

#include <QObject>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class MessageSink;
class Profile;

class QXmlStreamAttributes;

// The job service client: the job index text, the current profile and the
// jobs read from the index.
class DownloadTools : public QObject
{
    Q_OBJECT

public:
    // Job index responses above this size are refused as invalid.
    static constexpr qsizetype MaxIndexSize = 64 * 1024 * 1024;

    explicit DownloadTools(MessageSink &messages, QObject *parent = nullptr);
    ~DownloadTools() override;

    // The text of the last job index response.
    QString xmlIndex;

    // The jobs of the last index reading, keyed by job id.
    JobCollection gColDownloads;

    // The current profile, created empty on first use.
    Profile &gProfile();

    // Replaces gColDownloads with the jobs of xmlIndex. A failure shows
    // "Page contained invalid XML data, please check your profile settings!"
    // once; the jobs read before the failing one stay. Returns false after a
    // failure (callers that only list the jobs may ignore it).
    bool PopluateJobCollecionFromIndexFile();

    // The text of a job index response: decoded by its BOM or XML encoding
    // declaration, UTF-8 when it names none. A body above MaxIndexSize gives an
    // empty text, which the reading refuses.
    static QString indexTextFromBytes(const QByteArray &body);

    // The decoder for a job index that starts with `head` (its first bytes):
    // by BOM or XML encoding declaration, UTF-8 when it names none.
    static QStringDecoder indexDecoder(const QByteArray &head);

private:
    friend class tst_FileNames;

    // The job's file name, without folder, by the profile's download rules;
    // empty when the source URL holds no ".".
    std::optional<QString> BuildFileName(const Profile &profile, const Job &job) const;

    // From the last "." of the whole URL to its end; empty when there is none.
    static std::optional<QString> GetFileExtension(QString url);

    // The download rules, recognised once for a whole reading.
    struct FileNameRule;
    static std::vector<FileNameRule> compileRules(const QStringList &rules);
    static std::optional<QString> composeFileName(const std::vector<FileNameRule> &rules,
                                                  const Job &job);

    // The job of one job element, or nothing when an attribute is missing or
    // does not convert, or the file name cannot be built.
    std::optional<Job> readJob(const QXmlStreamAttributes &attributes,
                               const std::vector<FileNameRule> &rules);

    void reportInvalidIndex();

    MessageSink &m_messages;
    std::unique_ptr<Profile> m_profile;
};
