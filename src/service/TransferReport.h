#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct TransferSummary;
class MessageSink;

// The one box that ends a transfer with message boxes. Failed jobs are
// gathered while it runs, jobs that failed for the same reason (the same
// text but for their file and its numbers) in one group; the box at the end
// names each group once with its count, under the text of the status
// update, or under "Stopped: …" after Stop Download.
class TransferReport
{
public:
    // A job failed for `reason`; `destination` is its file, which the
    // reason may name.
    void failed(const QString &reason, const QString &destination);

    // The box for the transfer's `summary`. After a stop, the jobs never
    // started are no failure.
    void post(MessageSink &messages, const TransferSummary &summary) const;

    // The lines under the box's text, one per group, at most MaxGroups.
    QString detail() const;

    static constexpr qsizetype MaxGroups = 5;

private:
    struct Group
    {
        QString key;
        QString reason; // the first job's
        int count = 0;
    };
    QList<Group> m_groups;
};
