#include "service/DownloadTools.h"

#include "platform/Conversions.h"
#include "platform/MessageSink.h"
#include "profiles/Profile.h"
#include "service/FileNames.h"
#include "service/ServiceUrls.h"
#include "service/TransferHost.h"

#include <QPointer>

#include <QStringDecoder>

#include <QXmlStreamReader>
#include <algorithm>
#include <array>

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

void DownloadTools::RetrieveJobListing(TransferHost &objForm, ListingDone done)
{
    Inet &inet = objForm.inet();
    if (inet.StillExecuting()) {
        if (done)
            done(RequestOutcome::Skipped, QString());
        return;
    }
    objForm.setProgressValue(0);
    objForm.setStatusText(QStringLiteral("Retrieving Job Index"));

    const QString url = ServiceUrls::indexUrlText(gProfile());
    QPointer<DownloadTools> self(this);
    inet.OpenURL(
        ServiceUrls::toUrl(url),
        [self, &objForm, url, done](const Inet::Result &result, const QByteArray &body) {
            if (!self)
                return;
            // Any answer is the index text, an error page included: the reading
            // tells the user that it is no job index.
            if (result.ok() || result.failure == Inet::Failure::HttpStatus) {
                self->xmlIndex = indexTextFromBytes(body);
                objForm.setStatusText(QStringLiteral("Finished Retrieving Job Index"));
                if (done)
                    done(RequestOutcome::Finished, QString());
                return;
            }
            if (done)
                done(RequestOutcome::Failed,
                     tr("The job index could not be retrieved from %1\n%2")
                         .arg(ServiceUrls::withoutPassword(url), Inet::failureText(result)));
        },
        MaxIndexSize);
}

void DownloadTools::UpdateJobStatuses(TransferHost &objForm, std::function<void(bool)> done)
{
    // One request after the other; the pass state lives with the callbacks.
    struct Pass
    {
        QPointer<DownloadTools> tools;
        TransferHost *host;
        std::function<void(bool)> done;
        qsizetype position = 0;
        bool error = false;
        std::function<void(const std::shared_ptr<Pass> &)> next;
    };
    auto pass = std::make_shared<Pass>();
    pass->tools = this;
    pass->host = &objForm;
    pass->done = std::move(done);
    pass->next = [](const std::shared_ptr<Pass> &state) {
        DownloadTools *tools = state->tools;
        if (!tools)
            return;
        // The count is read again before every job.
        while (++state->position <= tools->gColDownloads.Count()) {
            Job *job = tools->gColDownloads.Item(state->position);
            if (!job->gBlnDownloadCompleted) {
                // Not received: the service must keep offering it.
                state->error = true;
                continue;
            }
            const QString key = job->gLngID;
            const QUrl url = ServiceUrls::toUrl(ServiceUrls::statusUrlText(tools->gProfile(), key));
            const bool started = state->host->inet().OpenURL(
                url, [state, key](const Inet::Result &result, const QByteArray &body) {
                    DownloadTools *owner = state->tools;
                    if (!owner)
                        return;
                    if (!result.ok() && result.failure != Inet::Failure::HttpStatus) {
                        // A request that fails ends the pass.
                        auto finish = std::move(state->done);
                        if (finish)
                            finish(false);
                        return;
                    }
                    Job *confirmed = owner->gColDownloads.Item(key);
                    if (confirmed && QString::fromUtf8(body).contains(QLatin1String("Sucessful"),
                                                                      Qt::CaseInsensitive))
                        confirmed->gBlnStatusUpdated = true;
                    else
                        state->error = true;
                    state->next(state);
                });
            if (!started) {
                auto finish = std::move(state->done);
                if (finish)
                    finish(false);
            }
            return;
        }
        auto finish = std::move(state->done);
        if (finish)
            finish(!state->error);
    };
    pass->next(pass);
}

void DownloadTools::reportStatusUpdate(bool allConfirmed)
{
    if (allConfirmed)
        m_messages.post(QStringLiteral("All jobs have been updated on server!"), QString(),
                        MessageIcon::None);
    else
        m_messages.post(QStringLiteral("Error Updating the status of some or all jobs!"), QString(),
                        MessageIcon::Critical);
}

QStringDecoder DownloadTools::indexDecoder(const QByteArray &head)
{
    // A byte order mark decides; otherwise the XML declaration's encoding.
    if (const std::optional<QStringConverter::Encoding> encoding =
            QStringConverter::encodingForData(head))
        return QStringDecoder(*encoding);
    // Only the XML declaration is read, never the whole body.
    const qsizetype end = head.startsWith("<?xml") ? head.indexOf("?>") : -1;
    QXmlStreamReader declaration(end < 0 ? QByteArray() : head.left(end + 2));
    if (declaration.readNext() == QXmlStreamReader::StartDocument) {
        const QByteArray name = declaration.documentEncoding().toLatin1();
        if (!name.isEmpty()) {
            QStringDecoder decoder(name.constData());
            if (decoder.isValid())
                return decoder;
        }
    }
    return QStringDecoder(QStringConverter::Utf8);
}

QString DownloadTools::indexTextFromBytes(const QByteArray &body)
{
    if (body.size() > MaxIndexSize)
        return QString();
    QStringDecoder decoder = indexDecoder(body.left(1024));
    return decoder.decode(body);
}

std::optional<QString> DownloadTools::GetFileExtension(QString url)
{
    const qsizetype dot = url.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return std::nullopt;
    return url.mid(dot);
}

struct DownloadTools::FileNameRule
{
    enum Kind
    {
        JobName,
        Reference,
        Demographic1,
        Demographic2,
        Demographic3,
        FirstLast,
        LastFirst,
        OpenDate,
        Literal
    };
    Kind kind;
    // The date pattern, or the literal text as stored.
    QString text;
};

std::vector<DownloadTools::FileNameRule> DownloadTools::compileRules(const QStringList &rules)
{
    static const QString firstLast = QStringLiteral("Dictator Name (First,Last)").toUpper();
    static const QString lastFirst = QStringLiteral("Dictator Name (Last,First)").toUpper();

    std::vector<FileNameRule> compiled;
    compiled.reserve(size_t(rules.size()));
    for (const QString &rule : rules) {
        // Recognised after upper-casing, without trimming.
        const QString upper = rule.toUpper();
        if (upper == QLatin1String("JOB NAME") || upper == QLatin1String("OBJECT ID")) {
            compiled.push_back({FileNameRule::JobName, {}});
        } else if (upper == QLatin1String("REFERENCE")) {
            compiled.push_back({FileNameRule::Reference, {}});
        } else if (upper == QLatin1String("DEMOGRAPHIC 1")) {
            compiled.push_back({FileNameRule::Demographic1, {}});
        } else if (upper == QLatin1String("DEMOGRAPHIC 2")) {
            compiled.push_back({FileNameRule::Demographic2, {}});
        } else if (upper == QLatin1String("DEMOGRAPHIC 3")) {
            compiled.push_back({FileNameRule::Demographic3, {}});
        } else if (upper == firstLast) {
            compiled.push_back({FileNameRule::FirstLast, {}});
        } else if (upper == lastFirst) {
            compiled.push_back({FileNameRule::LastFirst, {}});
        } else if (upper.contains(QLatin1String("OPEN DATE/TIME"))) {
            QString pattern = upper;
            pattern.remove(QStringLiteral("OPEN DATE/TIME (")).remove(QLatin1Char(')'));
            compiled.push_back({FileNameRule::OpenDate, pattern});
        } else {
            compiled.push_back({FileNameRule::Literal, rule});
        }
    }
    return compiled;
}

std::optional<QString> DownloadTools::composeFileName(const std::vector<FileNameRule> &rules,
                                                      const Job &job)
{
    // Field values are made safe on their own ("report." -> "report._",
    // "CON" -> "CON_"); rule texts and the date are taken as they are, and
    // the whole name's components are checked once more at the end.
    const auto field = [](const QString &value) {
        return FileNames::fixPathComponents(FileNames::cleanFieldValue(value));
    };
    QString name;
    for (const FileNameRule &rule : rules) {
        switch (rule.kind) {
        case FileNameRule::JobName:
            name += field(job.gStrName);
            break;
        case FileNameRule::Reference:
            name += field(job.gStrReference);
            break;
        case FileNameRule::Demographic1:
            name += field(job.gStrDemographic1);
            break;
        case FileNameRule::Demographic2:
            name += field(job.gStrDemographic2);
            break;
        case FileNameRule::Demographic3:
            name += field(job.gStrDemographic3);
            break;
        case FileNameRule::FirstLast:
            name += field(job.gStrDictatorFirstName) + QLatin1Char(',') +
                    field(job.gStrDictatorLastName);
            break;
        case FileNameRule::LastFirst:
            name += field(job.gStrDictatorLastName) + QLatin1Char(',') +
                    field(job.gStrDictatorFirstName);
            break;
        case FileNameRule::OpenDate:
            name += Conversions::formatDatePattern(job.gDateOpen, rule.text);
            break;
        case FileNameRule::Literal:
            name += rule.text;
            break;
        }
    }
    const std::optional<QString> extension = GetFileExtension(job.gStrSourceURL);
    if (!extension)
        return std::nullopt;
    name += FileNames::cleanFieldValue(*extension);
    return FileNames::fixPathComponents(name);
}

std::optional<QString> DownloadTools::BuildFileName(const Profile &profile, const Job &job) const
{
    return composeFileName(compileRules(profile.colDownloadRules), job);
}

std::optional<Job> DownloadTools::readJob(const QXmlStreamAttributes &attributes,
                                          const std::vector<FileNameRule> &rules)
{
    // The thirteen attributes, all required, named exactly so.
    enum Attribute
    {
        JobId,
        JobName,
        OpenTime,
        DepartmentName,
        Dictator,
        Reference,
        Demographic1,
        Demographic2,
        Demographic3,
        Path,
        Priority,
        DictatorFirstName,
        DictatorLastName,
        AttributeCount
    };
    static const std::array<QLatin1String, AttributeCount> names = {
        QLatin1String("job_id"),
        QLatin1String("job_name"),
        QLatin1String("open_time"),
        QLatin1String("department_name"),
        QLatin1String("dictator"),
        QLatin1String("reference"),
        QLatin1String("demographic_1"),
        QLatin1String("demographic_2"),
        QLatin1String("demographic_3"),
        QLatin1String("path"),
        QLatin1String("priority"),
        QLatin1String("dictator_first_name"),
        QLatin1String("dictator_last_name")};

    // One pass over the element's attributes; each one found fills its slot.
    std::array<QStringView, AttributeCount> values;
    std::array<bool, AttributeCount> present{};
    for (const QXmlStreamAttribute &attribute : attributes) {
        const QStringView name = attribute.qualifiedName();
        for (int i = 0; i < AttributeCount; ++i) {
            if (!present[size_t(i)] && name == names[size_t(i)]) {
                present[size_t(i)] = true;
                values[size_t(i)] = attribute.value();
                break;
            }
        }
    }
    for (const bool found : present) {
        if (!found)
            return std::nullopt;
    }
    const auto text = [&](Attribute attribute) {
        return values[size_t(attribute)].toString();
    };

    // Converted in the order of the table above.
    Job job;
    const std::optional<qint32> id = Conversions::toLong(text(JobId));
    if (!id)
        return std::nullopt;
    job.gLngID = QString::number(*id);
    job.gStrName = text(JobName);
    const std::optional<QDateTime> opened = Conversions::toDateTime(text(OpenTime));
    if (!opened)
        return std::nullopt;
    job.gDateOpen = *opened;
    job.gStrDepartment = text(DepartmentName);
    job.gStrDicatorFullName = text(Dictator);
    job.gStrReference = text(Reference);
    job.gStrDemographic1 = text(Demographic1);
    job.gStrDemographic2 = text(Demographic2);
    job.gStrDemographic3 = text(Demographic3);
    job.gStrSourceURL = text(Path);
    const std::optional<quint8> priority = Conversions::toByte(text(Priority));
    if (!priority)
        return std::nullopt;
    job.gBytePriority = *priority;
    job.gStrDictatorFirstName = text(DictatorFirstName);
    job.gStrDictatorLastName = text(DictatorLastName);

    const std::optional<QString> fileName = composeFileName(rules, job);
    if (!fileName)
        return std::nullopt;
    job.gStrDestinationPath = gProfile().gStrDownloadFolder + QLatin1Char('\\') + *fileName;
    return job;
}

namespace {

// Hands the index text to the reader in slices, so that the reader never
// holds a second copy of the whole text.
class SlicedXmlReader
{
public:
    explicit SlicedXmlReader(QStringView text) : m_rest(text) {}

    QXmlStreamReader &reader() { return m_xml; }

    QXmlStreamReader::TokenType next()
    {
        for (;;) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token != QXmlStreamReader::Invalid ||
                m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError || m_rest.isEmpty())
                return token;
            feed();
        }
    }

    // Reads past the end of the element just started.
    void skipElement()
    {
        for (int depth = 1; depth > 0 && !m_xml.hasError();) {
            const QXmlStreamReader::TokenType token = next();
            if (token == QXmlStreamReader::StartElement)
                ++depth;
            else if (token == QXmlStreamReader::EndElement)
                --depth;
            else if (token == QXmlStreamReader::Invalid || token == QXmlStreamReader::EndDocument)
                return;
        }
    }

private:
    void feed()
    {
        constexpr qsizetype slice = 256 * 1024;
        qsizetype length = std::min(slice, m_rest.size());
        // A surrogate pair stays in one slice.
        if (length < m_rest.size() && m_rest.at(length - 1).isHighSurrogate())
            ++length;
        m_xml.addData(m_rest.left(length).toString());
        m_rest = m_rest.mid(length);
    }

    QXmlStreamReader m_xml;
    QStringView m_rest;
};

} // namespace

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
    const std::vector<FileNameRule> rules = compileRules(gProfile().colDownloadRules);
    SlicedXmlReader input(xmlIndex);
    QXmlStreamReader &xml = input.reader();
    bool foundJobs = false;
    bool jobFailed = false;
    bool refused = false;

    for (;;) {
        const QXmlStreamReader::TokenType token = input.next();
        if (token == QXmlStreamReader::Invalid || token == QXmlStreamReader::EndDocument)
            break;
        if (token == QXmlStreamReader::DTD) {
            // Entities are never expanded: a document that declares any is refused.
            if (!xml.entityDeclarations().isEmpty()) {
                refused = true;
                break;
            }
            continue;
        }
        if (token != QXmlStreamReader::StartElement || foundJobs ||
            xml.qualifiedName() != QLatin1String("jobs"))
            continue;

        foundJobs = true;
        // The children of the first jobs element, in document order.
        for (;;) {
            const QXmlStreamReader::TokenType child = input.next();
            if (child == QXmlStreamReader::EndElement || child == QXmlStreamReader::Invalid ||
                child == QXmlStreamReader::EndDocument)
                break;
            if (child == QXmlStreamReader::StartElement) {
                if (!jobFailed && xml.name() != QLatin1String("user_id")) {
                    std::optional<Job> job = readJob(xml.attributes(), rules);
                    if (!job || !read.Add(std::move(*job), QString(job->gLngID)))
                        jobFailed = true;
                }
                input.skipElement();
                continue;
            }
            if (child == QXmlStreamReader::Characters && xml.isWhitespace() && !xml.isCDATA())
                continue;
            // A comment, a processing instruction or text: a job without attributes.
            jobFailed = true;
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
