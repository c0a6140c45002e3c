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
        m_received.clear();
        m_failed.clear();
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
    connect(&tools, &DownloadTools::jobEnded, this, &PollNotices::jobEnded);
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

void PollNotices::jobEnded(const QString &jobId, bool received, const QString &detail)
{
    if (!m_polling)
        return;
    const Job *job = m_tools.gColDownloads.Item(jobId);
    // Each name and reason stays on its line of the notice.
    const QString name = Secrets::shown(job && !job->gStrName.isEmpty() ? job->gStrName : jobId);
    if (received) {
        m_received.append({jobId, name, QString()});
        return;
    }
    // A received job whose file is gone before its confirmation fails after all.
    m_received.removeIf([&jobId](const Outcome &outcome) { return outcome.jobId == jobId; });
    m_failed.append({jobId, name, Secrets::shown(detail)});
}

void PollNotices::pollEnded()
{
    if (!std::exchange(m_polling, false))
        return;
    const QList<Outcome> received = std::exchange(m_received, {});
    const QList<Outcome> failed = std::exchange(m_failed, {});
    if (!received.isEmpty()) {
        QStringList names;
        for (qsizetype i = 0; i < received.size() && i < NamedJobs; ++i)
            names << received.at(i).name;
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
            lines << failed.at(i).name + QStringLiteral(": ") + failed.at(i).reason;
        if (failed.size() > NamedJobs)
            lines << tr("and %1 more").arg(failed.size() - NamedJobs);
        const QString title =
            failed.size() == 1 ? tr("A job failed") : tr("%1 jobs failed").arg(failed.size());
        Q_EMIT notice(title, lines.join(QLatin1Char('\n')));
    }
}
