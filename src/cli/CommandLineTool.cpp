#include "cli/CommandLineTool.h"

#include "cli/SignalWatcher.h"
#include "platform/Conversions.h"
#include "platform/Paths.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "service/FileNames.h"
#include "service/PlainTransferHost.h"
#include "service/PollCountdown.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const char *const usageText =
    "Usage: quillet-transfer COMMAND PROFILE [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  list PROFILE [--index FILE] [--json] check for jobs (or read a saved job\n"
    "                                       index) and list them\n"
    "  fetch PROFILE [--json]               check, fetch every listed job, confirm\n"
    "                                       the received ones\n"
    "  watch PROFILE                        check and fetch unattended, every poll\n"
    "                                       interval + 1 minutes (as the window\n"
    "                                       does); SIGINT/SIGTERM end it after the\n"
    "                                       running job\n"
    "  profile PROFILE                      show the profile, password hidden\n"
    "\n"
    "PROFILE is a profile file, or the \"First Last\" name of a profile in the\n"
    "Profiles folder.\n"
    "Exit status: 0 done, 1 a job or the job index failed, 2 bad arguments or a\n"
    "profile that cannot be read.\n";

// A JSON string literal of `text`.
QString jsonString(const QString &text)
{
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
    if (options.command != QLatin1String("list") && options.command != QLatin1String("profile") &&
        options.command != QLatin1String("fetch") && options.command != QLatin1String("watch")) {
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
    const bool isProfile =
        options.command == QLatin1String("profile") || options.command == QLatin1String("watch");
    if ((isProfile && options.json) || (!isList && !options.indexFile.isEmpty())) {
        usage(QStringLiteral("%1 takes no options").arg(options.command));
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
    if (options->command == QLatin1String("watch")) {
        startWatch();
        return;
    }
    if (options->command == QLatin1String("fetch") ||
        (options->command == QLatin1String("list") && options->indexFile.isEmpty())) {
        checkForJobs(options->json, options->command == QLatin1String("fetch"));
        return;
    }
    const int status =
        options->command == QLatin1String("profile") ? showProfile() : listJobs(*options);
    finish(status);
}

void CommandLineTool::finish(int status)
{
    m_out.flush();
    m_err.flush();
    Q_EMIT finished(status);
}

void CommandLineTool::checkForJobs(bool json, bool transfer)
{
    m_host = std::make_unique<PlainTransferHost>();
    m_terminal = ::isatty(STDERR_FILENO) == 1;
    auto *watcher = new SignalWatcher(this);
    connect(watcher, &SignalWatcher::interrupted, this, &CommandLineTool::interrupt);

    m_tools->RetrieveJobListing(
        *m_host,
        [this, json, transfer](DownloadTools::RequestOutcome outcome, const QString &failure) {
            if (outcome != DownloadTools::RequestOutcome::Finished) {
                m_tools->gColDownloads = JobCollection();
                m_messages.post(m_interrupted ? tr("The check for jobs was stopped.") : failure,
                                QStringLiteral("Error"), MessageIcon::Critical);
                printJobs(json);
                finish(Failure);
                return;
            }
            const bool read = m_tools->PopluateJobCollecionFromIndexFile();
            if (!transfer) {
                printJobs(json);
                finish(read ? Success : Failure);
                return;
            }
            transferJobs(json, !read);
        });
}

void CommandLineTool::interrupt()
{
    if (m_watching) {
        if (m_interrupted) {
            // A second signal: the running job too.
            if (m_tools->TransferRunning())
                m_tools->StopDownload(*m_host, true);
            return;
        }
        m_interrupted = true;
        m_minuteTimer->stop();
        if (m_tools->TransferRunning()) {
            m_err << (m_terminal ? "\r\x1b[K" : "")
                  << "Stopping after the running job; received jobs are confirmed. "
                     "Signal again to cancel the running job."
                  << Qt::endl;
            m_tools->FinishAfterCurrentJob();
        } else if (m_polling) {
            m_err << "Stopping: the check for jobs is cancelled." << Qt::endl;
            m_host->inet().Cancel();
        } else {
            m_err << "Stopped." << Qt::endl;
            finish(Success);
        }
        return;
    }
    if (m_interrupted)
        return;
    m_interrupted = true;
    m_err << (m_terminal ? "\n" : "")
          << "Stopping: the running job is cancelled, received jobs "
             "are confirmed."
          << Qt::endl;
    if (m_tools->TransferRunning())
        m_tools->StopDownload(*m_host);
    else if (m_host)
        m_host->inet().Cancel();
}

QString CommandLineTool::jobLabel(const QString &jobId) const
{
    const Job *job = m_tools->gColDownloads.Item(jobId);
    return job ? QStringLiteral("%1 %2").arg(jobId, job->gStrName) : jobId;
}

void CommandLineTool::connectJobLines()
{
    if (m_jobLinesConnected)
        return;
    m_jobLinesConnected = true;
    connect(m_tools.get(), &DownloadTools::jobStarted, this,
            [this](const QString &jobId, int attempt) {
                m_clock.start();
                if (attempt > 0)
                    m_err << (m_terminal ? "\r\x1b[K" : "") << "Retrying " << jobLabel(jobId)
                          << " (" << attempt << " of 3)" << Qt::endl;
            });
    connect(m_tools.get(), &DownloadTools::jobProgress, this, &CommandLineTool::showJobProgress);
    connect(m_tools.get(), &DownloadTools::jobEnded, this, &CommandLineTool::showJobEnd);
}

CommandLineTool::Summary CommandLineTool::transferSummary() const
{
    const JobCollection &jobs = m_tools->gColDownloads;
    Summary summary{int(jobs.Count()), 0, 0};
    for (qsizetype i = 1; i <= jobs.Count(); ++i) {
        summary.received += jobs.Item(i)->gBlnDownloadCompleted ? 1 : 0;
        summary.confirmed += jobs.Item(i)->gBlnStatusUpdated ? 1 : 0;
    }
    return summary;
}

QString CommandLineTool::summaryLine(int listed, int received, int confirmed) const
{
    return tr("%1 of %2 jobs received, %3 failed, %4 confirmed.")
        .arg(received)
        .arg(listed)
        .arg(int(m_tools->gTransferFailures.size()))
        .arg(confirmed);
}

void CommandLineTool::transferJobs(bool json, bool readFailed)
{
    PopulateJobList(m_host->jobList(), m_tools->gColDownloads);
    connectJobLines();
    connect(m_tools.get(), &DownloadTools::DownloadJobsFinished, this, [this, json, readFailed] {
        const auto [listed, received, confirmed] = transferSummary();
        m_err << summaryLine(listed, received, confirmed) << Qt::endl;
        printJobs(json, true);
        const bool allDone = !readFailed && received == listed && confirmed == listed;
        finish(allDone ? Success : Failure);
    });
    m_tools->DownloadJobs(*m_host, true);
}

void CommandLineTool::startWatch()
{
    m_watching = true;
    m_host = std::make_unique<PlainTransferHost>();
    m_terminal = ::isatty(STDERR_FILENO) == 1;
    auto *watcher = new SignalWatcher(this);
    connect(watcher, &SignalWatcher::interrupted, this, &CommandLineTool::interrupt);
    connectJobLines();

    // One tick a minute; scripts and tests may make the minute shorter.
    bool ok = false;
    const int minute = qEnvironmentVariableIntValue("QUILLET_WATCH_MINUTE_MS", &ok);
    m_minuteTimer = new QTimer(this);
    m_minuteTimer->setInterval(ok && minute > 0 ? minute : 60000);
    connect(m_minuteTimer, &QTimer::timeout, this, &CommandLineTool::watchTick);
    const Profile &profile = m_tools->gProfile();
    const qint64 every = PollCountdown::ticksPerPoll(profile.gLngPollInterval);
    m_out << "Watching for jobs of " << profile.gFirstName << ' ' << profile.gLastName
          << ": a check every "
          << (every == 1 ? QStringLiteral("minute") : QStringLiteral("%1 minutes").arg(every))
          << '.' << Qt::endl;
    m_minuteTimer->start();
}

void CommandLineTool::watchTick()
{
    const qint32 interval = m_tools->gProfile().gLngPollInterval;
    if (const std::optional<QString> countdown = PollCountdown::tick(m_minutesElapsed, interval)) {
        m_out << *countdown << Qt::endl;
        return;
    }
    watchPoll();
}

void CommandLineTool::watchPoll()
{
    // No tick during the poll; the next minute starts when it has ended.
    m_minuteTimer->stop();
    m_polling = true;
    m_out << Conversions::formatDatePattern(QDateTime::currentDateTime(),
                                            QStringLiteral("yyyy-mm-dd hh:nn:ss"))
          << " Checking for jobs" << Qt::endl;
    m_tools->RetrieveJobListing(
        *m_host, [this](DownloadTools::RequestOutcome outcome, const QString &failure) {
            if (m_interrupted) {
                watchPollEnded();
                return;
            }
            if (outcome == DownloadTools::RequestOutcome::Failed) {
                // Told, and the transfer runs all the same on the rows still
                // listed; the next poll tries again.
                m_messages.post(failure, QStringLiteral("Error"), MessageIcon::Critical);
            } else {
                m_tools->gColDownloads = JobCollection();
                m_tools->PopluateJobCollecionFromIndexFile();
                PopulateJobList(m_host->jobList(), m_tools->gColDownloads);
                m_out << m_tools->gColDownloads.Count() << " jobs listed" << Qt::endl;
            }
            watchTransfer();
        });
}

void CommandLineTool::watchTransfer()
{
    connect(
        m_tools.get(), &DownloadTools::DownloadJobsFinished, this,
        [this] {
            const auto [listed, received, confirmed] = transferSummary();
            if (listed > 0)
                m_out << summaryLine(listed, received, confirmed) << Qt::endl;
            watchPollEnded();
        },
        Qt::SingleShotConnection);
    m_tools->DownloadJobs(*m_host, false);
}

void CommandLineTool::watchPollEnded()
{
    m_polling = false;
    m_minutesElapsed = 0;
    if (m_interrupted) {
        m_err << "Stopped." << Qt::endl;
        finish(Success);
        return;
    }
    m_minuteTimer->start();
}

void CommandLineTool::showJobProgress(const QString &jobId, qint64 written, qint64 total)
{
    if (!m_terminal)
        return;
    const double seconds = std::max(0.001, double(m_clock.elapsed()) / 1000.0);
    const QLocale locale;
    QString line;
    if (total > 0) {
        const int percent = int(std::min<qint64>(100, written * 100 / total));
        line = QStringLiteral("[%1%2] %3% ")
                   .arg(QString(percent / 5, QLatin1Char('#')),
                        QString(20 - percent / 5, QLatin1Char(' ')))
                   .arg(percent, 3);
    }
    line += QStringLiteral("%1  %2  %3/s")
                .arg(jobLabel(jobId), locale.formattedDataSize(written),
                     locale.formattedDataSize(qint64(double(written) / seconds)));
    m_err << "\r\x1b[K" << line.left(200);
    m_err.flush();
}

void CommandLineTool::showJobEnd(const QString &jobId, bool received, const QString &detail)
{
    m_err << (m_terminal ? "\r\x1b[K" : "") << (received ? "Received " : "Failed ")
          << jobLabel(jobId) << (received ? " -> " : ": ") << detail << Qt::endl;
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
    return Success;
}

int CommandLineTool::listJobs(const Options &options)
{
    QFile file(options.indexFile);
    const auto cannotRead = [&] {
        m_err << "quillet-transfer: cannot read the job index " << options.indexFile << ": "
              << file.errorString() << Qt::endl;
        return BadArguments;
    };
    if (!file.open(QIODevice::ReadOnly))
        return cannotRead();

    // One byte past the limit is enough to know that the file is too large.
    QByteArray body = file.read(DownloadTools::MaxIndexSize + 1);
    if (file.error() != QFileDevice::NoError)
        return cannotRead();
    QString text = DownloadTools::indexTextFromBytes(body);
    body = QByteArray();
    m_tools->xmlIndex = std::move(text);
    const bool read = m_tools->PopluateJobCollecionFromIndexFile();
    // Only the jobs are listed from here on.
    m_tools->xmlIndex.clear();
    printJobs(options.json);
    return read ? Success : Failure;
}

void CommandLineTool::printJobs(bool json, bool afterTransfer)
{
    const JobCollection &jobs = m_tools->gColDownloads;
    if (!json && afterTransfer) {
        m_out << "ID\tJob Name\tReceived\tConfirmed\tDestination File\tError\n";
        for (qsizetype i = 1; i <= jobs.Count(); ++i) {
            const Job &job = *jobs.Item(i);
            m_out << job.gLngID << '\t' << job.gStrName << '\t'
                  << (job.gBlnDownloadCompleted ? "yes" : "no") << '\t'
                  << (job.gBlnStatusUpdated ? "yes" : "no") << '\t'
                  << FileNames::nativeSeparators(job.gStrDestinationPath) << '\t'
                  << m_tools->gTransferFailures.value(job.gLngID) << '\n';
        }
        return;
    }
    if (!json) {
        m_out << "ID\tPriority\tJob Name\tReference\tOpen Time\tSource URL\tDestination File\n";
        for (qsizetype i = 1; i <= jobs.Count(); ++i) {
            const Job &job = *jobs.Item(i);
            m_out << job.gLngID << '\t' << int(job.gBytePriority) << '\t' << job.gStrName << '\t'
                  << job.gStrReference << '\t' << isoText(job.gDateOpen) << '\t'
                  << job.gStrSourceURL << '\t'
                  << FileNames::nativeSeparators(job.gStrDestinationPath) << '\n';
        }
        return;
    }

    // Written job by job: the list may hold a hundred thousand jobs.
    m_out << "{\n  \"jobs\": [";
    for (qsizetype i = 1; i <= jobs.Count(); ++i) {
        const Job &job = *jobs.Item(i);
        m_out << (i == 1 ? "\n    {" : ",\n    {") << "\"id\": " << jsonString(job.gLngID)
              << ", \"name\": " << jsonString(job.gStrName)
              << ", \"reference\": " << jsonString(job.gStrReference)
              << ", \"open_time\": " << jsonString(isoText(job.gDateOpen))
              << ", \"priority\": " << int(job.gBytePriority)
              << ", \"source_url\": " << jsonString(job.gStrSourceURL) << ", \"destination\": "
              << jsonString(FileNames::nativeSeparators(job.gStrDestinationPath));
        if (afterTransfer) {
            const auto failure = m_tools->gTransferFailures.constFind(job.gLngID);
            m_out << ", \"downloaded\": " << (job.gBlnDownloadCompleted ? "true" : "false")
                  << ", \"confirmed\": " << (job.gBlnStatusUpdated ? "true" : "false")
                  << ", \"error\": "
                  << (failure == m_tools->gTransferFailures.constEnd() ? QStringLiteral("null")
                                                                       : jsonString(*failure));
        }
        m_out << '}';
    }
    m_out << (jobs.Count() ? "\n  ],\n" : "],\n") << "  \"messages\": [";
    for (qsizetype i = 0; i < m_messages.messages.size(); ++i) {
        const Message &message = m_messages.messages.at(i);
        m_out << (i == 0 ? "\n    {" : ",\n    {") << "\"title\": " << jsonString(message.title)
              << ", \"text\": " << jsonString(message.text) << '}';
    }
    m_out << (m_messages.messages.isEmpty() ? "]\n}\n" : "\n  ]\n}\n");
}
