#include "service/DownloadTools.h"

#include "naming/FileNameRules.h"
#include "platform/Inet.h"
#include "platform/MessageSink.h"
#include "platform/Secrets.h"
#include "profiles/Profile.h"
#include "service/JobListModel.h"
#include "service/ServiceUrls.h"
#include "service/StatusUpdate.h"
#include "service/TransferHost.h"

#include <QPointer>

DownloadTools::DownloadTools(MessageSink &messages, QObject *parent)
    : QObject(parent), m_messages(messages), m_transfer(gColDownloads, messages)
{
    connect(&m_transfer, &JobTransfer::jobStarted, this, &DownloadTools::jobStarted);
    connect(&m_transfer, &JobTransfer::jobProgress, this, &DownloadTools::jobProgress);
    connect(&m_transfer, &JobTransfer::jobEnded, this, &DownloadTools::jobEnded);
    connect(&m_transfer, &JobTransfer::finished, this, [this](const TransferSummary &summary) {
        apply(summary);
        Q_EMIT DownloadJobsFinished();
    });
}

// The running transfer, if any, ends with m_transfer: the reception's
// temporary file goes with it.
DownloadTools::~DownloadTools() = default;

void DownloadTools::apply(const TransferSummary &summary)
{
    m_lastTransfer = summary;
    gTransferFailures.clear();
    for (const TransferSummary::Outcome &outcome : summary.jobs) {
        if (!outcome.reason.isEmpty())
            gTransferFailures.insert(outcome.jobId, outcome.reason);
        Job *job = gColDownloads.Item(outcome.jobId);
        if (!job)
            continue;
        job->gBlnDownloadCompleted = outcome.received;
        job->gBlnStatusUpdated = outcome.received && outcome.confirmed;
        if (outcome.received)
            job->gStrDestinationPath = outcome.path;
    }
}

Profile &DownloadTools::gProfile()
{
    if (!m_profile)
        m_profile = std::make_unique<Profile>(m_messages);
    return *m_profile;
}

QString DownloadTools::invalidIndexText()
{
    return QStringLiteral("Page contained invalid XML data, please check your profile settings!");
}

void DownloadTools::reportInvalidIndex(const QString &answer)
{
    Message message{invalidIndexText(), QStringLiteral("Error"), MessageIcon::Critical};
    message.detail = answer;
    m_messages.post(message);
}

std::shared_ptr<const Profile> DownloadTools::orCurrent(std::shared_ptr<const Profile> profile)
{
    if (!profile)
        profile = std::make_shared<const Profile>(gProfile());
    profile->rememberSecrets();
    return profile;
}

void DownloadTools::RetrieveJobListing(TransferHost &objForm, ListingDone done,
                                       std::shared_ptr<const Profile> profile)
{
    Inet &inet = objForm.inet();
    if (inet.StillExecuting()) {
        if (done)
            done(RequestOutcome::Skipped, QString());
        return;
    }
    objForm.setProgressValue(0);
    objForm.setStatusText(QStringLiteral("Retrieving Job Index"));

    const Profile &service = profile ? *profile : gProfile();
    service.rememberSecrets();
    const QString url = ServiceUrls::indexUrlText(service);
    QPointer<DownloadTools> self(this);
    inet.OpenURL(
        ServiceUrls::toUrl(url),
        [self, &objForm, url, done](const Inet::Result &result, const QByteArray &body) {
            if (!self)
                return;
            // Any answer is the index text, an error page included: the reading
            // tells the user that it is no job index.
            self->listingFailure =
                result.failure == Inet::Failure::HttpStatus ? Inet::Failure::None : result.failure;
            if (result.ok() || result.failure == Inet::Failure::HttpStatus) {
                self->xmlIndex = indexTextFromBytes(body);
                self->xmlIndexStatus = result.httpStatus;
                objForm.setStatusText(QStringLiteral("Finished Retrieving Job Index"));
                if (done)
                    done(RequestOutcome::Finished, QString());
                return;
            }
            if (done)
                done(RequestOutcome::Failed,
                     tr("The job index could not be retrieved from %1\n%2")
                         .arg(Secrets::shown(url), Inet::failureText(result)));
        },
        MaxIndexSize);
}

void DownloadTools::UpdateJobStatuses(TransferHost &objForm, std::function<void(bool)> done,
                                      std::shared_ptr<const Profile> profile)
{
    QStringList keys;
    bool complete = true;
    for (qsizetype i = 1; i <= gColDownloads.Count(); ++i) {
        const Job &job = *gColDownloads.Item(i);
        // Not received: the service must keep offering it.
        job.gBlnDownloadCompleted ? void(keys << job.gLngID) : void(complete = false);
    }
    QPointer<DownloadTools> self(this);
    StatusUpdate::run(
        *this, keys, objForm, orCurrent(std::move(profile)),
        [self](const QString &key) {
            if (Job *job = self ? self->gColDownloads.Item(key) : nullptr)
                job->gBlnStatusUpdated = true;
        },
        [complete, done = std::move(done)](bool allConfirmed) {
            if (done)
                done(complete && allConfirmed);
        });
}

void DownloadTools::DownloadJobs(TransferHost &objForm, bool ShowMessageBoxes,
                                 std::shared_ptr<const Profile> profile)
{
    if (m_transfer.running())
        return;
    gTransferFailures.clear();
    m_follower = std::make_unique<JobListFollower>(objForm.jobList(), gColDownloads, m_transfer);
    m_transfer.start(objForm, ShowMessageBoxes, orCurrent(std::move(profile)));
}

void DownloadTools::StopDownload(TransferHost &objForm, bool quiet)
{
    m_transfer.stop(objForm, quiet);
}

void DownloadTools::FinishAfterCurrentJob()
{
    m_transfer.finishAfterCurrentJob();
}

QString DownloadTools::indexTextFromBytes(const QByteArray &body)
{
    return JobIndexReader::indexTextFromBytes(body);
}

bool DownloadTools::PopluateJobCollecionFromIndexFile(std::shared_ptr<const Profile> profile,
                                                      bool report)
{
    gColDownloads = JobCollection();
    JobIndexReader::Reading reading =
        JobIndexReader(profile ? *profile : gProfile()).read(xmlIndex);
    // A job that cannot be read keeps the jobs before it.
    gColDownloads = std::move(reading.jobs);
    if (reading.failed) {
        if (report)
            reportInvalidIndex();
        return false;
    }
    return true;
}
