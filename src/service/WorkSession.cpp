#include "service/WorkSession.h"

#include "platform/Inet.h"
#include "platform/Secrets.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "service/JobListModel.h"
#include "service/PollCountdown.h"
#include "service/TransferHost.h"

#include <QEventLoopLocker>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

namespace {

// One line for the user about an answer: its status and the start of its
// text without markup, control characters or the password.
QString answerLine(int status, const QString &text, const QString &password)
{
    static const QRegularExpression markup(QStringLiteral("<[^>]*>"));
    // Secrets go first, so that no cut and no markup leaves a part of one; the
    // margin holds every spelling of one that starts before the cut.
    constexpr qsizetype cut = 4096;
    QString plain = Secrets::scrub(text.left(4 * cut), {password}).left(cut).remove(markup);
    for (QChar &c : plain)
        if (!c.isPrint())
            c = QLatin1Char(' ');
    plain = plain.simplified();
    constexpr qsizetype longest = 200;
    if (plain.size() > longest)
        plain = plain.left(longest - 1) + QChar(0x2026);
    return plain.isEmpty() ? QObject::tr("The service answered HTTP %1 without text.").arg(status)
                           : QObject::tr("The service answered HTTP %1: %2").arg(status).arg(plain);
}

} // namespace

WorkSession::WorkSession(DownloadTools &tools, TransferHost &host, QTimer &pollTimer,
                         qint32 &minutesElapsed, QObject *parent)
    : QObject(parent), m_tools(tools), m_host(host), m_pollTimer(pollTimer),
      m_minutesElapsed(minutesElapsed)
{
}

WorkSession::~WorkSession() = default;

void WorkSession::begin(Work work)
{
    if (!m_polling)
        m_profile = std::make_shared<const Profile>(m_tools.gProfile());
    m_work = work;
    Q_EMIT workStarted(work);
}

void WorkSession::end()
{
    m_work = Work::None;
    m_closing.reset();
    if (m_pollPending && !m_polling) {
        m_pollPending = false;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_pollTimer.isActive())
                    poll();
            },
            Qt::QueuedConnection);
    }
}

bool WorkSession::check()
{
    if (busy())
        return false;
    begin(Work::Check);
    QPointer<WorkSession> self(this);
    m_tools.RetrieveJobListing(
        m_host,
        [self](DownloadTools::RequestOutcome outcome, const QString &failure) {
            if (!self)
                return;
            CheckResult result;
            if (outcome == DownloadTools::RequestOutcome::Finished) {
                result.answered = true;
                // Nobody watches a poll: its host tells of a failed reading
                // without a message box. A check's box shows what came back.
                result.read =
                    self->m_tools.PopluateJobCollecionFromIndexFile(self->m_profile, false);
                if (!result.read) {
                    result.answer = answerLine(self->m_tools.xmlIndexStatus, self->m_tools.xmlIndex,
                                               self->m_profile->gPassword);
                    if (!self->m_polling)
                        self->m_tools.reportInvalidIndex(result.answer);
                }
                PopulateJobList(self->m_host.jobList(), self->m_tools.gColDownloads);
            } else {
                result.failure = failure;
            }
            self->end();
            Q_EMIT self->checkEnded(result);
            // A poll transfers whatever the check gave, the rows of an
            // earlier check included.
            if (self && self->m_polling)
                self->m_pollStopped ? self->endPoll() : void(self->transfer(false));
        },
        m_profile);
    return true;
}

bool WorkSession::readIndex(QByteArray body)
{
    if (busy())
        return false;
    QString text = DownloadTools::indexTextFromBytes(body);
    body = QByteArray();
    m_tools.xmlIndex = std::move(text);
    const bool read = m_tools.PopluateJobCollecionFromIndexFile();
    // Only the jobs are kept from here on.
    m_tools.xmlIndex.clear();
    PopulateJobList(m_host.jobList(), m_tools.gColDownloads);
    return read;
}

bool WorkSession::transfer(bool showMessageBoxes)
{
    if (busy() || m_tools.TransferRunning())
        return false;
    begin(Work::Transfer);
    connect(
        &m_tools, &DownloadTools::DownloadJobsFinished, this,
        [this] {
            end();
            Q_EMIT transferEnded();
            if (m_polling)
                endPoll();
        },
        Qt::SingleShotConnection);
    m_tools.DownloadJobs(m_host, showMessageBoxes, m_profile);
    return true;
}

void WorkSession::endPoll()
{
    m_polling = false;
    m_minutesElapsed = 0;
    if (m_pollTimer.isActive())
        m_pollTimer.start();
    Q_EMIT pollEnded();
}

void WorkSession::stop(bool quiet)
{
    m_pollStopped = m_polling;
    if (m_work == Work::Check)
        m_host.inet().Cancel();
    else if (m_work == Work::Transfer)
        m_tools.StopDownload(m_host, quiet);
}

void WorkSession::shutDown(std::chrono::milliseconds grace)
{
    m_pollTimer.stop();
    m_pollPending = false;
    if (!busy())
        return;
    m_closing = std::make_unique<QEventLoopLocker>();
    stop(true);
    QTimer::singleShot(grace, this, [this] {
        if (!m_closing)
            return;
        m_host.inet().Cancel();
        m_closing.reset();
    });
}

void WorkSession::finishAfterCurrentJob()
{
    if (m_work == Work::Transfer) {
        m_pollStopped = m_polling;
        m_tools.FinishAfterCurrentJob();
    } else {
        stop(true);
    }
}

bool WorkSession::poll()
{
    if (busy())
        return false;
    m_polling = true;
    m_pollStopped = false;
    m_pollPending = false;
    m_profile = std::make_shared<const Profile>(m_tools.gProfile());
    Q_EMIT pollStarted();
    check();
    return true;
}

void WorkSession::tick()
{
    if (m_polling)
        return;
    const qint32 interval = m_tools.gProfile().gLngPollInterval;
    if (m_minutesElapsed >= interval) {
        if (busy())
            m_pollPending = true;
        else
            poll();
        return;
    }
    if (const std::optional<QString> text = PollCountdown::tick(m_minutesElapsed, interval))
        Q_EMIT countdown(*text);
}
