#include "service/PollNotices.h"

#include "platform/Inet.h"
#include "platform/Secrets.h"
#include "service/DownloadTools.h"
#include "service/WorkSession.h"

#include <utility>

PollNotices::PollNotices(WorkSession &session, DownloadTools &tools, QObject *parent)
    : QObject(parent), m_tools(tools)
{
    connect(&session, &WorkSession::pollStarted, this, [this] {
        m_polling = true;
        m_transferred = false;
    });
    connect(
        &session, &WorkSession::checkEnded, this, [this](const WorkSession::CheckResult &result) {
            if (!m_polling)
                return;
            // Without a failure text nothing was sent: the next poll tries.
            // A stopped check is no failure.
            if (result.answered ? result.read
                                : result.failure.isEmpty() ||
                                      m_tools.listingFailure == Inet::Failure::Cancelled)
                return;
            Q_EMIT notice(tr("Check For Jobs failed"),
                          Secrets::shown(result.answered ? result.answer
                                                         : plainReason(m_tools.listingFailure)) +
                              QLatin1Char('\n') + tr("The next poll tries again."));
        });
    connect(&tools, &DownloadTools::DownloadJobsFinished, this,
            [this] { m_transferred = m_polling; });
    connect(&session, &WorkSession::pollEnded, this, &PollNotices::pollEnded);
}

PollNotices::~PollNotices() = default;

QString PollNotices::plainReason(Inet::Failure failure)
{
    switch (failure) {
    case Inet::Failure::Network:
        return tr("The job service could not be reached.");
    case Inet::Failure::TimedOut:
        return tr("The job service did not answer in time.");
    case Inet::Failure::ShortBody:
        return tr("The job service's answer was cut short.");
    case Inet::Failure::TooLarge:
        return tr("The job service's answer was too large.");
    default:
        return tr("The check for jobs failed.");
    }
}

QString PollNotices::nameOf(const QString &jobId) const
{
    const Job *job = m_tools.gColDownloads.Item(jobId);
    // Each name and reason stays on its line of the notice.
    return Secrets::shown(job && !job->gStrName.isEmpty() ? job->gStrName : jobId);
}

void PollNotices::pollEnded()
{
    if (!std::exchange(m_polling, false) || !std::exchange(m_transferred, false))
        return;
    // A received job whose file is gone before its confirmation has failed.
    QStringList received;
    QStringList failed;
    for (const TransferSummary::Outcome &outcome : m_tools.lastTransfer().jobs) {
        if (outcome.received && !outcome.earlier)
            received << nameOf(outcome.jobId);
        else if (!outcome.reason.isEmpty())
            failed << nameOf(outcome.jobId) + QStringLiteral(": ") + Secrets::shown(outcome.reason);
    }
    if (!received.isEmpty()) {
        QStringList names;
        for (qsizetype i = 0; i < received.size() && i < NamedJobs; ++i)
            names << received.at(i);
        if (received.size() > NamedJobs)
            names << QString(QChar(0x2026));
        const QString count = received.size() == 1
                                  ? tr("1 new job received")
                                  : tr("%1 new jobs received").arg(received.size());
        Q_EMIT notice(tr("New Jobs"),
                      count + QStringLiteral(": ") + names.join(QStringLiteral(", ")));
    }
    if (!failed.isEmpty()) {
        QStringList lines;
        for (qsizetype i = 0; i < failed.size() && i < NamedJobs; ++i)
            lines << failed.at(i);
        if (failed.size() > NamedJobs)
            lines << tr("and %1 more").arg(failed.size() - NamedJobs);
        const QString title =
            failed.size() == 1 ? tr("A job failed") : tr("%1 jobs failed").arg(failed.size());
        Q_EMIT notice(title, lines.join(QLatin1Char('\n')));
    }
}
