#include "cli/JobLines.h"

#include "platform/Secrets.h"
#include "service/JobCollection.h"

#include <QLocale>
#include <QTextStream>

#include <unistd.h>

#include <algorithm>

JobLines::JobLines(QTextStream &err, const JobCollection &jobs)
    : m_err(err), m_jobs(jobs), m_terminal(::isatty(STDERR_FILENO) == 1)
{
}

QString JobLines::label(const QString &jobId) const
{
    const Job *job = m_jobs.Item(jobId);
    return Secrets::shown(job ? QStringLiteral("%1 %2").arg(jobId, job->gStrName) : jobId);
}

void JobLines::started(const QString &jobId, int attempt)
{
    m_clock.start();
    if (attempt > 0)
        m_err << clearLine() << "Retrying " << label(jobId) << " (" << attempt << " of 3)"
              << Qt::endl;
}

void JobLines::progress(const QString &jobId, qint64 written, qint64 total)
{
    if (!m_terminal)
        return;
    const double seconds = std::max(0.001, double(m_clock.elapsed()) / 1000.0);
    const QLocale locale;
    QString line;
    if (total > 0) {
        const int percent = int(std::min<qint64>(100, written * 100 / total));
        line = QStringLiteral("[%1%2] %3% ")
                   .arg(QString(percent / 5, QLatin1Char('#')),
                        QString(20 - percent / 5, QLatin1Char(' ')))
                   .arg(percent, 3);
    }
    line += QStringLiteral("%1  %2  %3/s")
                .arg(label(jobId), locale.formattedDataSize(written),
                     locale.formattedDataSize(qint64(double(written) / seconds)));
    m_err << "\r\x1b[K" << line.left(200);
    m_err.flush();
}

void JobLines::ended(const QString &jobId, bool received, const QString &detail)
{
    m_err << clearLine() << (received ? "Received " : "Failed ") << label(jobId)
          << (received ? " -> " : ": ") << Secrets::shown(detail) << Qt::endl;
}
