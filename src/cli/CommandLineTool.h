#pragma once

#include "cli/Console.h"
#include "platform/RecordingMessageSink.h"
#include "service/WorkSession.h"

#include <QObject>
#include <QStringList>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <optional>

class DownloadTools;
class JobLines;
struct CommandLineOptions;
class PlainTransferHost;
class ProfileLock;

// quillet-transfer: the window's work without a window. Messages go to
// standard error as "Title: text"; results to standard output.
class CommandLineTool : public QObject
{
    Q_OBJECT

public:
    enum ExitStatus
    {
        Success = 0,
        Failure = 1,
        BadArguments = 2,
        // Ended by a signal: 128 + its number (130 for SIGINT, 143 for SIGTERM).
        Signalled = 128
    };

    CommandLineTool(QTextStream &out, QTextStream &err, QObject *parent = nullptr);
    ~CommandLineTool() override;

    // Runs the command of `arguments` (without the program name). The exit
    // status comes through finished(), which may be emitted before start()
    // returns.
    void start(const QStringList &arguments);

Q_SIGNALS:
    void finished(int status);

private:
    bool loadProfile(const QString &profile);
    int listJobs(const CommandLineOptions &options);
    void watchSignals();
    void checkForJobs(bool json, bool transfer);
    void checkEnded(const WorkSession::CheckResult &result);
    void transferEnded();
    void interrupt(int signal);
    void connectJobLines();
    // Jobs listed, received and confirmed by the last transfer.
    struct Summary
    {
        int listed;
        int received;
        int confirmed;
    };
    Summary transferSummary() const;
    QString summaryLine(int listed, int received, int confirmed) const;
    // `now`: the first check at once rather than after a poll interval.
    // `quiet`: only the summaries and failures of each poll.
    void startWatch(bool now, bool quiet);
    void finish(int status);
    // A fetch or watch ends: received jobs left unconfirmed are named, and
    // make the status 1; a signal makes it 128 + its number.
    void endRun(int status);
    void printJobs(bool json, bool afterTransfer = false);
    void usage(const QString &problem);

    QTextStream &m_out;
    QTextStream &m_err;
    Console m_console;
    RecordingMessageSink m_messages;
    // watch: the minute counter and its timer.
    qint32 m_minutesElapsed = 0;
    QTimer m_minuteTimer;
    std::unique_ptr<DownloadTools> m_tools;
    std::unique_ptr<PlainTransferHost> m_host;
    std::unique_ptr<WorkSession> m_session;
    std::unique_ptr<JobLines> m_lines;
    std::unique_ptr<ProfileLock> m_lock; // of the profile that fetch or watch polls
    bool m_json = false;
    bool m_transferAfterCheck = false;
    bool m_indexReadFailed = false;
    int m_signal = 0; // the first SIGINT or SIGTERM
    bool m_jobRunning = false;
    bool m_jobLinesConnected = false;
    bool m_watching = false;
};
