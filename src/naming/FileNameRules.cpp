#include "naming/FileNameRules.h"

#include "naming/FileNames.h"
#include "naming/Job.h"
#include "platform/Conversions.h"

#include <QUrl>

FileNameRules::FileNameRules(const QStringList &rules)
{
    static const QString firstLast = QStringLiteral("Dictator Name (First,Last)").toUpper();
    static const QString lastFirst = QStringLiteral("Dictator Name (Last,First)").toUpper();

    m_rules.reserve(size_t(rules.size()));
    for (const QString &rule : rules) {
        const QString upper = rule.toUpper();
        if (upper == QLatin1String("JOB NAME") || upper == QLatin1String("OBJECT ID")) {
            m_rules.push_back({Rule::JobName, {}});
        } else if (upper == QLatin1String("REFERENCE")) {
            m_rules.push_back({Rule::Reference, {}});
        } else if (upper == QLatin1String("DEMOGRAPHIC 1")) {
            m_rules.push_back({Rule::Demographic1, {}});
        } else if (upper == QLatin1String("DEMOGRAPHIC 2")) {
            m_rules.push_back({Rule::Demographic2, {}});
        } else if (upper == QLatin1String("DEMOGRAPHIC 3")) {
            m_rules.push_back({Rule::Demographic3, {}});
        } else if (upper == firstLast) {
            m_rules.push_back({Rule::FirstLast, {}});
        } else if (upper == lastFirst) {
            m_rules.push_back({Rule::LastFirst, {}});
        } else if (upper.contains(QLatin1String("OPEN DATE/TIME"))) {
            QString pattern = upper;
            pattern.remove(QStringLiteral("OPEN DATE/TIME (")).remove(QLatin1Char(')'));
            m_rules.push_back({Rule::OpenDate, pattern});
        } else {
            m_rules.push_back({Rule::Literal, rule});
        }
    }
}

std::optional<QString> FileNameRules::fileName(const Job &job) const
{
    // Field values are made safe on their own ("report." -> "report._",
    // "CON" -> "CON_"); rule texts and the date are taken as they are, and
    // the whole name's components are checked once more at the end.
    const auto field = [](const QString &value) {
        return FileNames::fixPathComponents(FileNames::cleanFieldValue(value));
    };
    QString name;
    for (const Rule &rule : m_rules) {
        switch (rule.kind) {
        case Rule::JobName:
            name += field(job.gStrName);
            break;
        case Rule::Reference:
            name += field(job.gStrReference);
            break;
        case Rule::Demographic1:
            name += field(job.gStrDemographic1);
            break;
        case Rule::Demographic2:
            name += field(job.gStrDemographic2);
            break;
        case Rule::Demographic3:
            name += field(job.gStrDemographic3);
            break;
        case Rule::FirstLast:
            name += field(job.gStrDictatorFirstName) + QLatin1Char(',') +
                    field(job.gStrDictatorLastName);
            break;
        case Rule::LastFirst:
            name += field(job.gStrDictatorLastName) + QLatin1Char(',') +
                    field(job.gStrDictatorFirstName);
            break;
        case Rule::OpenDate:
            name += Conversions::formatDatePattern(job.gDateOpen, rule.text);
            break;
        case Rule::Literal:
            name += rule.text;
            break;
        }
    }
    const std::optional<QString> suffix = extension(job.gStrSourceURL);
    if (!suffix)
        return std::nullopt;
    name += FileNames::cleanFieldValue(*suffix);
    return FileNames::fixPathComponents(name);
}

std::optional<QString> FileNameRules::extension(const QString &url)
{
    if (!url.contains(QLatin1Char('.')))
        return std::nullopt;
    // Only the path's last segment: a dot in the host, the query or the
    // fragment names no file type.
    QString path = QUrl(url).path();
    if (path.isEmpty() && !url.contains(QLatin1String("://")))
        path = url.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('#'), 0, 0);
    const QString segment = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = segment.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : segment.mid(dot);
}
