#include "service/DownloadTools.h"

#include "platform/Conversions.h"
#include "platform/MessageSink.h"
#include "profiles/Profile.h"
#include "service/FileNames.h"

#include <QStringDecoder>
#include <QXmlStreamReader>

DownloadTools::DownloadTools(MessageSink &messages, QObject *parent)
    : QObject(parent), m_messages(messages)
{
}

DownloadTools::~DownloadTools() = default;

Profile &DownloadTools::gProfile()
{
    if (!m_profile)
        m_profile = std::make_unique<Profile>(m_messages);
    return *m_profile;
}

void DownloadTools::reportInvalidIndex()
{
    m_messages.post(
        QStringLiteral("Page contained invalid XML data, please check your profile settings!"),
        QStringLiteral("Error"), MessageIcon::Critical);
}

QString DownloadTools::indexTextFromBytes(const QByteArray &body)
{
    if (body.size() > MaxIndexSize)
        return QString();
    // A byte order mark decides; otherwise the XML declaration's encoding.
    if (auto encoding = QStringConverter::encodingForData(body)) {
        QStringDecoder decoder(*encoding);
        return decoder.decode(body);
    }
    QXmlStreamReader declaration(body);
    QString name;
    if (declaration.readNext() == QXmlStreamReader::StartDocument)
        name = declaration.documentEncoding().toString();
    if (!name.isEmpty()) {
        QStringDecoder decoder(name.toLatin1().constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    return QString::fromUtf8(body);
}

std::optional<QString> DownloadTools::GetFileExtension(QString url)
{
    const qsizetype dot = url.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return std::nullopt;
    return url.mid(dot);
}

std::optional<QString> DownloadTools::BuildFileName(const Profile &profile, const Job &job) const
{
    static const QString firstLast = QStringLiteral("Dictator Name (First,Last)").toUpper();
    static const QString lastFirst = QStringLiteral("Dictator Name (Last,First)").toUpper();
    const auto field = [](const QString &value) {
        return FileNames::cleanFieldValue(value);
    };

    QString name;
    for (qsizetype i = 0; i < profile.colDownloadRules.size(); ++i) {
        const QString &rule = profile.colDownloadRules.at(i);
        const QString upper = rule.toUpper();
        if (upper == QLatin1String("JOB NAME") || upper == QLatin1String("OBJECT ID")) {
            name += field(job.gStrName);
        } else if (upper == QLatin1String("REFERENCE")) {
            name += field(job.gStrReference);
        } else if (upper == QLatin1String("DEMOGRAPHIC 1")) {
            name += field(job.gStrDemographic1);
        } else if (upper == QLatin1String("DEMOGRAPHIC 2")) {
            name += field(job.gStrDemographic2);
        } else if (upper == QLatin1String("DEMOGRAPHIC 3")) {
            name += field(job.gStrDemographic3);
        } else if (upper == firstLast) {
            name += field(job.gStrDictatorFirstName) + QLatin1Char(',') +
                    field(job.gStrDictatorLastName);
        } else if (upper == lastFirst) {
            name += field(job.gStrDictatorLastName) + QLatin1Char(',') +
                    field(job.gStrDictatorFirstName);
        } else if (upper.contains(QLatin1String("OPEN DATE/TIME"))) {
            QString pattern = upper;
            pattern.remove(QStringLiteral("OPEN DATE/TIME (")).remove(QLatin1Char(')'));
            name += Conversions::formatDatePattern(job.gDateOpen, pattern);
        } else {
            name += rule;
        }
    }
    const std::optional<QString> extension = GetFileExtension(job.gStrSourceURL);
    if (!extension)
        return std::nullopt;
    name += field(*extension);
    return FileNames::fixPathComponents(name);
}

std::optional<Job> DownloadTools::readJob(const QXmlStreamAttributes &attributes)
{
    // The attributes are read in this order; a missing one ends the reading.
    bool complete = true;
    const auto text = [&](const char *name) {
        const QString qualifiedName = QLatin1String(name);
        if (!attributes.hasAttribute(qualifiedName)) {
            complete = false;
            return QString();
        }
        return attributes.value(qualifiedName).toString();
    };

    Job job;
    const std::optional<qint32> id = Conversions::toLong(text("job_id"));
    if (!complete || !id)
        return std::nullopt;
    job.gLngID = QString::number(*id);
    job.gStrName = text("job_name");
    const QString openTime = text("open_time");
    if (!complete)
        return std::nullopt;
    const std::optional<QDateTime> opened = Conversions::toDateTime(openTime);
    if (!opened)
        return std::nullopt;
    job.gDateOpen = *opened;
    job.gStrDepartment = text("department_name");
    job.gStrDicatorFullName = text("dictator");
    job.gStrReference = text("reference");
    job.gStrDemographic1 = text("demographic_1");
    job.gStrDemographic2 = text("demographic_2");
    job.gStrDemographic3 = text("demographic_3");
    job.gStrSourceURL = text("path");
    const QString priorityText = text("priority");
    if (!complete)
        return std::nullopt;
    const std::optional<quint8> priority = Conversions::toByte(priorityText);
    if (!priority)
        return std::nullopt;
    job.gBytePriority = *priority;
    job.gStrDictatorFirstName = text("dictator_first_name");
    job.gStrDictatorLastName = text("dictator_last_name");
    if (!complete)
        return std::nullopt;

    Profile &profile = gProfile();
    const std::optional<QString> fileName = BuildFileName(profile, job);
    if (!fileName)
        return std::nullopt;
    job.gStrDestinationPath = profile.gStrDownloadFolder + QLatin1Char('\\') + *fileName;
    return job;
}

bool DownloadTools::PopluateJobCollecionFromIndexFile()
{
    gColDownloads = JobCollection();
    if (xmlIndex.size() > MaxIndexSize) {
        reportInvalidIndex();
        return false;
    }

    // The whole document must be well-formed before any job counts, so the
    // jobs are gathered aside and take the collection's place at the end.
    JobCollection read;
    QXmlStreamReader xml(xmlIndex);
    bool foundJobs = false;
    bool jobFailed = false;
    bool refused = false;

    const auto failJob = [&] {
        jobFailed = true;
    };

    while (!xml.atEnd() && !refused) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::DTD) {
            // Entities are never expanded: a document that declares any is refused.
            if (!xml.entityDeclarations().isEmpty())
                refused = true;
            continue;
        }
        if (token != QXmlStreamReader::StartElement || foundJobs ||
            xml.qualifiedName() != QLatin1String("jobs"))
            continue;

        foundJobs = true;
        // The children of the first jobs element, in document order.
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType child = xml.readNext();
            if (child == QXmlStreamReader::EndElement || child == QXmlStreamReader::Invalid)
                break;
            if (child == QXmlStreamReader::StartElement) {
                if (!jobFailed && xml.name() != QLatin1String("user_id")) {
                    std::optional<Job> job = readJob(xml.attributes());
                    if (!job || !read.Add(*job, job->gLngID))
                        failJob();
                }
                xml.skipCurrentElement();
                continue;
            }
            if (child == QXmlStreamReader::Characters && xml.isWhitespace() && !xml.isCDATA())
                continue;
            // A comment, a processing instruction or text: a job without attributes.
            failJob();
        }
    }

    if (refused || xml.hasError() || !foundJobs) {
        reportInvalidIndex();
        return false;
    }
    gColDownloads = std::move(read);
    if (jobFailed) {
        reportInvalidIndex();
        return false;
    }
    return true;
}
