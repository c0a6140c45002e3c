#pragma once

#include <QElapsedTimer>
#include <QString>

class Console;
class JobCollection;

// The lines quillet-transfer writes on standard error for each job: a
// progress line redrawn in place on a terminal, a line when a job is tried
// again and when it ends.
class JobLines
{
public:
    // `jobs`: the collection the job ids refer to, read when a line is written.
    JobLines(Console &console, const JobCollection &jobs);

    void started(const QString &jobId, int attempt);
    void progress(const QString &jobId, qint64 written, qint64 total);
    void ended(const QString &jobId, bool received, const QString &detail);

    // "id name" of a job.
    QString label(const QString &jobId) const;

private:
    Console &m_console;
    const JobCollection &m_jobs;
    QElapsedTimer m_clock;
    bool m_firstDraw = true;
};
