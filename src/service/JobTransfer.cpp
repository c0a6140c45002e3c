#include "service/JobTransfer.h"

#include "naming/FileNames.h"
#include "platform/MessageSink.h"
#include "profiles/Profile.h"
#include "service/JobCollection.h"
#include "service/JobReception.h"
#include "service/StatusUpdate.h"
#include "service/TransferHost.h"

#include <QDir>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <cmath>

JobTransfer::JobTransfer(const JobCollection &jobs, MessageSink &messages, QObject *parent)
    : QObject(parent), m_jobs(jobs), m_messages(messages)
{
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] { nextJob(); });
}

JobTransfer::~JobTransfer()
{
    if (m_transfer) {
        QObject::disconnect(m_transfer->states);
        // The reception's temporary file goes with it.
        m_transfer.reset();
    }
}

void JobTransfer::start(TransferHost &host, bool showMessageBoxes,
                        std::shared_ptr<const Profile> profile)
{
    if (m_transfer)
        return;
    m_transfer = std::make_unique<Transfer>();
    m_transfer->host = &host;
    m_transfer->showMessageBoxes = showMessageBoxes;
    m_transfer->profile = std::move(profile);
    m_transfer->folder = std::make_shared<DownloadFolder>(
        FileNames::nativeSeparators(m_transfer->profile->gStrDownloadFolder));
    m_transfer->writeBack = std::make_shared<DiskFlush::WriteBack>();
    for (qsizetype i = 1; i <= m_jobs.Count(); ++i) {
        const Job &job = *m_jobs.Item(i);
        if (job.gBlnDownloadCompleted)
            continue;
        m_transfer->queue.append(
            {job.gLngID,
             job.gStrName.isEmpty() ? job.gLngID
                                    : QStringLiteral("%1 (%2)").arg(job.gStrName, job.gLngID),
             job.gStrSourceURL, FileNames::nativeSeparators(job.gStrDestinationPath)});
    }
    m_transfer->summary.listed = int(m_transfer->queue.size());
    nextJob();
}

void JobTransfer::stop(TransferHost &host, bool quiet)
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
    host.inet().Cancel();
}

void JobTransfer::finishAfterCurrentJob()
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

void JobTransfer::nextJob()
{
    Transfer &transfer = *m_transfer;
    if (transfer.ending)
        return;
    if (transfer.stopping || transfer.finishing || transfer.position >= transfer.queue.size()) {
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
    startJob();
}

void JobTransfer::startJob()
{
    Transfer &transfer = *m_transfer;
    TransferHost &host = *transfer.host;
    const Transfer::Pending &job = transfer.queue.at(transfer.position);
    transfer.localFailure.clear();
    const QString &source = job.source;

    // Refused before any request, and not tried again.
    const QUrl url(source);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        failJob(tr("Only http and https addresses are fetched, not %1").arg(source), true);
        return;
    }
    const QString folder = FileNames::nativeSeparators(transfer.profile->gStrDownloadFolder);
    const QString &destination = job.destination;
    const QString prefix = folder + QDir::separator();
    if (folder.isEmpty() || !destination.startsWith(prefix) ||
        FileNames::leavesFolder(destination.mid(prefix.size()))) {
        failJob(tr("The file name %1 would lead out of the download folder %2.")
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
    // The rest is asked for only where the whole length is known, so that
    // the two parts can be checked.
    const QByteArray validator = transfer.validator.ifRange();
    if (job.attempts > 0 && transfer.reception && transfer.reception->bytesWritten() > 0 &&
        !validator.isEmpty() && transfer.contentLength > transfer.reception->bytesWritten()) {
        transfer.resumeFrom = transfer.reception->bytesWritten();
        requestHeaders = {{"Range", "bytes=" + QByteArray::number(transfer.resumeFrom) + '-'},
                          {"If-Range", validator}};
    } else {
        transfer.reception =
            std::make_unique<JobReception>(destination, transfer.folder, transfer.writeBack);
        transfer.reception->setUnnamedFiles(m_unnamedFiles);
        transfer.contentLength = -1;
        transfer.blockFill = 0;
        transfer.validator = {};
        host.setProgressValue(0);
    }
    Q_EMIT jobStarted(job.jobId, job.attempts);
    transfer.states = connect(&host.inet(), &Inet::StateChanged, this, [this](Inet::State state) {
        if (m_transfer)
            m_transfer->host->setStatusText(Inet::GetInetStateText(state));
    });

    QPointer<JobTransfer> self(this);
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

bool JobTransfer::answerStarts(int status, qint64 contentLength)
{
    Transfer &transfer = *m_transfer;
    Inet &inet = transfer.host->inet();
    const QByteArray etag = inet.GetHeader("ETag").toLatin1();
    const QByteArray lastModified = inet.GetHeader("Last-Modified").toLatin1();
    if (status == 206) {
        if (!transfer.validator.continuedBy(etag, lastModified, inet.GetHeader("Content-Range"),
                                            transfer.resumeFrom, transfer.contentLength,
                                            contentLength)) {
            transfer.answerFailure =
                tr("The service sent a part of the file that was not asked for (%1).")
                    .arg(inet.GetHeader("Content-Range").left(100));
            return false;
        }
        if (!transfer.reception->resume(contentLength)) {
            transfer.localFailure = transfer.reception->errorText();
            return false;
        }
    } else if (status != 200) {
        // "Accepted", "No Content" and the like: not the file.
        transfer.answerFailure =
            tr("The service answered HTTP %1 instead of the file.").arg(status);
        return false;
    } else {
        // The whole file, also where the rest was asked for: it starts over.
        if (transfer.resumeFrom > 0) {
            transfer.blockFill = 0;
            transfer.host->setProgressValue(0);
        }
        transfer.contentLength = contentLength;
        transfer.validator = {etag, lastModified};
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

void JobTransfer::receive(const QByteArray &data)
{
    Transfer &transfer = *m_transfer;
    // Each part of the body (at most 64 KiB) is written at once; the bar and
    // the percentage move once for every block of 1024 bytes, counted across
    // parts, the last short block included (see requestEnded).
    if (!transfer.reception->write(data.constData(), data.size())) {
        transfer.localFailure = transfer.reception->errorText();
        return;
    }
    const qint64 filled = transfer.blockFill + data.size();
    transfer.blockFill = filled % 1024;
    advanceProgress(filled / 1024);
    Q_EMIT jobProgress(transfer.queue.at(transfer.position).jobId,
                       transfer.reception->bytesWritten(), transfer.contentLength);
}

void JobTransfer::advanceProgress(qint64 blocks)
{
    Transfer &transfer = *m_transfer;
    TransferHost &host = *transfer.host;
    for (qint64 n = 0; n < blocks; ++n) {
        const double value = host.progressValue();
        if (value < TransferHost::ProgressMax)
            host.setProgressValue(std::min(value + transfer.increment, TransferHost::ProgressMax));
        else if (transfer.shownPercent == 100)
            return;
        // The text is made only when it changes: a large file has a million blocks.
        const int percent =
            int(std::nearbyint(host.progressValue() / TransferHost::ProgressMax * 100.0));
        if (percent != transfer.shownPercent) {
            transfer.shownPercent = percent;
            Q_EMIT jobPercent(transfer.queue.at(transfer.position).jobId, percent);
        }
    }
}

void JobTransfer::requestEnded(const Inet::Result &result)
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
        failJob(transfer.localFailure, true);
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
            failJob(reception->errorText(), true);
            return;
        }
        const QString jobId = transfer.queue.at(transfer.position++).jobId;
        transfer.received.append(
            {jobId, *written, size, reception->placed(), reception->writtenBack()});
        transfer.summary.jobs.append({jobId, true, false, false, *written, QString()});
        Q_EMIT jobEnded(jobId, true, *written);
        host.setStatusText(Inet::GetInetStateText(Inet::Completed));
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
        // The job stays pending, for the next transfer.
        endTransfer();
        return;
    }
    int &attempts = transfer.queue[transfer.position].attempts;
    if (attempts < m_retryDelays.size()) {
        m_retryTimer.start(m_retryDelays.at(attempts++));
        return;
    }
    transfer.reception.reset();
    failJob(failure, false);
}

void JobTransfer::failJob(const QString &reason, bool tellUser)
{
    Transfer &transfer = *m_transfer;
    const Transfer::Pending &job = transfer.queue.at(transfer.position++);
    transfer.host->setStatusText(tr("Job %1 failed: %2").arg(job.label, reason));
    transfer.summary.jobs.append({job.jobId, false, false, false, QString(), reason});
    Q_EMIT jobEnded(job.jobId, false, reason);
    // Told once, in the box at the end.
    if (tellUser)
        transfer.report.failed(reason, job.destination);
    scheduleNextJob();
}

void JobTransfer::scheduleNextJob()
{
    // Through the event loop: the window keeps up, and a long run of
    // failing jobs does not nest calls.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_transfer)
                nextJob();
        },
        Qt::QueuedConnection);
}

void JobTransfer::endTransfer()
{
    Transfer &transfer = *m_transfer;
    if (transfer.ending)
        return;
    transfer.ending = true;
    QObject::disconnect(transfer.states);
    if (transfer.stopping) {
        // The stopped job and the status bar say so, the bar is back at 0.
        transfer.summary.stopped = true;
        if (transfer.position < transfer.queue.size())
            Q_EMIT jobStopped(transfer.queue.at(transfer.position).jobId);
        transfer.host->setProgressValue(0);
        transfer.host->setStatusText(tr("Stopped."));
    }
    if (transfer.received.isEmpty()) {
        updateStatuses();
        return;
    }
    // The received files go to the disk before the service is told that the
    // jobs were fetched, and each must still be there; on a thread of its
    // own, as that can take seconds.
    auto missing = std::make_shared<QList<QPair<QString, QString>>>();
    QThread *flush =
        QThread::create([files = transfer.received, writeBack = transfer.writeBack, missing] {
            *missing = DiskFlush::flushAndCheck(files, writeBack.get());
        });
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

void JobTransfer::unreceive(const QString &jobId, const QString &reason)
{
    Transfer &transfer = *m_transfer;
    // Not confirmed: the service offers it again.
    for (TransferSummary::Outcome &outcome : transfer.summary.jobs) {
        if (outcome.jobId == jobId) {
            outcome.received = false;
            outcome.reason = reason;
        }
    }
    for (const Transfer::Pending &job : std::as_const(transfer.queue)) {
        if (job.jobId == jobId) {
            transfer.host->setStatusText(tr("Job %1 failed: %2").arg(job.label, reason));
            transfer.report.failed(reason, job.destination);
        }
    }
    Q_EMIT jobEnded(jobId, false, reason);
}

void JobTransfer::updateStatuses()
{
    Transfer &transfer = *m_transfer;
    TransferSummary &summary = transfer.summary;
    // Every received job of the list is confirmed, in the list's order, those
    // an earlier transfer received included; a job not received leaves the
    // update incomplete.
    QHash<QString, qsizetype> outcomes;
    for (qsizetype i = 0; i < summary.jobs.size(); ++i)
        outcomes.insert(summary.jobs.at(i).jobId, i);
    QStringList keys;
    bool complete = true;
    for (qsizetype i = 1; i <= m_jobs.Count(); ++i) {
        const Job &job = *m_jobs.Item(i);
        const auto found = outcomes.constFind(job.gLngID);
        const bool received =
            found != outcomes.cend() ? summary.jobs.at(*found).received : job.gBlnDownloadCompleted;
        if (!received) {
            complete = false;
            continue;
        }
        if (found == outcomes.cend()) {
            outcomes.insert(job.gLngID, summary.jobs.size());
            summary.jobs.append({job.gLngID, true, false, true, job.gStrDestinationPath, {}});
        }
        keys << job.gLngID;
    }
    QPointer<JobTransfer> self(this);
    StatusUpdate::run(
        *this, keys, *transfer.host, transfer.profile,
        [self, outcomes](const QString &key) {
            if (self && self->m_transfer)
                self->m_transfer->summary.jobs[outcomes.value(key)].confirmed = true;
        },
        [self, complete](bool allConfirmed) {
            if (!self || !self->m_transfer)
                return;
            const std::unique_ptr<Transfer> ended = std::move(self->m_transfer);
            ended->summary.allConfirmed = complete && allConfirmed;
            if (ended->showMessageBoxes)
                ended->report.post(self->m_messages, ended->summary);
            if (self)
                Q_EMIT self->finished(ended->summary);
        });
}
