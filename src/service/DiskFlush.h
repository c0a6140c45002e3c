#pragma once

#include "platform/Files.h"

#include <QList>
#include <QPair>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The received files' way to the disk before the service is told that their
// jobs were fetched.
namespace DiskFlush {

// The calls that put data on the disk, each returning 0 or the system's
// code; a test replaces them to make the disk fail.
enum class Step
{
    WriteBack, // a range of a file (Files::flushRange)
    File,      // a whole file (Files::flushFile)
    Volume     // the volume of a folder (Files::flushVolume)
};
using FlushCall = std::function<int(Step step, Files::Native file, qint64 from, qint64 length)>;
void setFlushCall(FlushCall call); // an empty call restores the system's

// An open file whose data goes to the disk while it is received. The first
// error met on its way there is kept.
struct Handle
{
    explicit Handle(Files::Handle file) : file(std::move(file)) {}

    Files::Handle file;
    std::atomic<int> error{0};
};

// One thread that writes received ranges back to the disk and waits for
// them, in the order asked, so that making a large file durable at its end
// costs only its tail.
class WriteBack
{
public:
    WriteBack();
    ~WriteBack(); // what is still queued is dropped

    // The range [from, from + length) of the file, written back and waited for.
    void range(std::shared_ptr<Handle> file, qint64 from, qint64 length);
    // The whole file made durable; the queue then lets go of it.
    void finish(std::shared_ptr<Handle> file);
    // Waits until every range and file asked for is done.
    void drain();

private:
    struct Task
    {
        std::shared_ptr<Handle> file;
        qint64 from;
        qint64 length; // -1: the whole file
    };
    void push(Task task);
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Task> m_tasks;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;
};

// A file a transfer received, with the size it was written with.
struct ReceivedFile
{
    QString jobId;
    QString path;
    qint64 size = 0;
    bool placed = false;            // put there by this transfer (not a file found there already)
    std::shared_ptr<Handle> handle; // where its data was written back while it arrived
};

// Puts the received files on the disk, one sync per volume, then checks that
// each is still there with its size; returns the job ids and why for those
// that are not. A file whose data may not have reached the disk counts as
// not received: where a volume's sync fails, each of its files is synced
// alone to find which, and such a file placed by the transfer is removed so
// that a later check fetches its job again. Blocks, possibly for seconds.
QList<QPair<QString, QString>> flushAndCheck(const QList<ReceivedFile> &files,
                                             WriteBack *writeBack = nullptr);

} // namespace DiskFlush
