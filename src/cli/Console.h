#pragma once

#include <QElapsedTimer>
#include <QString>

class QTextStream;

// Standard error as quillet-transfer writes to it: lines with a priority,
// and on a terminal one progress line redrawn in place. Where standard error
// is the journal (JOURNAL_STREAM names it), each line starts with its
// priority ("<3>"); with --quiet only failures and summaries are written.
class Console
{
public:
    enum class Priority
    {
        Failure = 3,
        Warning = 4,
        Information = 6,
        Summary // information that --quiet keeps
    };

    Console(QTextStream &err, bool quiet = false);

    void setQuiet(bool quiet) { m_quiet = quiet; }
    bool journal() const { return m_journal; }
    // A progress line is drawn: standard error is a terminal other than
    // TERM=dumb, and neither the journal nor quiet.
    bool drawsProgress() const { return m_terminal && !m_quiet; }
    // The columns of the terminal, as last read (updateWidth()).
    int width() const { return m_width; }
    void updateWidth();

    // `text` as lines of `priority`, replacing the progress line.
    void say(Priority priority, const QString &text);
    // Redraws the progress line as `line` cut to the terminal's width; at most
    // ten times a second unless `now`.
    void progress(const QString &line, bool now);
    // The progress line is removed from the terminal.
    void clearProgress();

private:
    QTextStream &m_err;
    bool m_quiet;
    bool m_journal;
    bool m_terminal;
    int m_width = 80;
    bool m_progressShown = false;
    QElapsedTimer m_lastDraw;
};
