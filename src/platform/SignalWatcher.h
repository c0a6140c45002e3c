#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM, and SIGWINCH, into Qt signals delivered through
// the event loop, so that a stop is handled like the user's "Stop Download".
// On Windows, Ctrl+C is SIGINT and Ctrl+Break or the console's closing is
// SIGTERM; a console has no resize notice.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

Q_SIGNALS:
    // SIGINT or SIGTERM.
    void interrupted(int signal);
    // SIGWINCH: the terminal's size changed.
    void resized();

private:
    QSocketNotifier *m_notifier = nullptr;
};
