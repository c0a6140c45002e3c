#include "service/TransferReport.h"

#include "platform/MessageSink.h"
#include "service/TransferSummary.h"

#include <QDir>
#include <QObject>
#include <QRegularExpression>

void TransferReport::failed(const QString &reason, const QString &destination)
{
    // A folder that cannot be written or a full disk fails every job alike;
    // only the file and the sizes differ between their reasons.
    QString key = reason;
    if (!destination.isEmpty())
        key.replace(QDir::toNativeSeparators(destination), QStringLiteral("*"));
    static const QRegularExpression numbers(QStringLiteral("[0-9]+"));
    key.replace(numbers, QStringLiteral("#"));
    for (Group &group : m_groups) {
        if (group.key == key) {
            ++group.count;
            return;
        }
    }
    m_groups.append({key, reason, 1});
}

QString TransferReport::detail() const
{
    QStringList lines;
    for (qsizetype i = 0; i < m_groups.size() && i < MaxGroups; ++i) {
        const Group &group = m_groups.at(i);
        lines << (group.count == 1 ? QObject::tr("1 job failed: %1").arg(group.reason)
                                   : QObject::tr("%1 jobs failed: %2 (the first of them)")
                                         .arg(group.count)
                                         .arg(group.reason));
    }
    if (m_groups.size() > MaxGroups) {
        int more = 0;
        for (qsizetype i = MaxGroups; i < m_groups.size(); ++i)
            more += m_groups.at(i).count;
        lines << QObject::tr("%1 more failed for other reasons.").arg(more);
    }
    return lines.join(QLatin1Char('\n'));
}

void TransferReport::post(MessageSink &messages, const TransferSummary &summary) const
{
    // A received file gone before its confirmation was not received after all.
    const int received = summary.received();
    const int confirmed = summary.confirmed();
    const int listed = summary.listed;
    Message message;
    if (summary.stopped) {
        message.text = QObject::tr("Stopped: %1 of %2 jobs received and confirmed.")
                           .arg(confirmed)
                           .arg(listed);
        // A stop is no error: only a failure shows an icon.
        const bool unconfirmed = confirmed < received;
        message.icon =
            !m_groups.isEmpty() || unconfirmed ? MessageIcon::Exclamation : MessageIcon::None;
        if (unconfirmed)
            message.detail = QStringLiteral("Error Updating the status of some or all jobs!");
    } else if (summary.allConfirmed) {
        message.text = QStringLiteral("All jobs have been updated on server!");
    } else {
        message.text = QStringLiteral("Error Updating the status of some or all jobs!");
        message.icon = MessageIcon::Critical;
    }
    if (!m_groups.isEmpty())
        message.detail = detail();
    messages.post(message);
}
