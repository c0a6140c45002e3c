#include "service/DiskFlush.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QObject>

namespace DiskFlush {

namespace {

int systemCall(Step step, Files::Native file, qint64 from, qint64 length)
{
    switch (step) {
    case Step::WriteBack:
        return Files::flushRange(file, from, length);
    case Step::File:
        return Files::flushFile(file);
    case Step::Volume:
        return Files::flushVolume(file);
    }
    return 0;
}

FlushCall &flushCall()
{
    static FlushCall call = systemCall;
    return call;
}

} // namespace

void setFlushCall(FlushCall call)
{
    flushCall() = call ? std::move(call) : FlushCall(systemCall);
}

WriteBack::WriteBack() : m_thread([this] { run(); })
{
}

WriteBack::~WriteBack()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_tasks.clear();
    }
    m_changed.notify_all();
    m_thread.join();
}

void WriteBack::range(std::shared_ptr<Handle> file, qint64 from, qint64 length)
{
    push({std::move(file), from, length});
}

void WriteBack::finish(std::shared_ptr<Handle> file)
{
    push({std::move(file), 0, -1});
}

void WriteBack::push(Task task)
{
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_changed.notify_all();
}

void WriteBack::drain()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_tasks.empty() && !m_busy; });
}

void WriteBack::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
        if (m_stopping)
            return;
        Task task = std::move(m_tasks.front());
        m_tasks.pop_front();
        m_busy = true;
        lock.unlock();
        Handle &file = *task.file;
        if (file.error.load() == 0) {
            const int error = task.length < 0 ? flushCall()(Step::File, file.file.native(), 0, 0)
                                              : flushCall()(Step::WriteBack, file.file.native(),
                                                            task.from, task.length);
            if (error != 0)
                file.error.store(error);
        }
        task.file.reset();
        lock.lock();
        m_busy = false;
        m_changed.notify_all();
    }
}

namespace {

QString folderOf(const ReceivedFile &file)
{
    return QFileInfo(file.path).absolutePath();
}

// Syncs the volume of each file's folder once; returns the folders whose
// volume's sync failed, with the error.
QHash<QString, int> syncVolumes(const QList<ReceivedFile> &files)
{
    QHash<QString, int> failed;
    QHash<quint64, int> volumes; // the outcome of each volume's sync
    for (const ReceivedFile &file : files) {
        const QString folder = folderOf(file);
        int error = 0;
        const Files::Handle handle = Files::openFolder(folder, error);
        const std::optional<Files::Identity> identity =
            handle.isOpen() ? Files::identity(handle) : std::nullopt;
        if (!identity) {
            failed.insert(folder, error ? error : Files::lastError());
            continue;
        }
        if (!volumes.contains(identity->first))
            volumes.insert(identity->first, flushCall()(Step::Volume, handle.native(), 0, 0));
        if (const int outcome = volumes.value(identity->first))
            failed.insert(folder, outcome);
    }
    return failed;
}

// Syncs one file and its folder alone; 0 or the error.
int syncAlone(const ReceivedFile &file)
{
    for (const QString &path : {file.path, folderOf(file)}) {
        int error = 0;
        const Files::Handle handle = Files::openToFlush(path, error);
        if (!handle.isOpen())
            return error;
        if ((error = flushCall()(Step::File, handle.native(), 0, 0)))
            return error;
    }
    return 0;
}

} // namespace

QList<QPair<QString, QString>> flushAndCheck(const QList<ReceivedFile> &files, WriteBack *writeBack)
{
    if (writeBack)
        writeBack->drain();
    const QHash<QString, int> failedVolumes = syncVolumes(files);
    QList<QPair<QString, QString>> missing;
    for (const ReceivedFile &file : files) {
        const QString shown = QDir::toNativeSeparators(file.path);
        const QFileInfo info(file.path);
        if (!info.isFile()) {
            missing.append(
                {file.jobId, QObject::tr("The received file %1 is no longer there.").arg(shown)});
            continue;
        }
        int error = file.handle ? file.handle->error.load() : 0;
        if (error == 0 && failedVolumes.contains(folderOf(file)))
            error = syncAlone(file);
        if (error != 0) {
            if (file.placed)
                QFile::remove(file.path);
            missing.append({file.jobId, QObject::tr("The received file %1 could not be put on "
                                                    "the disk: %2")
                                            .arg(shown, Files::errorText(error))});
        } else if (info.size() != file.size) {
            missing.append({file.jobId, QObject::tr("The received file %1 now holds %2 bytes "
                                                    "instead of %3.")
                                            .arg(shown)
                                            .arg(info.size())
                                            .arg(file.size)});
        }
    }
    return missing;
}

} // namespace DiskFlush
