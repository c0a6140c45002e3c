#pragma once

#include "service/JobCollection.h"
#include "service/JobIndexReader.h"
#include "service/JobTransfer.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class MessageSink;
class Profile;
class JobListFollower;
class TransferHost;

// The job service client: the job index text, the current profile and the
// jobs read from the index, over the pieces that do the work (JobIndexReader,
// JobTransfer, StatusUpdate). It owns the jobs' records and marks them from
// each transfer's summary.
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

    // The transfer of the jobs not yet received (see JobTransfer), on `objForm`,
    // whose job list follows it (see JobListFollower). When it ends, the
    // records and gTransferFailures are marked from its summary, then
    // DownloadJobsFinished() follows. The download folder and the service
    // are those of `profile`, by default a copy of the current one.
    void DownloadJobs(TransferHost &objForm, bool ShowMessageBoxes,
                      std::shared_ptr<const Profile> profile = {});
    bool TransferRunning() const { return m_transfer.running(); }

    // See JobTransfer::stop(); `quiet` as when the window closes.
    void StopDownload(TransferHost &objForm, bool quiet = false);

    // See JobTransfer::finishAfterCurrentJob().
    void FinishAfterCurrentJob();

    // The status update of the received jobs of gColDownloads (see
    // StatusUpdate::run), each confirmed one marked; `done` gets false also
    // when a job was not received.
    void UpdateJobStatuses(TransferHost &objForm, std::function<void(bool allConfirmed)> done,
                           std::shared_ptr<const Profile> profile = {});

    // The pauses before the retries of a failed attempt (2, 4 and 8 s).
    void setRetryDelays(QList<std::chrono::milliseconds> delays)
    {
        m_transfer.setRetryDelays(std::move(delays));
    }
    void setUnnamedFiles(bool allowed) { m_transfer.setUnnamedFiles(allowed); }

    // Why jobs of the last transfer failed, by job id.
    QHash<QString, QString> gTransferFailures;
    // The summary of the last transfer.
    const TransferSummary &lastTransfer() const { return m_lastTransfer; }

    // See JobIndexReader::indexTextFromBytes().
    static QString indexTextFromBytes(const QByteArray &body);

Q_SIGNALS:
    void DownloadJobsFinished();

    // The transfer's signals, as JobTransfer describes them.
    void jobStarted(const QString &jobId, int attempt);
    void jobProgress(const QString &jobId, qint64 written, qint64 total);
    void jobEnded(const QString &jobId, bool received, const QString &detail);

private:
    // `profile`, or a copy of the current profile when there is none.
    std::shared_ptr<const Profile> orCurrent(std::shared_ptr<const Profile> profile);

    // Marks the records and the failures from a transfer's summary.
    void apply(const TransferSummary &summary);

    MessageSink &m_messages;
    std::unique_ptr<Profile> m_profile;
    TransferSummary m_lastTransfer;
    std::unique_ptr<JobListFollower> m_follower;
    // Last, so that a running transfer ends before the rest goes.
    JobTransfer m_transfer;
};
