#pragma once

#include "service/JobCollection.h"
#include "service/JobIndexReader.h"
#include "service/JobTransfer.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringDecoder>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class MessageSink;
class Profile;
class TransferHost;

// The job service client: the job index text, the current profile and the
// jobs read from the index, over the pieces that do the work (JobIndexReader,
// FileNameRules, JobTransfer, StatusUpdate). gStrCurrentDownloadPath, the
// destination of the job in transfer, comes with JobTransfer.h.
class DownloadTools : public QObject
{
    Q_OBJECT

public:
    // Job index responses above this size are refused as invalid.
    static constexpr qsizetype MaxIndexSize = JobIndexReader::MaxIndexSize;

    explicit DownloadTools(MessageSink &messages, QObject *parent = nullptr);
    ~DownloadTools() override;

    // The text of the last job index response, and its HTTP status.
    QString xmlIndex;
    int xmlIndexStatus = 0;
    // Why the last index request got no answer (None when it got one).
    Inet::Failure listingFailure = Inet::Failure::None;

    // The jobs of the last index reading, keyed by job id.
    JobCollection gColDownloads;

    // The current profile, created empty on first use.
    Profile &gProfile();

    // Replaces gColDownloads with the jobs of xmlIndex. A failure shows
    // "Page contained invalid XML data, please check your profile settings!"
    // once; the jobs read before the failing one stay. Returns false after a
    // failure (callers that only list the jobs may ignore it). The jobs'
    // destinations follow `profile`, by default the current one. Without
    // `report` the failure is only returned, for the caller to tell.
    bool PopluateJobCollecionFromIndexFile(std::shared_ptr<const Profile> profile = {},
                                           bool report = true);
    // "Page contained invalid XML data, please check your profile settings!"
    static QString invalidIndexText();
    // The box of invalidIndexText(), with what came back (`answer`) under it.
    void reportInvalidIndex(const QString &answer = QString());

    enum class RequestOutcome
    {
        Skipped,  // the transfer control was busy: nothing was sent or changed
        Finished, // the service answered; its text is in xmlIndex
        Failed    // no answer; xmlIndex keeps its previous text
    };
    using ListingDone = std::function<void(RequestOutcome outcome, const QString &failure)>;

    // The index request: unless the control is busy, progress 0 and "Retrieving
    // Job Index", the request, its answer into xmlIndex and "Finished
    // Retrieving Job Index". `done` gets the outcome and, for a failure, a
    // text for the user naming the URL without the password. It is called
    // at once when the request is skipped. The request goes to the service of
    // `profile`, by default the current one.
    void RetrieveJobListing(TransferHost &objForm, ListingDone done,
                            std::shared_ptr<const Profile> profile = {});

    // The transfer: the job list's first pending row is the job in
    // transfer; each job's file is received into a temporary file beside its
    // destination and put in place when complete; the row is then removed
    // and the record marked. A failed attempt is tried again after each of
    // the retry delays; then the row reads "Failed" and the next row
    // follows. When no pending row is left, the received jobs get their
    // status update and, with ShowMessageBoxes, its report.
    // DownloadJobsFinished() follows. Does nothing while a transfer runs.
    // The download folder and the service are those of `profile`, by
    // default a copy of the current one.
    void DownloadJobs(TransferHost &objForm, bool ShowMessageBoxes,
                      std::shared_ptr<const Profile> profile = {});
    bool TransferRunning() const { return m_transfer.running(); }

    // Cancels the running request. A running transfer ends: the rows not
    // received stay, the received jobs still get their status update
    // (without its report when `quiet`, as when the window closes).
    void StopDownload(TransferHost &objForm, bool quiet = false);

    // Ends the running transfer once the job in transfer has ended: it is
    // not cancelled, but a failed attempt is not tried again, and no further
    // job starts. The received jobs get their status update as usual.
    void FinishAfterCurrentJob();

    // The status update of every job of gColDownloads, one request after
    // the other: confirmed as StatusUpdate::isConfirmation() says. A job whose file was not
    // received gets no request and makes the result false; an unconfirmed answer makes it false and
    // the next job goes on; a failed request ends the pass with false. `done` gets true when every
    // job was confirmed (also for an empty collection). The requests go to the service of
    // `profile`, by default the current one.
    void UpdateJobStatuses(TransferHost &objForm, std::function<void(bool allConfirmed)> done,
                           std::shared_ptr<const Profile> profile = {});

    // The message that closes a transfer's status update.
    void reportStatusUpdate(bool allConfirmed);

    // The job's file name, without folder, by the profile's download rules;
    // empty when the source URL holds no ".".
    std::optional<QString> BuildFileName(const Profile &profile, const Job &job) const;

    // From the last "." of the whole URL to its end; empty when there is none.
    static std::optional<QString> GetFileExtension(QString url);

    // The pauses before the retries of a failed attempt (2, 4 and 8 s).
    void setRetryDelays(QList<std::chrono::milliseconds> delays)
    {
        m_transfer.setRetryDelays(std::move(delays));
    }
    void setUnnamedFiles(bool allowed) { m_transfer.setUnnamedFiles(allowed); }

    // Why jobs of the last transfer failed, by job id.
    QHash<QString, QString> gTransferFailures;

    // The text of a job index response: decoded by its BOM or XML encoding
    // declaration, UTF-8 when it names none. A body above MaxIndexSize gives an
    // empty text, which the reading refuses.
    static QString indexTextFromBytes(const QByteArray &body);

    // The decoder for a job index that starts with `head` (its first bytes):
    // by BOM or XML encoding declaration, UTF-8 when it names none.
    static QStringDecoder indexDecoder(const QByteArray &head);

Q_SIGNALS:
    void DownloadJobsFinished();

    // A job's request starts (attempt 0, then 1, 2, 3 for the retries).
    void jobStarted(const QString &jobId, int attempt);
    // The bytes of the job in transfer written so far, of `total` (-1: unknown).
    void jobProgress(const QString &jobId, qint64 written, qint64 total);
    // A job ended: received (`detail` the path written) or failed (the reason).
    void jobEnded(const QString &jobId, bool received, const QString &detail);

private:
    // `profile`, or a copy of the current profile when there is none.
    std::shared_ptr<const Profile> orCurrent(std::shared_ptr<const Profile> profile);

    MessageSink &m_messages;
    std::unique_ptr<Profile> m_profile;
    // Last, so that a running transfer ends before the rest goes.
    JobTransfer m_transfer;
};
