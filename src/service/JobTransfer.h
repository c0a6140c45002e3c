#pragma once

#include "platform/Inet.h"
#include "service/DiskFlush.h"
#include "service/FileValidator.h"
#include "service/TransferReport.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>

class DownloadFolder;
class JobCollection;
class JobReception;
class MessageSink;
class Profile;
class TransferHost;

// The destination of the job whose request the transfer started last; the
// only process-wide text of the program.
extern QString gStrCurrentDownloadPath;

// The transfer of the job list's pending rows: each job's file is received
// into a temporary file beside its destination and put in place when
// complete; the row is then removed and the job marked received. A failed
// attempt is tried again after each of the retry delays (resuming where the
// answer allows); then the row reads "Failed", the reason goes to the
// failures, and the next row follows. At the end the received files are
// flushed to the disk and checked, the received jobs get their status update
// and, with message boxes, its report; finished() follows.
class JobTransfer : public QObject
{
    Q_OBJECT

public:
    // `jobs`: the jobs read from the index, marked as they are received.
    // `failures`: why jobs failed, by job id, cleared when a transfer starts.
    JobTransfer(JobCollection &jobs, QHash<QString, QString> &failures, MessageSink &messages,
                QObject *parent = nullptr);
    ~JobTransfer() override;

    // Starts a transfer that takes its download folder and service from
    // `profile`, whatever profile is loaded meanwhile. Does nothing while a
    // transfer runs.
    void start(TransferHost &host, bool showMessageBoxes, std::shared_ptr<const Profile> profile);
    bool running() const { return m_transfer != nullptr; }

    // Cancels the running request. A running transfer ends: the rows not
    // received stay, the received jobs still get their status update
    // (without its report when `quiet`).
    void stop(TransferHost &host, bool quiet);

    // Ends the running transfer once the job in transfer has ended: a failed
    // attempt is not tried again, and no further job starts.
    void finishAfterCurrentJob();

    // The pauses before the retries of a failed attempt (2, 4 and 8 s).
    void setRetryDelays(QList<std::chrono::milliseconds> delays) { m_retryDelays = delays; }
    // Whether its receptions may use unnamed temporary files (JobReception).
    void setUnnamedFiles(bool allowed) { m_unnamedFiles = allowed; }

Q_SIGNALS:
    // A job's request starts (attempt 0, then 1, 2, 3 for the retries).
    void jobStarted(const QString &jobId, int attempt);
    // The bytes of the job in transfer written so far, of `total` (-1: unknown).
    void jobProgress(const QString &jobId, qint64 written, qint64 total);
    // A job ended: received (`detail` the path written) or failed (the reason).
    void jobEnded(const QString &jobId, bool received, const QString &detail);
    // The transfer and its status update are over.
    void finished();

private:
    struct Transfer;

    void nextJob();
    void scheduleNextJob();
    void startJob(int row);
    // The headers of a job's answer are in: true when its body is wanted.
    bool answerStarts(int status, qint64 contentLength);
    void receive(const QByteArray &data);
    void advanceProgress(qint64 blocks);
    void requestEnded(const Inet::Result &result);
    void failRow(const QString &reason, bool tellUser);
    void endTransfer();
    // A received job whose file is gone before its confirmation: failed.
    void unreceive(const QString &jobId, const QString &reason);
    void updateStatuses();

    JobCollection &m_jobs;
    QHash<QString, QString> &m_failures;
    MessageSink &m_messages;
    std::unique_ptr<Transfer> m_transfer;
    QList<std::chrono::milliseconds> m_retryDelays{std::chrono::seconds(2), std::chrono::seconds(4),
                                                   std::chrono::seconds(8)};
    QTimer m_retryTimer;
    bool m_unnamedFiles = true;
};

// The state of a running transfer.
struct JobTransfer::Transfer
{
    TransferHost *host = nullptr;
    bool showMessageBoxes = false;
    // Rows that failed stay at the top of the list, in order; the job in
    // transfer is the first row after them.
    int failedRows = 0;
    int attempt = 0;
    bool stopping = false;
    bool finishing = false; // no job after the one in transfer
    bool ending = false;    // the files are flushed, the statuses updated
    QString jobId;
    QString jobLabel;
    double increment = 0;
    qint64 contentLength = -1; // the whole file's length, -1 when unknown
    qint64 blockFill = 0;      // bytes of the current 1024-byte block
    int shownPercent = -1;     // the row's progress text, as last set
    // The first answer's ETag and Last-Modified: an attempt that fails after
    // bytes were written asks for the rest only while the file is unchanged.
    FileValidator validator;
    qint64 resumeFrom = 0; // the offset the running request asked for
    // A fault of our own side (folder, disk); the request is ended for it.
    QString localFailure;
    // An answer that does not fit the request: the attempt fails.
    QString answerFailure;
    std::unique_ptr<JobReception> reception;
    QMetaObject::Connection states;
    // The profile as it was when the transfer began: its download folder
    // and its service take the jobs and their confirmations, whatever
    // profile is loaded meanwhile.
    std::shared_ptr<const Profile> profile;
    QList<DiskFlush::ReceivedFile> received;
    // The download folder, opened once; the write-back of large bodies.
    std::shared_ptr<DownloadFolder> folder;
    std::shared_ptr<DiskFlush::WriteBack> writeBack;
    int listed = 0; // rows when the transfer began
    TransferReport report;
};
