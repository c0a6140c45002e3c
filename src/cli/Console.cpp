#include "cli/Console.h"

#include "cli/TextCells.h"
#include "platform/Terminal.h"

#include <QList>
#include <QTextStream>

Console::Console(QTextStream &err, bool quiet)
    : m_err(err), m_quiet(quiet), m_journal(Terminal::errorIsJournal()),
      m_terminal(!m_journal && Terminal::isTerminal(Terminal::Stream::Error) &&
                 qgetenv("TERM") != "dumb")
{
    updateWidth();
}

void Console::updateWidth()
{
    const int columns = m_terminal ? Terminal::width(Terminal::Stream::Error) : 0;
    if (columns > 0)
        m_width = columns;
}

void Console::say(Priority priority, const QString &text)
{
    if (m_quiet && (priority == Priority::Information || priority == Priority::Warning))
        return;
    clearProgress();
    const int level = priority == Priority::Summary ? int(Priority::Information) : int(priority);
    const QString prefix = m_journal ? QStringLiteral("<%1>").arg(level) : QString();
    for (const QStringView line : QStringView(text).split(QLatin1Char('\n')))
        m_err << prefix << line << '\n';
    m_err.flush();
}

void Console::progress(const QString &line, bool now)
{
    if (!drawsProgress() || (!now && m_lastDraw.isValid() && m_lastDraw.elapsed() < 100))
        return;
    m_lastDraw.start();
    // One cell short of the width: a line that fills the last column leaves
    // some terminals on the next row, where "\r" no longer reaches it.
    m_err << "\r\x1b[K" << TextCells::fit(line, m_width - 1);
    m_err.flush();
    m_progressShown = true;
}

void Console::clearProgress()
{
    if (!m_progressShown)
        return;
    m_progressShown = false;
    m_lastDraw.invalidate();
    m_err << "\r\x1b[K";
}
