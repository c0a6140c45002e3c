#include "cli/JobReport.h"

#include "cli/TextCells.h"
#include "naming/FileNames.h"
#include "platform/Conversions.h"
#include "platform/MessageSink.h"
#include "platform/Secrets.h"
#include "profiles/Profile.h"
#include "service/JobCollection.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace {

// A JSON string literal of `text`, scrubbed and, but for the program's own
// line breaks with `keepBreaks`, on one line.
QString jsonString(const QString &shown, bool keepBreaks = false)
{
    const QString scrubbed = Secrets::scrub(shown);
    const QString text = keepBreaks ? Secrets::cleanText(scrubbed) : Secrets::cleanLine(scrubbed);
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

// ISO 8601 without offset, as the job service's local times are.
QString isoText(const QDateTime &value)
{
    static const QString pattern = QStringLiteral("yyyy-mm-ddThh:nn:ss");
    return value.isValid() ? Conversions::formatDatePattern(value, pattern) : QString();
}

// Rows (the header first) as columns two blanks apart, fitted to `width`
// cells by narrowing the widest columns and cutting their cells with
// "…"; with `width` 0, tab-separated.
void printTable(QTextStream &out, const QList<QStringList> &rows, int width)
{
    // The service's texts never reach the output as control codes: a tab or
    // line break would break a row apart, others would drive a terminal.
    QList<QStringList> cells = rows;
    for (QStringList &row : cells)
        for (QString &cell : row)
            cell = Secrets::shown(cell);
    if (width <= 0) {
        for (const QStringList &row : cells)
            out << row.join(QLatin1Char('\t')) << '\n';
        return;
    }
    // Widths in terminal cells: a wide CJK character takes two.
    const qsizetype columns = rows.first().size();
    constexpr int gap = 2;
    QList<int> widths(columns, 0);
    for (const QStringList &row : cells)
        for (qsizetype c = 0; c < columns; ++c)
            widths[c] = std::max(widths[c], TextCells::width(row.at(c)));
    qsizetype total = gap * (columns - 1);
    for (const int w : widths)
        total += w;
    // The widest column gives a cell at a time, down to 4.
    constexpr int least = 4;
    while (total > width) {
        qsizetype widest = 0;
        for (qsizetype c = 1; c < columns; ++c)
            if (widths[c] > widths[widest])
                widest = c;
        if (widths[widest] <= least)
            break;
        --widths[widest];
        --total;
    }
    for (const QStringList &row : cells) {
        QString line;
        for (qsizetype c = 0; c < columns; ++c) {
            const QString cell = TextCells::fit(row.at(c), widths[c]);
            line += c + 1 < columns ? TextCells::padded(cell, widths[c] + gap) : cell;
        }
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out << line << '\n';
    }
}

} // namespace

namespace JobReport {

void printJobs(QTextStream &out, const JobCollection &jobs, const QHash<QString, QString> &failures,
               const QList<Message> &messages, bool json, bool afterTransfer, int width)
{
    if (!json) {
        QList<QStringList> rows;
        rows.reserve(jobs.Count() + 1);
        if (afterTransfer)
            rows << QStringList{"ID",        "Job Name",         "Received",
                                "Confirmed", "Destination File", "Error"};
        else
            rows << QStringList{"ID",        "Priority",   "Job Name",        "Reference",
                                "Open Time", "Source URL", "Destination File"};
        for (qsizetype i = 1; i <= jobs.Count(); ++i) {
            const Job &job = *jobs.Item(i);
            const QString destination = FileNames::nativeSeparators(job.gStrDestinationPath);
            if (afterTransfer)
                rows << QStringList{job.gLngID,
                                    job.gStrName,
                                    job.gBlnDownloadCompleted ? "yes" : "no",
                                    job.gBlnStatusUpdated ? "yes" : "no",
                                    destination,
                                    failures.value(job.gLngID)};
            else
                rows << QStringList{job.gLngID,
                                    QString::number(job.gBytePriority),
                                    job.gStrName,
                                    job.gStrReference,
                                    isoText(job.gDateOpen),
                                    job.gStrSourceURL,
                                    destination};
        }
        printTable(out, rows, width);
        return;
    }

    // Written job by job: the list may hold a hundred thousand jobs.
    out << "{\n  \"jobs\": [";
    for (qsizetype i = 1; i <= jobs.Count(); ++i) {
        const Job &job = *jobs.Item(i);
        out << (i == 1 ? "\n    {" : ",\n    {") << "\"id\": " << jsonString(job.gLngID)
            << ", \"name\": " << jsonString(job.gStrName)
            << ", \"reference\": " << jsonString(job.gStrReference)
            << ", \"open_time\": " << jsonString(isoText(job.gDateOpen))
            << ", \"priority\": " << int(job.gBytePriority)
            << ", \"source_url\": " << jsonString(job.gStrSourceURL) << ", \"destination\": "
            << jsonString(FileNames::nativeSeparators(job.gStrDestinationPath))
            << ", \"department\": " << jsonString(job.gStrDepartment)
            << ", \"dictator\": " << jsonString(job.gStrDicatorFullName)
            << ", \"dictator_first_name\": " << jsonString(job.gStrDictatorFirstName)
            << ", \"dictator_last_name\": " << jsonString(job.gStrDictatorLastName)
            << ", \"demographics\": [" << jsonString(job.gStrDemographic1) << ", "
            << jsonString(job.gStrDemographic2) << ", " << jsonString(job.gStrDemographic3)
            << "], \"length\": " << QString::number(job.gDblLength, 'g', 15)
            << ", \"template\": " << jsonString(job.gStrTemplate);
        if (afterTransfer) {
            const auto failure = failures.constFind(job.gLngID);
            out << ", \"downloaded\": " << (job.gBlnDownloadCompleted ? "true" : "false")
                << ", \"confirmed\": " << (job.gBlnStatusUpdated ? "true" : "false")
                << ", \"error\": "
                << (failure == failures.constEnd() ? QStringLiteral("null") : jsonString(*failure));
        }
        out << '}';
    }
    out << (jobs.Count() ? "\n  ],\n" : "],\n") << "  \"messages\": [";
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const Message &message = messages.at(i);
        out << (i == 0 ? "\n    {" : ",\n    {") << "\"title\": " << jsonString(message.title)
            << ", \"text\": " << jsonString(message.text, true) << '}';
    }
    out << (messages.isEmpty() ? "]\n}\n" : "\n  ]\n}\n");
}

void printProfile(QTextStream &out, const Profile &profile)
{
    const auto line = [&out](const char *label, const QString &value) {
        out << QString::fromLatin1(label).leftJustified(17) << Secrets::shown(value) << '\n';
    };
    static const char *const dayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                           "Thursday", "Friday", "Saturday"};
    QStringList days;
    for (quint8 day = 1; day <= 7; ++day) {
        if (profile.DayOfWeekChecked(day))
            days << QString::fromLatin1(dayNames[day - 1]);
    }

    line("Profile file:",
         QDir::toNativeSeparators(QFileInfo(profile.gStrProfilePath).absoluteFilePath()));
    line("First name:", profile.gFirstName);
    line("Last name:", profile.gLastName);
    line("Department:", profile.gDepartment);
    line("GUID:", profile.gGUID);
    line("Login:", profile.gLogin);
    line("Password:",
         profile.gPassword.isEmpty() ? QStringLiteral("(none)") : QStringLiteral("***"));
    line("Base URL:", profile.gStrBaseURL);
    line("Download folder:", profile.gStrDownloadFolder);
    // The value as stored; below 0 it polls on every tick, as 0 does.
    const qint32 interval = profile.gLngPollInterval;
    line("Poll interval:", interval == 1 ? QStringLiteral("1 minute")
                           : interval < 0
                               ? QStringLiteral("%1 (a check every minute)").arg(interval)
                               : QStringLiteral("%1 minutes").arg(interval));
    line("Days:", days.isEmpty() ? QStringLiteral("(none)") : days.join(QStringLiteral(", ")));
    if (profile.colDownloadRules.isEmpty())
        line("Download rules:", QStringLiteral("(none)"));
    for (qsizetype i = 0; i < profile.colDownloadRules.size(); ++i) {
        line(i == 0 ? "Download rules:" : "",
             QStringLiteral("%1. %2").arg(i + 1).arg(profile.colDownloadRules.at(i)));
    }
}

} // namespace JobReport
