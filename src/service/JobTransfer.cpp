#include "service/JobTransfer.h"

#include "naming/FileNames.h"
#include "platform/MessageSink.h"
#include "profiles/Profile.h"
#include "service/JobCollection.h"
#include "service/JobListModel.h"
#include "service/JobReception.h"
#include "service/StatusUpdate.h"
#include "service/TransferHost.h"

#include <QDir>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <cmath>

QString gStrCurrentDownloadPath;

JobTransfer::JobTransfer(JobCollection &jobs, QHash<QString, QString> &failures,
                         MessageSink &messages, QObject *parent)
    : QObject(parent), m_jobs(jobs), m_failures(failures), m_messages(messages)
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
    m_transfer->listed = host.jobList().rowCount();
    m_failures.clear();
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

void JobTransfer::startJob(int row)
{
    Transfer &transfer = *m_transfer;
    TransferHost &host = *transfer.host;
    JobListModel &list = host.jobList();
    transfer.jobId = list.subItemText(row, JobListModel::SubItemJobId);
    const Job *job = m_jobs.Item(transfer.jobId);
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
    // The rest is asked for only where the whole length is known, so that
    // the two parts can be checked.
    const QByteArray validator = transfer.validator.ifRange();
    if (transfer.attempt > 0 && transfer.reception && transfer.reception->bytesWritten() > 0 &&
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
    Q_EMIT jobStarted(transfer.jobId, transfer.attempt);
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

void JobTransfer::advanceProgress(qint64 blocks)
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
        if (Job *job = m_jobs.Item(transfer.jobId)) {
            job->gBlnDownloadCompleted = true;
            job->gStrDestinationPath = *written;
        }
        transfer.received.append(
            {transfer.jobId, *written, size, reception->placed(), reception->writtenBack()});
        transfer.report.received(transfer.jobId);
        Q_EMIT jobEnded(transfer.jobId, true, *written);
        host.setStatusText(Inet::GetInetStateText(Inet::Completed));
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

void JobTransfer::failRow(const QString &reason, bool tellUser)
{
    Transfer &transfer = *m_transfer;
    TransferHost &host = *transfer.host;
    host.jobList().setSubItemText(transfer.failedRows, JobListModel::SubItemProgress,
                                  QStringLiteral("Failed"));
    const QString text = tr("Job %1 failed: %2").arg(transfer.jobLabel, reason);
    host.setStatusText(text);
    m_failures.insert(transfer.jobId, reason);
    Q_EMIT jobEnded(transfer.jobId, false, reason);
    ++transfer.failedRows;
    transfer.attempt = 0;
    // Told once, in the box at the end.
    if (tellUser)
        transfer.report.failed(reason, gStrCurrentDownloadPath);
    scheduleNextJob();
}

void JobTransfer::scheduleNextJob()
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

void JobTransfer::endTransfer()
{
    Transfer &transfer = *m_transfer;
    if (transfer.ending)
        return;
    transfer.ending = true;
    QObject::disconnect(transfer.states);
    if (transfer.stopping) {
        // The stopped row and the status bar say so, the bar is back at 0.
        JobListModel &list = transfer.host->jobList();
        const int row = transfer.failedRows;
        if (row < list.rowCount() &&
            list.subItemText(row, JobListModel::SubItemJobId) == transfer.jobId)
            list.setSubItemText(row, JobListModel::SubItemProgress, QStringLiteral("Stopped"));
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
    Job *job = m_jobs.Item(jobId);
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
    m_failures.insert(jobId, reason);
    transfer.report.failed(reason, job->gStrDestinationPath);
    Q_EMIT jobEnded(jobId, false, reason);
}

void JobTransfer::updateStatuses()
{
    Transfer &transfer = *m_transfer;
    QPointer<JobTransfer> self(this);
    StatusUpdate::run(*this, m_jobs, *transfer.host, transfer.profile, [self](bool allConfirmed) {
        if (!self || !self->m_transfer)
            return;
        const std::unique_ptr<Transfer> ended = std::move(self->m_transfer);
        if (ended->showMessageBoxes)
            ended->report.post(self->m_messages, self->m_jobs, allConfirmed, ended->stopping,
                               ended->listed);
        if (self)
            Q_EMIT self->finished();
    });
}
