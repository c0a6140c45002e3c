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
#include "service/ServiceUrls.h"

#include <QFile>
#include <QFileInfo>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The width of the terminal on standard output; 0 when it is not one.
int terminalWidth()
{
    if (!::isatty(STDOUT_FILENO))
        return 0;
    struct winsize size = {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    return ok && columns > 0 ? columns : 80;
}

} // namespace

CommandLineTool::CommandLineTool(QTextStream &out, QTextStream &err, QObject *parent)
    : QObject(parent), m_out(out), m_err(err), m_tools(std::make_unique<DownloadTools>(m_messages)),
      m_host(std::make_unique<PlainTransferHost>()),
      m_session(std::make_unique<WorkSession>(*m_tools, *m_host, m_minuteTimer, m_minutesElapsed)),
      m_lines(std::make_unique<JobLines>(err, m_tools->gColDownloads))
{
    connect(m_session.get(), &WorkSession::checkEnded, this, &CommandLineTool::checkEnded);
    connect(m_session.get(), &WorkSession::transferEnded, this, &CommandLineTool::transferEnded);
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
    if (ServiceUrls::travelsInClear(m_tools->gProfile().gStrBaseURL))
        m_err << "quillet-transfer: " << ServiceUrls::inClearText() << Qt::endl;
    if (options->command == QLatin1String("watch")) {
        startWatch(options->now);
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

void CommandLineTool::watchSignals()
{
    auto *watcher = new SignalWatcher(this);
    connect(watcher, &SignalWatcher::interrupted, this, &CommandLineTool::interrupt);
}

void CommandLineTool::checkForJobs(bool json, bool transfer)
{
    m_json = json;
    m_transferAfterCheck = transfer;
    watchSignals();
    m_session->check();
}

void CommandLineTool::checkEnded(const WorkSession::CheckResult &result)
{
    if (m_watching) {
        if (m_interrupted)
            return;
        if (!result.answered) {
            // Told, and the transfer runs all the same on the rows still
            // listed; the next poll tries again.
            m_messages.post(result.failure, QStringLiteral("Error"), MessageIcon::Critical);
        } else {
            if (!result.read) {
                m_messages.post(DownloadTools::invalidIndexText(), QStringLiteral("Error"),
                                MessageIcon::Critical);
                m_messages.post(result.answer, QStringLiteral("Error"), MessageIcon::Critical);
            }
            m_out << m_tools->gColDownloads.Count() << " jobs listed" << Qt::endl;
        }
        return;
    }
    if (!result.answered) {
        m_tools->gColDownloads = JobCollection();
        m_messages.post(m_interrupted ? tr("The check for jobs was stopped.") : result.failure,
                        QStringLiteral("Error"), MessageIcon::Critical);
        printJobs(m_json);
        finish(Failure);
        return;
    }
    // What came back instead of a job index.
    if (!result.read)
        m_messages.post(result.answer, QStringLiteral("Error"), MessageIcon::Critical);
    const bool none = m_tools->gColDownloads.Count() == 0;
    if (result.read && none)
        m_err << tr("No jobs are waiting.") << Qt::endl;
    if (!m_transferAfterCheck || none) {
        printJobs(m_json);
        finish(result.read ? Success : Failure);
        return;
    }
    m_indexReadFailed = !result.read;
    connectJobLines();
    m_session->transfer(true);
}

void CommandLineTool::transferEnded()
{
    const auto [listed, received, confirmed] = transferSummary();
    if (m_watching) {
        if (listed > 0)
            m_out << summaryLine(listed, received, confirmed) << Qt::endl;
        return;
    }
    m_err << summaryLine(listed, received, confirmed) << Qt::endl;
    printJobs(m_json, true);
    const bool allDone = !m_indexReadFailed && received == listed && confirmed == listed;
    finish(allDone ? Success : Failure);
}

void CommandLineTool::interrupt()
{
    const WorkSession::Work work = m_session->work();
    if (m_watching) {
        if (m_interrupted) {
            // A second signal: the running job too.
            if (work == WorkSession::Work::Transfer)
                m_session->stop(true);
            return;
        }
        m_interrupted = true;
        m_minuteTimer.stop();
        if (work == WorkSession::Work::Transfer) {
            m_err << m_lines->clearLine()
                  << "Stopping after the running job; received jobs are confirmed. "
                     "Signal again to cancel the running job."
                  << Qt::endl;
        } else if (work == WorkSession::Work::Check) {
            m_err << "Stopping: the check for jobs is cancelled." << Qt::endl;
        } else {
            m_err << "Stopped." << Qt::endl;
            finish(Success);
            return;
        }
        m_session->finishAfterCurrentJob();
        return;
    }
    if (m_interrupted)
        return;
    m_interrupted = true;
    m_err << (m_lines->terminal() ? "\n" : "")
          << "Stopping: the running job is cancelled, received jobs "
             "are confirmed."
          << Qt::endl;
    m_session->stop(false);
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

void CommandLineTool::startWatch(bool now)
{
    m_watching = true;
    watchSignals();
    connectJobLines();

    // One tick a minute; scripts and tests may make the minute shorter.
    bool ok = false;
    const int minute = qEnvironmentVariableIntValue("QUILLET_WATCH_MINUTE_MS", &ok);
    m_minuteTimer.setInterval(ok && minute > 0 ? minute : 60000);
    connect(&m_minuteTimer, &QTimer::timeout, m_session.get(), &WorkSession::tick);
    connect(m_session.get(), &WorkSession::countdown, this,
            [this](const QString &text) { m_out << text << Qt::endl; });
    connect(m_session.get(), &WorkSession::pollStarted, this, [this] {
        m_out << Conversions::formatDatePattern(QDateTime::currentDateTime(),
                                                QStringLiteral("yyyy-mm-dd hh:nn:ss"))
              << " Checking for jobs" << Qt::endl;
    });
    connect(m_session.get(), &WorkSession::pollEnded, this, [this] {
        if (!m_interrupted)
            return;
        m_err << "Stopped." << Qt::endl;
        finish(Success);
    });
    const Profile &profile = m_tools->gProfile();
    const qint64 every = PollCountdown::ticksPerPoll(profile.gLngPollInterval);
    m_out << "Watching for jobs of " << profile.gFirstName << ' ' << profile.gLastName
          << ": a check every "
          << (every == 1 ? QStringLiteral("minute") : QStringLiteral("%1 minutes").arg(every))
          << '.' << Qt::endl;
    m_minuteTimer.start();
    if (now)
        m_session->poll();
}

bool CommandLineTool::loadProfile(const QString &profile)
{
    // A path first; otherwise the name of a profile in the Profiles folder.
    QString path = profile;
    const QString named = Paths::profilesFolder() + QLatin1Char('/') + profile + ".xml";
    if (!QFileInfo(path).isFile() && QFileInfo(named).isFile())
        path = named;
    Profile &loaded = m_tools->gProfile();
    // An empty path would change nothing and count as loaded.
    if (!path.isEmpty() && loaded.LoadProfileFromXMLFile(path))
        return true;
    QString why = loaded.loadError();
    if (path.isEmpty()) {
        m_messages.post(QStringLiteral("Error Loding User Profile"), QStringLiteral("Error"),
                        MessageIcon::Critical);
        why = tr("no profile was named");
    } else if (!QFileInfo::exists(path)) {
        why += tr("; nor is there a profile of that name in %1").arg(Paths::profilesFolder());
    }
    m_err << "quillet-transfer: cannot read the profile " << path << ": " << why << Qt::endl;
    return false;
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
    const bool read = m_session->readIndex(std::move(body));
    printJobs(options.json);
    return read ? Success : Failure;
}

void CommandLineTool::printJobs(bool json, bool afterTransfer)
{
    // Without jobs the text report would be a header alone.
    if (!json && m_tools->gColDownloads.Count() == 0)
        return;
    JobReport::printJobs(m_out, m_tools->gColDownloads, m_tools->gTransferFailures,
                         m_messages.messages, json, afterTransfer, terminalWidth());
}
