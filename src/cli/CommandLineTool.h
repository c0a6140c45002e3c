#pragma once

#include "platform/RecordingMessageSink.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <optional>

class DownloadTools;
class PlainTransferHost;

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
    struct Options
    {
        QString command;
        QString profile;
        QString indexFile;
        bool json = false;
    };

    std::optional<Options> parse(const QStringList &arguments);
    bool loadProfile(const QString &profile);
    int showProfile();
    int listJobs(const Options &options);
    void checkForJobs(bool json, bool transfer);
    void transferJobs(bool json, bool readFailed);
    void showJobProgress(const QString &jobId, qint64 written, qint64 total);
    void showJobEnd(const QString &jobId, bool received, const QString &detail);
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
    void startWatch();
    void watchTick();
    void watchPoll();
    void watchTransfer();
    void watchPollEnded();
    void finish(int status);
    void printJobs(bool json, bool afterTransfer = false);
    QString jobLabel(const QString &jobId) const;
    void usage(const QString &problem);

    QTextStream &m_out;
    QTextStream &m_err;
    RecordingMessageSink m_messages;
    std::unique_ptr<DownloadTools> m_tools;
    std::unique_ptr<PlainTransferHost> m_host;
    bool m_terminal = false;
    bool m_interrupted = false;
    bool m_jobLinesConnected = false;
    // watch: the minute counter and its timer; polling while a poll runs.
    qint32 m_minutesElapsed = 0;
    QTimer *m_minuteTimer = nullptr;
    bool m_watching = false;
    bool m_polling = false;
    qint64 m_jobStart = 0;
    QElapsedTimer m_clock;
};
