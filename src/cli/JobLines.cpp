#include "cli/JobLines.h"

#include "cli/Console.h"
#include "cli/TextCells.h"
#include "platform/Secrets.h"
#include "service/JobCollection.h"

#include <QLocale>

#include <algorithm>
#include <utility>

JobLines::JobLines(Console &console, const JobCollection &jobs) : m_console(console), m_jobs(jobs)
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
    m_firstDraw = true;
    if (attempt > 0)
        m_console.say(
            Console::Priority::Warning,
            QStringLiteral("Retrying %1 (%2 of 3)").arg(label(jobId), QString::number(attempt)));
}

void JobLines::progress(const QString &jobId, qint64 written, qint64 total)
{
    if (!m_console.drawsProgress())
        return;
    const double seconds = std::max(0.001, double(m_clock.elapsed()) / 1000.0);
    const QLocale locale;
    const QString tail = QStringLiteral("  %1  %2/s")
                             .arg(locale.formattedDataSize(written),
                                  locale.formattedDataSize(qint64(double(written) / seconds)));
    QString head;
    if (total > 0) {
        const int percent = int(std::min<qint64>(100, written * 100 / total));
        const QString bar = QStringLiteral("[%1%2] ").arg(
            QString(percent / 5, QLatin1Char('#')), QString(20 - percent / 5, QLatin1Char(' ')));
        head = QStringLiteral("%1% ").arg(percent, 3);
        // The bar only where the name keeps a dozen cells beside it.
        if (m_console.width() - 1 - TextCells::width(bar + head + tail) >= 12)
            head.prepend(bar);
    }
    const int room = m_console.width() - 1 - TextCells::width(head) - TextCells::width(tail);
    // Too narrow for all three: the console cuts the line's end.
    const QString name = room >= 4 ? TextCells::fit(label(jobId), room) : label(jobId);
    m_console.progress(head + name + tail, std::exchange(m_firstDraw, false));
}

void JobLines::ended(const QString &jobId, bool received, const QString &detail)
{
    m_console.say(received ? Console::Priority::Information : Console::Priority::Failure,
                  (received ? QStringLiteral("Received %1 -> %2") : QStringLiteral("Failed %1: %2"))
                      .arg(label(jobId), Secrets::shown(detail)));
}
