#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class DownloadTools;
class Profile;
class QEventLoopLocker;
class QTimer;
class TransferHost;

// One profile's work on one host: the check for jobs (the index request, its
// reading, the job list), the transfer with its status updates, and the poll
// rhythm. One piece of work runs at a time; a command that would start
// another meanwhile does nothing, and a poll that falls due waits until the
// running work ends. Each piece of work runs on a snapshot of the profile
// taken when it starts; a poll's check and transfer share one.
//
// The poll timer belongs to the host: the session counts its ticks in the
// host's minute counter, ignores the ticks of a running poll and starts the
// timer's minute afresh when a poll ends. A stopped timer (a closed window,
// an interrupted watch) is left stopped, and a waiting poll is dropped.
class WorkSession : public QObject
{
    Q_OBJECT

public:
    enum class Work
    {
        None,
        Check,
        Transfer
    };

    struct CheckResult
    {
        // The service answered and the jobs were read into the job list.
        bool answered = false;
        // The answer was a job index throughout. A user's check has shown
        // the reading's message when it was not; a poll's has not.
        bool read = false;
        // Without an answer: why, for the user (empty when nothing was sent).
        QString failure;
        // With an answer that was no job index: its status and the start of
        // its text, one line for the user, password hidden ("The service
        // answered HTTP 401: ...").
        QString answer;
    };

    WorkSession(DownloadTools &tools, TransferHost &host, QTimer &pollTimer, qint32 &minutesElapsed,
                QObject *parent = nullptr);
    ~WorkSession() override;

    Work work() const { return m_work; }
    bool busy() const { return m_work != Work::None; }
    bool polling() const { return m_polling; }

    // The check for jobs. False, and nothing done, while work runs.
    bool check();
    // A check that reads a saved job index instead of the service's answer:
    // the jobs of `body` into the job list. True when it was a job index
    // throughout; false also while work runs, when nothing is read.
    bool readIndex(QByteArray body);
    // The transfer of the listed jobs. False, and nothing done, while work runs.
    bool transfer(bool showMessageBoxes);
    // A check and, whatever it gave, a transfer without message boxes.
    // False while work runs.
    bool poll();

    // One minute of the poll timer: the countdown, or the poll when due.
    void tick();

    // Ends the running work: a check is cancelled, a transfer stopped (see
    // DownloadTools::StopDownload), and a poll goes no further.
    void stop(bool quiet);
    // Ends the running work once the job in transfer has ended; a check is
    // cancelled, and a poll goes no further.
    void finishAfterCurrentJob();

    // The program is ending: the running work stops quietly, and the
    // application stays up while the received jobs are confirmed, `grace` at
    // most; then the running request is cancelled.
    void shutDown(std::chrono::milliseconds grace = std::chrono::seconds(5));

Q_SIGNALS:
    void workStarted(WorkSession::Work work);
    // The check has ended; with an answer, the job list holds its jobs.
    void checkEnded(const WorkSession::CheckResult &result);
    void transferEnded();
    // The minutes until the next poll, as the status text shows them.
    void countdown(const QString &text);
    void pollStarted();
    // A poll has ended: the counter is 0 and the timer's minute starts afresh.
    void pollEnded();

private:
    void begin(Work work);
    void end();
    void endPoll();

    DownloadTools &m_tools;
    TransferHost &m_host;
    QTimer &m_pollTimer;
    qint32 &m_minutesElapsed;
    Work m_work = Work::None;
    bool m_polling = false;
    bool m_pollPending = false;
    // The running poll was stopped: it ends without its next step.
    bool m_pollStopped = false;
    std::shared_ptr<const Profile> m_profile;
    // Held from shutDown() until the work has ended.
    std::unique_ptr<QEventLoopLocker> m_closing;
};
