#include "cli/CommandLineTool.h"

#include "platform/Paths.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "service/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char *const usageText =
    "Usage: quillet-transfer COMMAND PROFILE [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  list PROFILE --index FILE [--json]  list the jobs of a saved job index\n"
    "  profile PROFILE                      show the profile, password hidden\n"
    "\n"
    "PROFILE is a profile file, or the \"First Last\" name of a profile in the\n"
    "Profiles folder.\n"
    "Exit status: 0 done, 1 a job or the job index failed, 2 bad arguments or a\n"
    "profile that cannot be read.\n";

} // namespace

CommandLineTool::CommandLineTool(QTextStream &out, QTextStream &err, QObject *parent)
    : QObject(parent), m_out(out), m_err(err), m_tools(std::make_unique<DownloadTools>(m_messages))
{
    m_messages.onMessage = [this](const Message &message) {
        m_err << message.title << ": " << message.text << Qt::endl;
    };
}

CommandLineTool::~CommandLineTool() = default;

void CommandLineTool::usage(const QString &problem)
{
    if (!problem.isEmpty())
        m_err << "quillet-transfer: " << problem << "\n\n";
    m_err << usageText;
    m_err.flush();
}

std::optional<CommandLineTool::Options> CommandLineTool::parse(const QStringList &arguments)
{
    Options options;
    QStringList positional;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--json")) {
            options.json = true;
        } else if (argument == QLatin1String("--index")) {
            if (i + 1 >= arguments.size()) {
                usage(QStringLiteral("--index needs a file"));
                return std::nullopt;
            }
            options.indexFile = arguments.at(++i);
        } else if (argument.startsWith(QLatin1String("--")) && argument.size() > 2) {
            usage(QStringLiteral("unknown option %1").arg(argument));
            return std::nullopt;
        } else {
            positional << argument;
        }
    }
    if (positional.isEmpty()) {
        usage(QString());
        return std::nullopt;
    }
    options.command = positional.takeFirst();
    if (options.command != QLatin1String("list") && options.command != QLatin1String("profile")) {
        usage(QStringLiteral("unknown command %1").arg(options.command));
        return std::nullopt;
    }
    if (positional.isEmpty()) {
        usage(QStringLiteral("%1 needs a profile").arg(options.command));
        return std::nullopt;
    }
    options.profile = positional.takeFirst();
    if (!positional.isEmpty()) {
        usage(QStringLiteral("unexpected argument %1").arg(positional.first()));
        return std::nullopt;
    }
    const bool isList = options.command == QLatin1String("list");
    if (!isList && (options.json || !options.indexFile.isEmpty())) {
        usage(QStringLiteral("%1 takes no options").arg(options.command));
        return std::nullopt;
    }
    if (isList && options.indexFile.isEmpty()) {
        usage(QStringLiteral("list needs --index FILE"));
        return std::nullopt;
    }
    return options;
}

void CommandLineTool::start(const QStringList &arguments)
{
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        m_out << usageText;
        m_out.flush();
        Q_EMIT finished(Success);
        return;
    }
    const std::optional<Options> options = parse(arguments);
    if (!options) {
        Q_EMIT finished(BadArguments);
        return;
    }
    if (!loadProfile(options->profile)) {
        Q_EMIT finished(BadArguments);
        return;
    }
    const int status =
        options->command == QLatin1String("profile") ? showProfile() : listJobs(*options);
    m_out.flush();
    m_err.flush();
    Q_EMIT finished(status);
}

bool CommandLineTool::loadProfile(const QString &profile)
{
    // A path first; otherwise the name of a profile in the Profiles folder.
    QString path = profile;
    if (!QFileInfo(path).isFile()) {
        const QString named = Paths::profilesFolder() + QLatin1Char('/') + profile + ".xml";
        if (QFileInfo(named).isFile())
            path = named;
    }
    return m_tools->gProfile().LoadProfileFromXMLFile(path);
}

int CommandLineTool::showProfile()
{
    const Profile &profile = m_tools->gProfile();
    const auto line = [this](const char *label, const QString &value) {
        m_out << QString::fromLatin1(label).leftJustified(17) << value << '\n';
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
    line("Poll interval:", QStringLiteral("%1 minutes").arg(profile.gLngPollInterval));
    line("Days:", days.isEmpty() ? QStringLiteral("(none)") : days.join(QStringLiteral(", ")));
    if (profile.colDownloadRules.isEmpty())
        line("Download rules:", QStringLiteral("(none)"));
    for (qsizetype i = 0; i < profile.colDownloadRules.size(); ++i) {
        line(i == 0 ? "Download rules:" : "",
             QStringLiteral("%1. %2").arg(i + 1).arg(profile.colDownloadRules.at(i)));
    }
    return Success;
}

int CommandLineTool::listJobs(const Options &options)
{
    QFile file(options.indexFile);
    if (!file.open(QIODevice::ReadOnly)) {
        m_err << "quillet-transfer: cannot read the job index " << options.indexFile << ": "
              << file.errorString() << Qt::endl;
        return BadArguments;
    }
    // One byte past the limit is enough to know that the file is too large.
    const QByteArray body = file.read(DownloadTools::MaxIndexSize + 1);
    if (file.error() != QFileDevice::NoError) {
        m_err << "quillet-transfer: cannot read the job index " << options.indexFile << ": "
              << file.errorString() << Qt::endl;
        return BadArguments;
    }
    m_tools->xmlIndex = DownloadTools::indexTextFromBytes(body);
    const bool read = m_tools->PopluateJobCollecionFromIndexFile();
    printJobs(options.json);
    return read ? Success : Failure;
}

void CommandLineTool::printJobs(bool json)
{
    const JobCollection &jobs = m_tools->gColDownloads;
    if (!json) {
        m_out << "ID\tPriority\tJob Name\tReference\tOpen Time\tSource URL\tDestination File\n";
        for (qsizetype i = 1; i <= jobs.Count(); ++i) {
            const Job &job = *jobs.Item(i);
            m_out << job.gLngID << '\t' << int(job.gBytePriority) << '\t' << job.gStrName << '\t'
                  << job.gStrReference << '\t' << job.gDateOpen.toString(Qt::ISODate) << '\t'
                  << job.gStrSourceURL << '\t'
                  << FileNames::nativeSeparators(job.gStrDestinationPath) << '\n';
        }
        return;
    }

    QJsonArray list;
    for (qsizetype i = 1; i <= jobs.Count(); ++i) {
        const Job &job = *jobs.Item(i);
        list.append(QJsonObject{
            {"id", job.gLngID},
            {"name", job.gStrName},
            {"reference", job.gStrReference},
            {"open_time", job.gDateOpen.toString(Qt::ISODate)},
            {"priority", int(job.gBytePriority)},
            {"source_url", job.gStrSourceURL},
            {"destination", FileNames::nativeSeparators(job.gStrDestinationPath)},
        });
    }
    QJsonArray messages;
    for (const Message &message : m_messages.messages)
        messages.append(QJsonObject{{"title", message.title}, {"text", message.text}});
    const QJsonObject document{{"jobs", list}, {"messages", messages}};
    m_out << QJsonDocument(document).toJson(QJsonDocument::Indented);
}
