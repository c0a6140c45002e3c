#pragma once

#include "platform/Inet.h"
#include "service/DiskFlush.h"
#include "service/FileValidator.h"
#include "service/TransferReport.h"
#include "service/TransferSummary.h"

#include <QList>
#include <QObject>
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

// The transfer of the jobs not yet received: a queue taken from the job
// collection when it starts. Each job's file is received into a temporary
// file beside its destination and put in place when complete. A failed
// attempt is tried again after each of the retry delays (resuming where the
// answer allows); then the job has failed and the next one follows. At the
// end the received files are flushed to the disk and checked, the received
// jobs get their status update and, with message boxes, its report;
// finished() brings the summary. The transfer reads the collection and
// writes nothing into it: whoever owns it marks the records from the summary.
class JobTransfer : public QObject
{
    Q_OBJECT

public:
    // `jobs`: the jobs read from the index; it must outlive the transfer.
    JobTransfer(const JobCollection &jobs, MessageSink &messages, QObject *parent = nullptr);
    ~JobTransfer() override;

    // Starts a transfer that takes its download folder and service from
    // `profile`, whatever profile is loaded meanwhile. Does nothing while a
    // transfer runs.
    void start(TransferHost &host, bool showMessageBoxes, std::shared_ptr<const Profile> profile);
    bool running() const { return m_transfer != nullptr; }

    // Cancels the running request. A running transfer ends: the jobs not
    // received wait for the next one, the received jobs still get their status update
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
    // The share of the job in transfer that the progress bar shows, in
    // percent, each time it changes.
    void jobPercent(const QString &jobId, int percent);
    // A job ended: received (`detail` the path written) or failed (the
    // reason). A received job whose file is gone before its confirmation
    // ends again, failed.
    void jobEnded(const QString &jobId, bool received, const QString &detail);
    // The job in transfer when Stop came; it waits for the next transfer.
    void jobStopped(const QString &jobId);
    // The transfer and its status update are over.
    void finished(const TransferSummary &summary);

private:
    struct Transfer;

    void nextJob();
    void scheduleNextJob();
    void startJob();
    // The headers of a job's answer are in: true when its body is wanted.
    bool answerStarts(int status, qint64 contentLength);
    void receive(const QByteArray &data);
    void advanceProgress(qint64 blocks);
    void requestEnded(const Inet::Result &result);
    void failJob(const QString &reason, bool tellUser);
    void endTransfer();
    // A received job whose file is gone before its confirmation: failed.
    void unreceive(const QString &jobId, const QString &reason);
    void updateStatuses();

    const JobCollection &m_jobs;
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
    struct Pending
    {
        QString jobId;
        QString label; // "name (id)", or the id
        QString source;
        QString destination;
        int attempts = 0; // failed attempts of this job so far
    };

    TransferHost *host = nullptr;
    bool showMessageBoxes = false;
    QList<Pending> queue;
    qsizetype position = 0; // the job in transfer, or the next one
    bool stopping = false;
    bool finishing = false; // no job after the one in transfer
    bool ending = false;    // the files are flushed, the statuses updated
    double increment = 0;
    qint64 contentLength = -1; // the whole file's length, -1 when unknown
    qint64 blockFill = 0;      // bytes of the current 1024-byte block
    int shownPercent = -1;     // the percentage as last shown
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
    TransferReport report;
    TransferSummary summary;
};
