#pragma once

#include <QElapsedTimer>
#include <QString>

class JobCollection;
class QTextStream;

// The lines quillet-transfer writes on standard error for each job: a
// progress bar redrawn in place on a terminal, a line when a job is tried
// again and when it ends.
class JobLines
{
public:
    // `jobs`: the collection the job ids refer to, read when a line is written.
    JobLines(QTextStream &err, const JobCollection &jobs);

    bool terminal() const { return m_terminal; }
    // What starts a line that replaces the progress bar.
    const char *clearLine() const { return m_terminal ? "\r\x1b[K" : ""; }

    void started(const QString &jobId, int attempt);
    void progress(const QString &jobId, qint64 written, qint64 total);
    void ended(const QString &jobId, bool received, const QString &detail);

    // "id name" of a job.
    QString label(const QString &jobId) const;

private:
    QTextStream &m_err;
    const JobCollection &m_jobs;
    bool m_terminal;
    QElapsedTimer m_clock;
};
