#include "service/DownloadTools.h"

#include "platform/Conversions.h"
#include "platform/MessageSink.h"
#include "profiles/Profile.h"
#include "service/FileNames.h"
#include "service/JobListModel.h"
#include "service/JobReception.h"
#include "service/ServiceUrls.h"
#include "service/TransferHost.h"

#include <QDir>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QThread>
#include <QXmlStreamReader>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <array>

QString gStrCurrentDownloadPath;

namespace {

struct ReceivedFile
{
    QString jobId;
    QString path;
    qint64 size = 0;
};

// Puts the received files on the disk, one sync per volume, then checks that
// each is still there with its size; returns the job ids and why for those
// that are not.
QList<QPair<QString, QString>> flushAndCheck(const QList<ReceivedFile> &files)
{
#ifdef Q_OS_LINUX
    QList<dev_t> synced;
    for (const ReceivedFile &file : files) {
        const QByteArray folder = QFile::encodeName(QFileInfo(file.path).absolutePath());
        const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info;
        if (::fstat(fd, &info) == 0 && !synced.contains(info.st_dev)) {
            synced << info.st_dev;
            ::syncfs(fd);
        }
        ::close(fd);
    }
#endif
    QList<QPair<QString, QString>> missing;
    for (const ReceivedFile &file : files) {
        const QFileInfo info(file.path);
        if (!info.isFile())
            missing.append({file.jobId, QObject::tr("The received file %1 is no longer there.")
                                            .arg(QDir::toNativeSeparators(file.path))});
        else if (info.size() != file.size)
            missing.append({file.jobId, QObject::tr("The received file %1 now holds %2 bytes "
                                                    "instead of %3.")
                                            .arg(QDir::toNativeSeparators(file.path))
                                            .arg(info.size())
                                            .arg(file.size)});
    }
    return missing;
}

} // namespace

// The state of a running transfer.
struct DownloadTools::Transfer
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
    // The received file's ETag or Last-Modified: an attempt that fails after
    // bytes were written asks for the rest only while the file is unchanged.
    QByteArray validator;
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
    QList<ReceivedFile> received;
    QSet<QString> tidiedFolders; // leftovers of killed runs removed
};

DownloadTools::DownloadTools(MessageSink &messages, QObject *parent)
    : QObject(parent), m_messages(messages)
{
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] { nextJob(); });
}

DownloadTools::~DownloadTools()
{
    if (m_transfer) {
        QObject::disconnect(m_transfer->states);
        // The reception's temporary file goes with it.
        m_transfer.reset();
    }
}

Profile &DownloadTools::gProfile()
{
    if (!m_profile)
        m_profile = std::make_unique<Profile>(m_messages);
    return *m_profile;
}

void DownloadTools::reportInvalidIndex()
{
    m_messages.post(
        QStringLiteral("Page contained invalid XML data, please check your profile settings!"),
        QStringLiteral("Error"), MessageIcon::Critical);
}

void DownloadTools::RetrieveJobListing(TransferHost &objForm, ListingDone done)
{
    Inet &inet = objForm.inet();
    if (inet.StillExecuting()) {
        if (done)
            done(RequestOutcome::Skipped, QString());
        return;
    }
    objForm.setProgressValue(0);
    objForm.setStatusText(QStringLiteral("Retrieving Job Index"));

    const QString url = ServiceUrls::indexUrlText(gProfile());
    QPointer<DownloadTools> self(this);
    inet.OpenURL(
        ServiceUrls::toUrl(url),
        [self, &objForm, url, done](const Inet::Result &result, const QByteArray &body) {
            if (!self)
                return;
            // Any answer is the index text, an error page included: the reading
            // tells the user that it is no job index.
            if (result.ok() || result.failure == Inet::Failure::HttpStatus) {
                self->xmlIndex = indexTextFromBytes(body);
                objForm.setStatusText(QStringLiteral("Finished Retrieving Job Index"));
                if (done)
                    done(RequestOutcome::Finished, QString());
                return;
            }
            if (done)
                done(RequestOutcome::Failed,
                     tr("The job index could not be retrieved from %1\n%2")
                         .arg(ServiceUrls::withoutPassword(url), Inet::failureText(result)));
        },
        MaxIndexSize);
}

void DownloadTools::UpdateJobStatuses(TransferHost &objForm, std::function<void(bool)> done,
                                      std::shared_ptr<const Profile> profile)
{
    // One request after the other; the pass state lives with the callbacks.
    struct Pass
    {
        QPointer<DownloadTools> tools;
        std::shared_ptr<const Profile> profile;
        TransferHost *host;
        std::function<void(bool)> done;
        qsizetype position = 0;
        bool error = false;
        std::function<void(const std::shared_ptr<Pass> &)> next;
    };
    auto pass = std::make_shared<Pass>();
    pass->tools = this;
    pass->profile = profile ? std::move(profile) : std::make_shared<const Profile>(gProfile());
    pass->host = &objForm;
    pass->done = std::move(done);
    pass->next = [](const std::shared_ptr<Pass> &state) {
        DownloadTools *tools = state->tools;
        if (!tools)
            return;
        // The count is read again before every job.
        while (++state->position <= tools->gColDownloads.Count()) {
            Job *job = tools->gColDownloads.Item(state->position);
            if (!job->gBlnDownloadCompleted) {
                // Not received: the service must keep offering it.
                state->error = true;
                continue;
            }
            const QString key = job->gLngID;
            const QUrl url = ServiceUrls::toUrl(ServiceUrls::statusUrlText(*state->profile, key));
            const bool started = state->host->inet().OpenURL(
                url, [state, key](const Inet::Result &result, const QByteArray &body) {
                    DownloadTools *owner = state->tools;
                    if (!owner)
                        return;
                    if (!result.ok() && result.failure != Inet::Failure::HttpStatus) {
                        // A request that fails ends the pass.
                        auto finish = std::move(state->done);
                        if (finish)
                            finish(false);
                        return;
                    }
                    Job *confirmed = owner->gColDownloads.Item(key);
                    if (confirmed && QString::fromUtf8(body).contains(QLatin1String("Sucessful"),
                                                                      Qt::CaseInsensitive))
                        confirmed->gBlnStatusUpdated = true;
                    else
                        state->error = true;
                    state->next(state);
                });
            if (!started) {
                auto finish = std::move(state->done);
                if (finish)
                    finish(false);
            }
            return;
        }
        auto finish = std::move(state->done);
        if (finish)
            finish(!state->error);
    };
    pass->next(pass);
}

void DownloadTools::DownloadJobs(TransferHost &objForm, bool ShowMessageBoxes)
{
    if (m_transfer)
        return;
    m_transfer = std::make_unique<Transfer>();
    m_transfer->host = &objForm;
    m_transfer->showMessageBoxes = ShowMessageBoxes;
    m_transfer->profile = std::make_shared<const Profile>(gProfile());
    gTransferFailures.clear();
    nextJob();
}

void DownloadTools::StopDownload(TransferHost &objForm, bool quiet)
{
    if (m_transfer && quiet)
        m_transfer->showMessageBoxes = false;
    if (m_transfer && !m_transfer->stopping) {
        m_transfer->stopping = true;
        if (m_retryTimer.isActive()) {
            m_retryTimer.stop();
            endTransfer();
            return;
        }
    }
    // The request's end brings the transfer to its end.
    objForm.inet().Cancel();
}

void DownloadTools::FinishAfterCurrentJob()
{
    if (!m_transfer || m_transfer->stopping || m_transfer->finishing)
        return;
    m_transfer->finishing = true;
    if (m_retryTimer.isActive()) {
        // Waiting to try again: that attempt is not made.
        m_retryTimer.stop();
        endTransfer();
    }
}

void DownloadTools::nextJob()
{
    Transfer &transfer = *m_transfer;
    JobListModel &list = transfer.host->jobList();
    if (transfer.ending)
        return;
    if (transfer.stopping || transfer.finishing || list.rowCount() <= transfer.failedRows) {
        endTransfer();
        return;
    }
    if (transfer.host->inet().StillExecuting()) {
        // Another request holds the control; try again shortly.
        QTimer::singleShot(100, this, [this] {
            if (m_transfer)
                nextJob();
        });
        return;
    }
    startJob(transfer.failedRows);
}

void DownloadTools::startJob(int row)
{
    Transfer &transfer = *m_transfer;
    TransferHost &host = *transfer.host;
    JobListModel &list = host.jobList();
    transfer.jobId = list.subItemText(row, JobListModel::SubItemJobId);
    const Job *job = gColDownloads.Item(transfer.jobId);
    transfer.jobLabel = job && !job->gStrName.isEmpty()
                            ? QStringLiteral("%1 (%2)").arg(job->gStrName, transfer.jobId)
                            : transfer.jobId;
    transfer.localFailure.clear();

    gStrCurrentDownloadPath = list.subItemText(row, JobListModel::SubItemDestination);
    const QString source = list.subItemText(row, JobListModel::SubItemSourceUrl);

    // Refused before any request, and not tried again.
    if (!job) {
        failRow(tr("The job is no longer in the job list that was read."), false);
        return;
    }
    const QUrl url(source);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        failRow(tr("Only http and https addresses are fetched, not %1").arg(source), true);
        return;
    }
    const QString folder = FileNames::nativeSeparators(transfer.profile->gStrDownloadFolder);
    const QString destination = gStrCurrentDownloadPath;
    const QString prefix = folder + QDir::separator();
    if (folder.isEmpty() || !destination.startsWith(prefix) ||
        FileNames::leavesFolder(destination.mid(prefix.size()))) {
        failRow(tr("The file name %1 would lead out of the download folder %2.")
                    .arg(destination, folder),
                true);
        return;
    }

    // The bytes of a failed attempt are kept, and the rest asked for, where
    // the answer named a validator to ask with.
    Inet::HeaderList requestHeaders;
    transfer.answerFailure.clear();
    transfer.resumeFrom = 0;
    transfer.shownPercent = -1;
    if (transfer.attempt > 0 && transfer.reception && transfer.reception->bytesWritten() > 0 &&
        !transfer.validator.isEmpty()) {
        transfer.resumeFrom = transfer.reception->bytesWritten();
        requestHeaders = {{"Range", "bytes=" + QByteArray::number(transfer.resumeFrom) + '-'},
                          {"If-Range", transfer.validator}};
    } else {
        // Once for each folder of a transfer: what killed runs left there.
        const QString target = QFileInfo(destination).absolutePath();
        if (!transfer.tidiedFolders.contains(target)) {
            transfer.tidiedFolders.insert(target);
            JobReception::removeLeftovers(target);
        }
        transfer.reception = std::make_unique<JobReception>(destination);
        transfer.contentLength = -1;
        transfer.blockFill = 0;
        transfer.validator.clear();
        host.setProgressValue(0);
    }
    Q_EMIT jobStarted(transfer.jobId, transfer.attempt);
    transfer.states = connect(&host.inet(), &Inet::StateChanged, this, [this](int state) {
        if (m_transfer)
            m_transfer->host->setStatusText(Inet::stateText(state));
    });

    QPointer<DownloadTools> self(this);
    Inet::StreamHandlers handlers;
    handlers.headers = [self](int status, qint64 contentLength) {
        return self && self->m_transfer && self->answerStarts(status, contentLength);
    };
    handlers.data = [self](const QByteArray &data) {
        if (!self || !self->m_transfer || !self->m_transfer->localFailure.isEmpty())
            return false;
        self->receive(data);
        return self->m_transfer->localFailure.isEmpty();
    };
    handlers.done = [self](const Inet::Result &result) {
        if (self && self->m_transfer)
            self->requestEnded(result);
    };
    if (!host.inet().Execute(url, handlers, requestHeaders)) {
        QObject::disconnect(transfer.states);
        transfer.reception.reset();
        QTimer::singleShot(100, this, [this] {
            if (m_transfer)
                nextJob();
        });
    }
}

namespace {

// The first and last byte and the whole length of a Content-Range value
// "bytes first-last/length"; nothing when it does not read so.
std::optional<std::array<qint64, 3>> contentRange(const QString &value)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*bytes\\s+(\\d{1,18})-(\\d{1,18})/(\\d{1,18})\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(value);
    if (!match.hasMatch())
        return std::nullopt;
    return std::array<qint64, 3>{match.captured(1).toLongLong(), match.captured(2).toLongLong(),
                                 match.captured(3).toLongLong()};
}

} // namespace

bool DownloadTools::answerStarts(int status, qint64 contentLength)
{
    Transfer &transfer = *m_transfer;
    Inet &inet = transfer.host->inet();
    if (status == 206) {
        const auto range = contentRange(inet.GetHeader("Content-Range"));
        // Only the rest of the file asked for: from the first missing byte to its end.
        if (transfer.resumeFrom == 0 || !range || (*range)[0] != transfer.resumeFrom ||
            (*range)[1] + 1 != (*range)[2] ||
            (contentLength >= 0 && contentLength != (*range)[2] - transfer.resumeFrom)) {
            transfer.answerFailure =
                tr("The service sent a part of the file that was not asked for (%1).")
                    .arg(inet.GetHeader("Content-Range").left(100));
            return false;
        }
        if (!transfer.reception->resume(contentLength)) {
            transfer.localFailure = transfer.reception->errorText();
            return false;
        }
        transfer.contentLength = (*range)[2];
    } else {
        // The whole file, also where the rest was asked for: it starts over.
        if (transfer.resumeFrom > 0) {
            transfer.blockFill = 0;
            transfer.host->setProgressValue(0);
        }
        transfer.contentLength = contentLength;
        const QByteArray etag = inet.GetHeader("ETag").toLatin1();
        // A weak ETag cannot ask for a range.
        transfer.validator = !etag.isEmpty() && !etag.startsWith("W/")
                                 ? etag
                                 : inet.GetHeader("Last-Modified").toLatin1();
        if (!transfer.reception->begin(contentLength)) {
            transfer.localFailure = transfer.reception->errorText();
            return false;
        }
    }
    // The share of the bar that one block of 1024 bytes moves, to four
    // decimals; nothing moves when no length was announced.
    transfer.increment =
        transfer.contentLength > 0
            ? std::round(1024.0 / double(transfer.contentLength) * 100.0 * 10000.0) / 10000.0
            : 0.0;
    return true;
}

void DownloadTools::receive(const QByteArray &data)
{
    Transfer &transfer = *m_transfer;
    // Each part of the body (at most 64 KiB) is written at once; the bar and
    // the row move once for every block of 1024 bytes, counted across parts,
    // the last short block included (see requestEnded).
    if (!transfer.reception->write(data.constData(), data.size())) {
        transfer.localFailure = transfer.reception->errorText();
        return;
    }
    const qint64 filled = transfer.blockFill + data.size();
    transfer.blockFill = filled % 1024;
    advanceProgress(filled / 1024);
    Q_EMIT jobProgress(transfer.jobId, transfer.reception->bytesWritten(), transfer.contentLength);
}

void DownloadTools::advanceProgress(qint64 blocks)
{
    Transfer &transfer = *m_transfer;
    TransferHost &host = *transfer.host;
    JobListModel &list = host.jobList();
    for (qint64 n = 0; n < blocks; ++n) {
        const double value = host.progressValue();
        if (value < TransferHost::ProgressMax)
            host.setProgressValue(std::min(value + transfer.increment, TransferHost::ProgressMax));
        else if (transfer.shownPercent == 100)
            return;
        // The text is made only when it changes: a large file has a million blocks.
        const int percent =
            int(std::nearbyint(host.progressValue() / TransferHost::ProgressMax * 100.0));
        if (percent != transfer.shownPercent && list.rowCount() > transfer.failedRows) {
            transfer.shownPercent = percent;
            list.setSubItemText(transfer.failedRows, JobListModel::SubItemProgress,
                                QString::number(percent) + QLatin1Char('%'));
        }
    }
}

void DownloadTools::requestEnded(const Inet::Result &result)
{
    Transfer &transfer = *m_transfer;
    TransferHost &host = *transfer.host;
    QObject::disconnect(transfer.states);

    if (transfer.stopping) {
        transfer.reception.reset();
        endTransfer();
        return;
    }
    if (!transfer.localFailure.isEmpty()) {
        transfer.reception.reset();
        failRow(transfer.localFailure, true);
        return;
    }
    QString failure =
        transfer.answerFailure.isEmpty() ? Inet::failureText(result) : transfer.answerFailure;
    JobReception &received = *transfer.reception;
    if (result.ok() && transfer.contentLength >= 0 &&
        received.bytesWritten() != transfer.contentLength) {
        failure = tr("The file ended after %1 of %2 bytes.")
                      .arg(received.bytesWritten())
                      .arg(transfer.contentLength);
    } else if (result.ok()) {
        std::unique_ptr<JobReception> reception = std::move(transfer.reception);
        if (transfer.blockFill > 0) {
            transfer.blockFill = 0;
            advanceProgress(1);
        }
        const bool begun = reception->started() || reception->begin(0);
        const qint64 size = reception->bytesWritten();
        const std::optional<QString> written = begun ? reception->finish() : std::nullopt;
        if (!written) {
            failRow(reception->errorText(), true);
            return;
        }
        JobListModel &list = host.jobList();
        const int row = transfer.failedRows;
        list.setSubItemText(row, JobListModel::SubItemDestination, *written);
        if (Job *job = gColDownloads.Item(transfer.jobId)) {
            job->gBlnDownloadCompleted = true;
            job->gStrDestinationPath = *written;
        }
        transfer.received.append({transfer.jobId, *written, size});
        Q_EMIT jobEnded(transfer.jobId, true, *written);
        host.setStatusText(Inet::stateText(Inet::Completed));
        list.removeRow(row);
        transfer.attempt = 0;
        scheduleNextJob();
        return;
    }
    // A connection fault keeps what arrived for the next attempt to go on
    // from; an answer that was refused or not wanted starts over.
    const bool resumable =
        transfer.answerFailure.isEmpty() &&
        (result.failure == Inet::Failure::Network || result.failure == Inet::Failure::ShortBody ||
         result.failure == Inet::Failure::TimedOut);
    if (!resumable || transfer.finishing)
        transfer.reception.reset();
    if (result.failure == Inet::Failure::Cancelled) {
        // Cancelled without Stop (the window closed): end here as well.
        endTransfer();
        return;
    }
    if (transfer.finishing) {
        // The row stays pending, for the next transfer.
        endTransfer();
        return;
    }
    if (transfer.attempt < m_retryDelays.size()) {
        m_retryTimer.start(m_retryDelays.at(transfer.attempt++));
        return;
    }
    transfer.reception.reset();
    failRow(failure, false);
}

void DownloadTools::failRow(const QString &reason, bool tellUser)
{
    Transfer &transfer = *m_transfer;
    TransferHost &host = *transfer.host;
    host.jobList().setSubItemText(transfer.failedRows, JobListModel::SubItemProgress,
                                  QStringLiteral("Failed"));
    const QString text = tr("Job %1 failed: %2").arg(transfer.jobLabel, reason);
    host.setStatusText(text);
    gTransferFailures.insert(transfer.jobId, reason);
    Q_EMIT jobEnded(transfer.jobId, false, reason);
    ++transfer.failedRows;
    transfer.attempt = 0;
    if (tellUser && transfer.showMessageBoxes)
        m_messages.post(text, QString(), MessageIcon::Exclamation);
    scheduleNextJob();
}

void DownloadTools::scheduleNextJob()
{
    // Through the event loop: the window keeps up, and a long run of
    // failing rows does not nest calls.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_transfer)
                nextJob();
        },
        Qt::QueuedConnection);
}

void DownloadTools::endTransfer()
{
    Transfer &transfer = *m_transfer;
    if (transfer.ending)
        return;
    transfer.ending = true;
    QObject::disconnect(transfer.states);
    if (transfer.received.isEmpty()) {
        updateStatuses();
        return;
    }
    // The received files go to the disk before the service is told that the
    // jobs were fetched, and each must still be there; on a thread of its
    // own, as that can take seconds.
    auto missing = std::make_shared<QList<QPair<QString, QString>>>();
    QThread *flush =
        QThread::create([files = transfer.received, missing] { *missing = flushAndCheck(files); });
    connect(flush, &QThread::finished, flush, &QObject::deleteLater);
    connect(flush, &QThread::finished, this, [this, missing] {
        if (!m_transfer)
            return;
        for (const auto &[jobId, reason] : *missing)
            unreceive(jobId, reason);
        updateStatuses();
    });
    flush->start();
}

void DownloadTools::unreceive(const QString &jobId, const QString &reason)
{
    Transfer &transfer = *m_transfer;
    Job *job = gColDownloads.Item(jobId);
    if (!job)
        return;
    // Not confirmed: the service offers it again. Its row comes back, failed.
    job->gBlnDownloadCompleted = false;
    JobListModel::Row row = JobListModel::rowOf(*job);
    row.subItems[JobListModel::SubItemProgress - 1] = QStringLiteral("Failed");
    transfer.host->jobList().insertRow(transfer.failedRows++, std::move(row));
    const QString label =
        job->gStrName.isEmpty() ? jobId : QStringLiteral("%1 (%2)").arg(job->gStrName, jobId);
    transfer.host->setStatusText(tr("Job %1 failed: %2").arg(label, reason));
    gTransferFailures.insert(jobId, reason);
    Q_EMIT jobEnded(jobId, false, reason);
}

void DownloadTools::updateStatuses()
{
    Transfer &transfer = *m_transfer;
    QPointer<DownloadTools> self(this);
    UpdateJobStatuses(
        *transfer.host,
        [self](bool allConfirmed) {
            if (!self || !self->m_transfer)
                return;
            const bool show = self->m_transfer->showMessageBoxes;
            self->m_transfer.reset();
            if (show)
                self->reportStatusUpdate(allConfirmed);
            if (self)
                Q_EMIT self->DownloadJobsFinished();
        },
        transfer.profile);
}

void DownloadTools::reportStatusUpdate(bool allConfirmed)
{
    if (allConfirmed)
        m_messages.post(QStringLiteral("All jobs have been updated on server!"), QString(),
                        MessageIcon::None);
    else
        m_messages.post(QStringLiteral("Error Updating the status of some or all jobs!"), QString(),
                        MessageIcon::Critical);
}

QStringDecoder DownloadTools::indexDecoder(const QByteArray &head)
{
    // A byte order mark decides; otherwise the XML declaration's encoding.
    if (const std::optional<QStringConverter::Encoding> encoding =
            QStringConverter::encodingForData(head))
        return QStringDecoder(*encoding);
    // Only the XML declaration is read, never the whole body.
    const qsizetype end = head.startsWith("<?xml") ? head.indexOf("?>") : -1;
    QXmlStreamReader declaration(end < 0 ? QByteArray() : head.left(end + 2));
    if (declaration.readNext() == QXmlStreamReader::StartDocument) {
        const QByteArray name = declaration.documentEncoding().toLatin1();
        if (!name.isEmpty()) {
            QStringDecoder decoder(name.constData());
            if (decoder.isValid())
                return decoder;
        }
    }
    return QStringDecoder(QStringConverter::Utf8);
}

QString DownloadTools::indexTextFromBytes(const QByteArray &body)
{
    if (body.size() > MaxIndexSize)
        return QString();
    QStringDecoder decoder = indexDecoder(body.left(1024));
    return decoder.decode(body);
}

std::optional<QString> DownloadTools::GetFileExtension(QString url)
{
    const qsizetype dot = url.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return std::nullopt;
    return url.mid(dot);
}

struct DownloadTools::FileNameRule
{
    enum Kind
    {
        JobName,
        Reference,
        Demographic1,
        Demographic2,
        Demographic3,
        FirstLast,
        LastFirst,
        OpenDate,
        Literal
    };
    Kind kind;
    // The date pattern, or the literal text as stored.
    QString text;
};

std::vector<DownloadTools::FileNameRule> DownloadTools::compileRules(const QStringList &rules)
{
    static const QString firstLast = QStringLiteral("Dictator Name (First,Last)").toUpper();
    static const QString lastFirst = QStringLiteral("Dictator Name (Last,First)").toUpper();

    std::vector<FileNameRule> compiled;
    compiled.reserve(size_t(rules.size()));
    for (const QString &rule : rules) {
        // Recognised after upper-casing, without trimming.
        const QString upper = rule.toUpper();
        if (upper == QLatin1String("JOB NAME") || upper == QLatin1String("OBJECT ID")) {
            compiled.push_back({FileNameRule::JobName, {}});
        } else if (upper == QLatin1String("REFERENCE")) {
            compiled.push_back({FileNameRule::Reference, {}});
        } else if (upper == QLatin1String("DEMOGRAPHIC 1")) {
            compiled.push_back({FileNameRule::Demographic1, {}});
        } else if (upper == QLatin1String("DEMOGRAPHIC 2")) {
            compiled.push_back({FileNameRule::Demographic2, {}});
        } else if (upper == QLatin1String("DEMOGRAPHIC 3")) {
            compiled.push_back({FileNameRule::Demographic3, {}});
        } else if (upper == firstLast) {
            compiled.push_back({FileNameRule::FirstLast, {}});
        } else if (upper == lastFirst) {
            compiled.push_back({FileNameRule::LastFirst, {}});
        } else if (upper.contains(QLatin1String("OPEN DATE/TIME"))) {
            QString pattern = upper;
            pattern.remove(QStringLiteral("OPEN DATE/TIME (")).remove(QLatin1Char(')'));
            compiled.push_back({FileNameRule::OpenDate, pattern});
        } else {
            compiled.push_back({FileNameRule::Literal, rule});
        }
    }
    return compiled;
}

std::optional<QString> DownloadTools::composeFileName(const std::vector<FileNameRule> &rules,
                                                      const Job &job)
{
    // Field values are made safe on their own ("report." -> "report._",
    // "CON" -> "CON_"); rule texts and the date are taken as they are, and
    // the whole name's components are checked once more at the end.
    const auto field = [](const QString &value) {
        return FileNames::fixPathComponents(FileNames::cleanFieldValue(value));
    };
    QString name;
    for (const FileNameRule &rule : rules) {
        switch (rule.kind) {
        case FileNameRule::JobName:
            name += field(job.gStrName);
            break;
        case FileNameRule::Reference:
            name += field(job.gStrReference);
            break;
        case FileNameRule::Demographic1:
            name += field(job.gStrDemographic1);
            break;
        case FileNameRule::Demographic2:
            name += field(job.gStrDemographic2);
            break;
        case FileNameRule::Demographic3:
            name += field(job.gStrDemographic3);
            break;
        case FileNameRule::FirstLast:
            name += field(job.gStrDictatorFirstName) + QLatin1Char(',') +
                    field(job.gStrDictatorLastName);
            break;
        case FileNameRule::LastFirst:
            name += field(job.gStrDictatorLastName) + QLatin1Char(',') +
                    field(job.gStrDictatorFirstName);
            break;
        case FileNameRule::OpenDate:
            name += Conversions::formatDatePattern(job.gDateOpen, rule.text);
            break;
        case FileNameRule::Literal:
            name += rule.text;
            break;
        }
    }
    const std::optional<QString> extension = GetFileExtension(job.gStrSourceURL);
    if (!extension)
        return std::nullopt;
    name += FileNames::cleanFieldValue(*extension);
    return FileNames::fixPathComponents(name);
}

std::optional<QString> DownloadTools::BuildFileName(const Profile &profile, const Job &job) const
{
    return composeFileName(compileRules(profile.colDownloadRules), job);
}

std::optional<Job> DownloadTools::readJob(const QXmlStreamAttributes &attributes,
                                          const std::vector<FileNameRule> &rules)
{
    // The thirteen attributes, all required, named exactly so.
    enum Attribute
    {
        JobId,
        JobName,
        OpenTime,
        DepartmentName,
        Dictator,
        Reference,
        Demographic1,
        Demographic2,
        Demographic3,
        Path,
        Priority,
        DictatorFirstName,
        DictatorLastName,
        AttributeCount
    };
    static const std::array<QLatin1String, AttributeCount> names = {
        QLatin1String("job_id"),
        QLatin1String("job_name"),
        QLatin1String("open_time"),
        QLatin1String("department_name"),
        QLatin1String("dictator"),
        QLatin1String("reference"),
        QLatin1String("demographic_1"),
        QLatin1String("demographic_2"),
        QLatin1String("demographic_3"),
        QLatin1String("path"),
        QLatin1String("priority"),
        QLatin1String("dictator_first_name"),
        QLatin1String("dictator_last_name")};

    // One pass over the element's attributes; each one found fills its slot.
    std::array<QStringView, AttributeCount> values;
    std::array<bool, AttributeCount> present{};
    for (const QXmlStreamAttribute &attribute : attributes) {
        const QStringView name = attribute.qualifiedName();
        for (int i = 0; i < AttributeCount; ++i) {
            if (!present[size_t(i)] && name == names[size_t(i)]) {
                present[size_t(i)] = true;
                values[size_t(i)] = attribute.value();
                break;
            }
        }
    }
    for (const bool found : present) {
        if (!found)
            return std::nullopt;
    }
    const auto text = [&](Attribute attribute) {
        return values[size_t(attribute)].toString();
    };

    // Converted in the order of the table above.
    Job job;
    const std::optional<qint32> id = Conversions::toLong(text(JobId));
    if (!id)
        return std::nullopt;
    job.gLngID = QString::number(*id);
    job.gStrName = text(JobName);
    const std::optional<QDateTime> opened = Conversions::toDateTime(text(OpenTime));
    if (!opened)
        return std::nullopt;
    job.gDateOpen = *opened;
    job.gStrDepartment = text(DepartmentName);
    job.gStrDicatorFullName = text(Dictator);
    job.gStrReference = text(Reference);
    job.gStrDemographic1 = text(Demographic1);
    job.gStrDemographic2 = text(Demographic2);
    job.gStrDemographic3 = text(Demographic3);
    job.gStrSourceURL = text(Path);
    const std::optional<quint8> priority = Conversions::toByte(text(Priority));
    if (!priority)
        return std::nullopt;
    job.gBytePriority = *priority;
    job.gStrDictatorFirstName = text(DictatorFirstName);
    job.gStrDictatorLastName = text(DictatorLastName);

    const std::optional<QString> fileName = composeFileName(rules, job);
    if (!fileName)
        return std::nullopt;
    job.gStrDestinationPath = gProfile().gStrDownloadFolder + QLatin1Char('\\') + *fileName;
    return job;
}

namespace {

// Hands the index text to the reader in slices, so that the reader never
// holds a second copy of the whole text. Elements nested deeper than MaxDepth
// are an error: the reader's tag stack would otherwise grow with the text.
class SlicedXmlReader
{
public:
    explicit SlicedXmlReader(QStringView text) : m_rest(text) {}

    QXmlStreamReader &reader() { return m_xml; }

    QXmlStreamReader::TokenType next()
    {
        for (bool fed = false;; fed = true) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token != QXmlStreamReader::Invalid ||
                m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError ||
                m_rest.isEmpty()) {
                m_slice = FirstSlice;
                return counted(token);
            }
            // An unfinished comment, CDATA section, processing instruction or DTD
            // is scanned again from its start after each slice: doubling the
            // slice while no token completes keeps the rescans linear in the text.
            if (fed)
                m_slice *= 2;
            feed();
        }
    }

    // Reads past the end of the element just started.
    void skipElement()
    {
        for (const int depth = m_depth; m_depth >= depth;) {
            const QXmlStreamReader::TokenType token = next();
            if (token == QXmlStreamReader::Invalid || token == QXmlStreamReader::EndDocument)
                return;
        }
    }

private:
    static constexpr int MaxDepth = 256;
    static constexpr qsizetype FirstSlice = 256 * 1024;

    QXmlStreamReader::TokenType counted(QXmlStreamReader::TokenType token)
    {
        if (token == QXmlStreamReader::EndElement) {
            --m_depth;
        } else if (token == QXmlStreamReader::StartElement && ++m_depth > MaxDepth) {
            m_xml.raiseError(QStringLiteral("Elements nested too deeply."));
            return QXmlStreamReader::Invalid;
        }
        return token;
    }

    void feed()
    {
        qsizetype length = std::min(m_slice, m_rest.size());
        // A surrogate pair stays in one slice.
        if (length < m_rest.size() && m_rest.at(length - 1).isHighSurrogate())
            ++length;
        // The reader copies what it is given; the slice itself is not copied.
        m_xml.addData(QString::fromRawData(m_rest.data(), length));
        m_rest = m_rest.mid(length);
    }

    QXmlStreamReader m_xml;
    QStringView m_rest;
    qsizetype m_slice = FirstSlice;
    int m_depth = 0;
};

} // namespace

bool DownloadTools::PopluateJobCollecionFromIndexFile()
{
    gColDownloads = JobCollection();
    if (xmlIndex.size() > MaxIndexSize) {
        reportInvalidIndex();
        return false;
    }

    // The whole document must be well-formed before any job counts, so the
    // jobs are gathered aside and take the collection's place at the end.
    JobCollection read;
    const std::vector<FileNameRule> rules = compileRules(gProfile().colDownloadRules);
    SlicedXmlReader input(xmlIndex);
    QXmlStreamReader &xml = input.reader();
    bool foundJobs = false;
    bool jobFailed = false;
    bool refused = false;

    for (;;) {
        const QXmlStreamReader::TokenType token = input.next();
        if (token == QXmlStreamReader::Invalid || token == QXmlStreamReader::EndDocument)
            break;
        if (token == QXmlStreamReader::DTD) {
            // Entities are never expanded: a document that declares any is refused.
            if (!xml.entityDeclarations().isEmpty()) {
                refused = true;
                break;
            }
            continue;
        }
        if (token != QXmlStreamReader::StartElement || foundJobs ||
            xml.qualifiedName() != QLatin1String("jobs"))
            continue;

        foundJobs = true;
        // The children of the first jobs element, in document order.
        for (;;) {
            const QXmlStreamReader::TokenType child = input.next();
            if (child == QXmlStreamReader::EndElement || child == QXmlStreamReader::Invalid ||
                child == QXmlStreamReader::EndDocument)
                break;
            if (child == QXmlStreamReader::StartElement) {
                if (!jobFailed && xml.name() != QLatin1String("user_id")) {
                    std::optional<Job> job = readJob(xml.attributes(), rules);
                    if (!job || !read.Add(std::move(*job), QString(job->gLngID)))
                        jobFailed = true;
                }
                input.skipElement();
                continue;
            }
            if (child == QXmlStreamReader::Characters && xml.isWhitespace() && !xml.isCDATA())
                continue;
            // A comment, a processing instruction or text: a job without attributes.
            jobFailed = true;
        }
    }

    if (refused || xml.hasError() || !foundJobs) {
        reportInvalidIndex();
        return false;
    }
    gColDownloads = std::move(read);
    if (jobFailed) {
        reportInvalidIndex();
        return false;
    }
    return true;
}
