#include "cli/CommandLineTool.h"

#include "cli/CommandLineOptions.h"
#include "cli/JobLines.h"
#include "cli/JobReport.h"
#include "cli/SignalWatcher.h"
#include "platform/Conversions.h"
#include "platform/Paths.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "service/PlainTransferHost.h"
#include "service/PollCountdown.h"

#include <QFile>
#include <QFileInfo>

CommandLineTool::CommandLineTool(QTextStream &out, QTextStream &err, QObject *parent)
    : QObject(parent), m_out(out), m_err(err), m_tools(std::make_unique<DownloadTools>(m_messages)),
      m_lines(std::make_unique<JobLines>(err, m_tools->gColDownloads))
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
    m_err << CommandLineOptions::usage();
    m_err.flush();
}

void CommandLineTool::start(const QStringList &arguments)
{
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        m_out << CommandLineOptions::usage();
        m_out.flush();
        Q_EMIT finished(Success);
        return;
    }
    const auto parsed = CommandLineOptions::parse(arguments);
    if (const auto *problem = std::get_if<CommandLineOptions::Problem>(&parsed)) {
        usage(problem->text);
        Q_EMIT finished(BadArguments);
        return;
    }
    const CommandLineOptions *options = &std::get<CommandLineOptions>(parsed);
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
    if (options->command == QLatin1String("profile")) {
        JobReport::printProfile(m_out, m_tools->gProfile());
        finish(Success);
        return;
    }
    finish(listJobs(*options));
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
            m_err << m_lines->clearLine()
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
    m_err << (m_lines->terminal() ? "\n" : "")
          << "Stopping: the running job is cancelled, received jobs "
             "are confirmed."
          << Qt::endl;
    if (m_tools->TransferRunning())
        m_tools->StopDownload(*m_host);
    else if (m_host)
        m_host->inet().Cancel();
}

void CommandLineTool::connectJobLines()
{
    if (m_jobLinesConnected)
        return;
    m_jobLinesConnected = true;
    JobLines *lines = m_lines.get();
    connect(m_tools.get(), &DownloadTools::jobStarted, this,
            [lines](const QString &jobId, int attempt) { lines->started(jobId, attempt); });
    connect(m_tools.get(), &DownloadTools::jobProgress, this,
            [lines](const QString &jobId, qint64 written, qint64 total) {
                lines->progress(jobId, written, total);
            });
    connect(m_tools.get(), &DownloadTools::jobEnded, this,
            [lines](const QString &jobId, bool received, const QString &detail) {
                lines->ended(jobId, received, detail);
            });
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

int CommandLineTool::listJobs(const CommandLineOptions &options)
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
    JobReport::printJobs(m_out, m_tools->gColDownloads, m_tools->gTransferFailures,
                         m_messages.messages, json, afterTransfer);
}
