#pragma once

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
        BadArguments = 2
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
    void interrupt();
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
    void startWatch(bool now);
    void finish(int status);
    void printJobs(bool json, bool afterTransfer = false);
    void usage(const QString &problem);

    QTextStream &m_out;
    QTextStream &m_err;
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
    bool m_interrupted = false;
    bool m_jobLinesConnected = false;
    bool m_watching = false;
};
