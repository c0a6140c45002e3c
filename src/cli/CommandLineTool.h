#pragma once

#include "platform/RecordingMessageSink.h"

#include <QObject>
#include <QStringList>
#include <QTextStream>

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
    void checkForJobs(bool json);
    void finish(int status);
    void printJobs(bool json);
    void usage(const QString &problem);

    QTextStream &m_out;
    QTextStream &m_err;
    RecordingMessageSink m_messages;
    std::unique_ptr<DownloadTools> m_tools;
    std::unique_ptr<PlainTransferHost> m_host;
};
