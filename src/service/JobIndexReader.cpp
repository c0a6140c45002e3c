#include "service/JobIndexReader.h"

#include "naming/FileNameRules.h"
#include "platform/Conversions.h"
#include "profiles/Profile.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <array>

namespace {

// Counts the attributes of each start tag as the text goes by, outside
// comments, CDATA sections, processing instructions and declarations. Qt's
// reader checks a tag's attributes against each other, in time that grows
// with the square of their number: a tag with more than MaxAttributes is
// refused before the reader sees it.
class AttributeCounter
{
public:
    static constexpr int MaxAttributes = 256;

    // False once a start tag has had more than MaxAttributes attributes.
    bool scan(QStringView text)
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            switch (m_state) {
            case State::Text: {
                const qsizetype open = text.indexOf(QLatin1Char('<'), i);
                if (open < 0)
                    return true;
                i = open;
                m_state = State::Open;
                break;
            }
            case State::Open:
                if (c == QLatin1Char('!')) {
                    m_state = State::Bang;
                } else if (c == QLatin1Char('?')) {
                    skipTo("?>");
                } else if (c == QLatin1Char('/')) {
                    skipTo(">");
                } else {
                    m_state = State::Tag;
                    m_count = 0;
                }
                break;
            case State::Bang:
                skipTo(c == QLatin1Char('-') ? "-->" : c == QLatin1Char('[') ? "]]>" : ">");
                break;
            case State::Tag:
                if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                    m_quote = c;
                    m_state = State::Quoted;
                } else if (c == QLatin1Char('=') && ++m_count > MaxAttributes) {
                    return false;
                } else if (c == QLatin1Char('>')) {
                    m_state = State::Text;
                }
                break;
            case State::Quoted:
                if (c == m_quote)
                    m_state = State::Tag;
                break;
            case State::Skip:
                if (c == QLatin1Char(m_end[m_matched])) {
                    if (m_end[++m_matched] == '\0')
                        m_state = State::Text;
                } else if (!(m_matched == 2 && m_end[0] == m_end[1] &&
                             c == QLatin1Char(m_end[0]))) {
                    // "--->" still ends a comment; other mismatches start over.
                    m_matched = c == QLatin1Char(m_end[0]) ? 1 : 0;
                }
                break;
            }
        }
        return true;
    }

private:
    enum class State
    {
        Text,
        Open,
        Bang,
        Tag,
        Quoted,
        Skip
    };

    void skipTo(const char *end)
    {
        m_state = State::Skip;
        m_end = end;
        m_matched = 0;
    }

    State m_state = State::Text;
    QChar m_quote;
    const char *m_end = ">";
    int m_matched = 0;
    int m_count = 0;
};

// Hands the index text to the reader in slices, so that the reader never
// holds a second copy of the whole text. Elements nested deeper than MaxDepth
// are an error: the reader's tag stack would otherwise grow with the text.
class SlicedXmlReader
{
public:
    explicit SlicedXmlReader(QStringView text) : m_rest(text) {}

    QXmlStreamReader &reader() { return m_xml; }

    QXmlStreamReader::TokenType next()
    {
        for (bool fed = false;; fed = true) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token != QXmlStreamReader::Invalid ||
                m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError ||
                m_rest.isEmpty()) {
                m_slice = FirstSlice;
                return counted(token);
            }
            // An unfinished comment, CDATA section, processing instruction or DTD
            // is scanned again from its start after each slice: doubling the
            // slice while no token completes keeps the rescans linear in the text.
            if (fed)
                m_slice *= 2;
            feed();
        }
    }

    // Reads past the end of the element just started.
    void skipElement()
    {
        for (const int depth = m_depth; m_depth >= depth;) {
            const QXmlStreamReader::TokenType token = next();
            if (token == QXmlStreamReader::Invalid || token == QXmlStreamReader::EndDocument)
                return;
        }
    }

private:
    static constexpr int MaxDepth = 256;
    static constexpr qsizetype FirstSlice = 256 * 1024;

    QXmlStreamReader::TokenType counted(QXmlStreamReader::TokenType token)
    {
        if (token == QXmlStreamReader::EndElement) {
            --m_depth;
        } else if (token == QXmlStreamReader::StartElement && ++m_depth > MaxDepth) {
            m_xml.raiseError(QStringLiteral("Elements nested too deeply."));
            return QXmlStreamReader::Invalid;
        }
        return token;
    }

    void feed()
    {
        qsizetype length = std::min(m_slice, m_rest.size());
        // A surrogate pair stays in one slice.
        if (length < m_rest.size() && m_rest.at(length - 1).isHighSurrogate())
            ++length;
        if (!m_attributes.scan(m_rest.left(length))) {
            m_xml.raiseError(QStringLiteral("An element has too many attributes."));
            m_rest = QStringView();
            return;
        }
        // The reader copies what it is given; the slice itself is not copied.
        m_xml.addData(QString::fromRawData(m_rest.data(), length));
        m_rest = m_rest.mid(length);
    }

    QXmlStreamReader m_xml;
    AttributeCounter m_attributes;
    QStringView m_rest;
    qsizetype m_slice = FirstSlice;
    int m_depth = 0;
};

} // namespace

JobIndexReader::JobIndexReader(const Profile &profile) : m_profile(profile)
{
}

JobIndexReader::Reading JobIndexReader::read(QStringView text) const
{
    if (text.size() > MaxIndexSize)
        return {JobCollection(), true};

    // The whole document must be well-formed before any job counts, so the
    // jobs are gathered aside and given out only at the end.
    JobCollection read;
    const FileNameRules rules(m_profile.colDownloadRules);
    SlicedXmlReader input(text);
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

    if (refused || xml.hasError() || !foundJobs)
        return {JobCollection(), true};
    return {std::move(read), jobFailed};
}

std::optional<Job> JobIndexReader::readJob(const QXmlStreamAttributes &attributes,
                                           const FileNameRules &rules) const
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

    const std::optional<QString> fileName = rules.fileName(job);
    if (!fileName)
        return std::nullopt;
    job.gStrDestinationPath = m_profile.gStrDownloadFolder + QLatin1Char('\\') + *fileName;
    return job;
}

QStringDecoder JobIndexReader::indexDecoder(const QByteArray &head)
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

QString JobIndexReader::indexTextFromBytes(const QByteArray &body)
{
    if (body.size() > MaxIndexSize)
        return QString();
    QStringDecoder decoder = indexDecoder(body.left(1024));
    return decoder.decode(body);
}
