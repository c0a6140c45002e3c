#pragma once

#include "platform/Inet.h"

#include <QObject>
#include <QString>
#include <QStringList>

class DownloadTools;
class WorkSession;

// What nobody watched: the notices about the work of a session's polls. A
// poll whose check fails gives one at once, with the reason; when the poll
// ends, one names the jobs it received and one the jobs that failed for good
// with their reasons. The work of a command (a check or a transfer the user
// started) gives none. The notices are data: the desktop side decides how
// they are shown, and may drop them.
class PollNotices : public QObject
{
    Q_OBJECT

public:
    // How many jobs a notice names; the rest are counted.
    static constexpr qsizetype NamedJobs = 3;

    PollNotices(WorkSession &session, DownloadTools &tools, QObject *parent = nullptr);
    ~PollNotices() override;

    // Why a request got no answer, in plain words: no address, no timings.
    static QString plainReason(Inet::Failure failure);

Q_SIGNALS:
    void notice(const QString &title, const QString &text);

private:
    void pollEnded();
    // The job's name for a notice, or its id when it has none.
    QString nameOf(const QString &jobId) const;

    DownloadTools &m_tools;
    bool m_polling = false;
    // The running poll transferred: its summary is the tools' last one.
    bool m_transferred = false;
};
