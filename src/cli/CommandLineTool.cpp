#include "cli/CommandLineTool.h"

#include "cli/CommandLineOptions.h"
#include "cli/JobLines.h"
#include "cli/JobReport.h"
#include "platform/Conversions.h"
#include "platform/Paths.h"
#include "platform/SignalWatcher.h"
#include "platform/Startup.h"
#include "platform/SystemTexts.h"
#include "platform/Terminal.h"
#include "profiles/Profile.h"
#include "profiles/ProfileLock.h"
#include "service/DownloadTools.h"
#include "service/PlainTransferHost.h"
#include "service/PollCountdown.h"
#include "service/ServiceUrls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The width of the terminal on standard output; 0 when it is not one.
int terminalWidth()
{
    if (!Terminal::isTerminal(Terminal::Stream::Output))
        return 0;
    if (const int columns = Terminal::width(Terminal::Stream::Output))
        return columns;
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    return ok && columns > 0 ? columns : 80;
}

} // namespace

CommandLineTool::CommandLineTool(QTextStream &out, QTextStream &err, QObject *parent)
    : QObject(parent), m_out(out), m_err(err), m_console(err),
      m_tools(std::make_unique<DownloadTools>(m_messages)),
      m_host(std::make_unique<PlainTransferHost>()),
      m_session(std::make_unique<WorkSession>(*m_tools, *m_host, m_minuteTimer, m_minutesElapsed)),
      m_lines(std::make_unique<JobLines>(m_console, m_tools->gColDownloads))
{
    connect(m_session.get(), &WorkSession::checkEnded, this, &CommandLineTool::checkEnded);
    connect(m_session.get(), &WorkSession::transferEnded, this, &CommandLineTool::transferEnded);
    m_messages.onMessage = [this](const Message &message) {
        const Console::Priority priority =
            message.icon == MessageIcon::Critical      ? Console::Priority::Failure
            : message.icon == MessageIcon::Exclamation ? Console::Priority::Warning
                                                       : Console::Priority::Information;
        m_console.say(priority, message.title + QStringLiteral(": ") + message.text);
    };
}

CommandLineTool::~CommandLineTool() = default;

void CommandLineTool::usage(const QString &problem)
{
    if (problem.isEmpty())
        m_err << CommandLineOptions::usage();
    else
        m_console.say(Console::Priority::Failure,
                      QStringLiteral("quillet-transfer: %1; see --help").arg(problem));
    m_err.flush();
}

void CommandLineTool::start(const QStringList &arguments)
{
    const auto parsed = CommandLineOptions::parse(arguments);
    if (const auto *problem = std::get_if<CommandLineOptions::Problem>(&parsed)) {
        usage(problem->text);
        Q_EMIT finished(BadArguments);
        return;
    }
    const CommandLineOptions *options = &std::get<CommandLineOptions>(parsed);
    if (options->help || options->version) {
        if (options->help)
            m_out << CommandLineOptions::usage();
        else
            m_out << "quillet-transfer " << Startup::version() << '\n';
        finish(Success);
        return;
    }
    m_console.setQuiet(options->quiet);
    if (!loadProfile(options->profile)) {
        Q_EMIT finished(BadArguments);
        return;
    }
    if (options->command == QLatin1String("watch") || options->command == QLatin1String("fetch")) {
        // One program polls a profile at a time.
        const Profile &profile = m_tools->gProfile();
        m_lock = std::make_unique<ProfileLock>(profile.gStrProfilePath);
        if (!m_lock->locked()) {
            m_messages.post(ProfileLock::inUseText(profile.gFirstName + ' ' + profile.gLastName),
                            QStringLiteral("Error"), MessageIcon::Critical);
            finish(Failure);
            return;
        }
    }
    if (ServiceUrls::travelsInClear(m_tools->gProfile().gStrBaseURL))
        m_console.say(Console::Priority::Warning,
                      QStringLiteral("quillet-transfer: ") + ServiceUrls::inClearText());
    if (options->command == QLatin1String("watch")) {
        startWatch(options->now, options->quiet);
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
    if (m_signal)
        status = Signalled + m_signal;
    m_out.flush();
    m_err.flush();
    Q_EMIT finished(status);
}

void CommandLineTool::endRun(int status)
{
    qsizetype unconfirmed = 0;
    const JobCollection &jobs = m_tools->gColDownloads;
    for (qsizetype i = 1; i <= jobs.Count(); ++i)
        unconfirmed += jobs.Item(i)->gBlnDownloadCompleted && !jobs.Item(i)->gBlnStatusUpdated;
    if (unconfirmed > 0) {
        m_console.say(Console::Priority::Failure,
                      unconfirmed == 1
                          ? tr("1 received job is not confirmed; the next check confirms it.")
                          : tr("%1 received jobs are not confirmed; the next check confirms them.")
                                .arg(unconfirmed));
        status = Failure;
    }
    finish(status);
}

void CommandLineTool::watchSignals()
{
    auto *watcher = new SignalWatcher(this);
    connect(watcher, &SignalWatcher::interrupted, this, &CommandLineTool::interrupt);
    connect(watcher, &SignalWatcher::resized, this, [this] { m_console.updateWidth(); });
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
        if (m_signal)
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
        m_messages.post(m_signal ? tr("The check for jobs was stopped.") : result.failure,
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
        m_console.say(Console::Priority::Information, tr("No jobs are waiting."));
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
    m_console.say(Console::Priority::Summary, summaryLine(listed, received, confirmed));
    printJobs(m_json, true);
    const bool allDone = !m_indexReadFailed && received == listed && confirmed == listed;
    endRun(allDone ? Success : Failure);
}

void CommandLineTool::interrupt(int signal)
{
    const WorkSession::Work work = m_session->work();
    if (m_signal) {
        // A second signal ends the running request too, a confirmation included.
        if (work != WorkSession::Work::None)
            m_session->stop(true);
        return;
    }
    m_signal = signal;
    m_minuteTimer.stop();
    const auto say = [this](const char *text) {
        m_console.say(Console::Priority::Warning, QString::fromLatin1(text));
    };
    if (work == WorkSession::Work::None) {
        say("Stopped.");
        endRun(Success);
        return;
    }
    if (work == WorkSession::Work::Check) {
        say("Stopping: the check for jobs is cancelled.");
        m_session->stop(false);
        return;
    }
    // Between jobs, and while received jobs are flushed and confirmed, the
    // transfer goes on to its end: each confirmation is bounded by its
    // time-out, and a job left unconfirmed is fetched again.
    if (!m_jobRunning) {
        say("Stopping once the received jobs are confirmed. Signal again to stop at once.");
        m_session->finishAfterCurrentJob();
    } else if (m_watching) {
        say("Stopping after the running job; received jobs are confirmed. "
            "Signal again to cancel the running job.");
        m_session->finishAfterCurrentJob();
    } else {
        say("Stopping: the running job is cancelled, received jobs are confirmed.");
        m_session->stop(false);
    }
}

void CommandLineTool::connectJobLines()
{
    if (m_jobLinesConnected)
        return;
    m_jobLinesConnected = true;
    JobLines *lines = m_lines.get();
    connect(m_tools.get(), &DownloadTools::jobStarted, this,
            [this, lines](const QString &jobId, int attempt) {
                m_jobRunning = true;
                lines->started(jobId, attempt);
            });
    connect(m_tools.get(), &DownloadTools::jobProgress, this,
            [lines](const QString &jobId, qint64 written, qint64 total) {
                lines->progress(jobId, written, total);
            });
    connect(m_tools.get(), &DownloadTools::jobEnded, this,
            [this, lines](const QString &jobId, bool received, const QString &detail) {
                m_jobRunning = false;
                lines->ended(jobId, received, detail);
            });
}

CommandLineTool::Summary CommandLineTool::transferSummary() const
{
    const TransferSummary &summary = m_tools->lastTransfer();
    return {summary.listed, summary.received(), summary.confirmed()};
}

QString CommandLineTool::summaryLine(int listed, int received, int confirmed) const
{
    return tr("%1 of %2 jobs received, %3 failed, %4 confirmed.")
        .arg(received)
        .arg(listed)
        .arg(m_tools->lastTransfer().failed())
        .arg(confirmed);
}

void CommandLineTool::startWatch(bool now, bool quiet)
{
    m_watching = true;
    watchSignals();
    connectJobLines();

    // One tick a minute; scripts and tests may make the minute shorter.
    bool ok = false;
    const int minute = qEnvironmentVariableIntValue("QUILLET_WATCH_MINUTE_MS", &ok);
    m_minuteTimer.setInterval(ok && minute > 0 ? minute : 60000);
    connect(&m_minuteTimer, &QTimer::timeout, m_session.get(), &WorkSession::tick);
    // The journal and --quiet go without a line a minute.
    const bool chatty = !m_console.journal() && !quiet;
    if (chatty)
        connect(m_session.get(), &WorkSession::countdown, this,
                [this](const QString &text) { m_out << text << Qt::endl; });
    connect(m_session.get(), &WorkSession::pollStarted, this, [this, quiet] {
        if (quiet)
            return;
        m_out << Conversions::formatDatePattern(QDateTime::currentDateTime(),
                                                QStringLiteral("yyyy-mm-dd hh:nn:ss"))
              << " Checking for jobs" << Qt::endl;
    });
    connect(m_session.get(), &WorkSession::pollEnded, this, [this] {
        if (!m_signal)
            return;
        m_console.say(Console::Priority::Warning, QStringLiteral("Stopped."));
        endRun(Success);
    });
    const Profile &profile = m_tools->gProfile();
    const qint64 every = PollCountdown::ticksPerPoll(profile.gLngPollInterval);
    if (!quiet)
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
        m_messages.post(QLatin1String(SystemTexts::errorLodingUserProfile), QStringLiteral("Error"),
                        MessageIcon::Critical);
        why = tr("no profile was named");
    } else if (!QFileInfo::exists(path)) {
        why += tr("; nor is there a profile of that name in %1")
                   .arg(QDir::toNativeSeparators(Paths::profilesFolder()));
    }
    m_console.say(
        Console::Priority::Failure,
        QStringLiteral("quillet-transfer: cannot read the profile %1: %2").arg(path, why));
    return false;
}

int CommandLineTool::listJobs(const CommandLineOptions &options)
{
    QFile file(options.indexFile);
    const auto cannotRead = [&] {
        m_console.say(Console::Priority::Failure,
                      QStringLiteral("quillet-transfer: cannot read the job index %1: %2")
                          .arg(options.indexFile, file.errorString()));
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
