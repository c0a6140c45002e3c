#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal, delivered through the event
// loop, so that a stop is handled like the user's "Stop Download".
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

Q_SIGNALS:
    void interrupted(int signal);

private:
    QSocketNotifier *m_notifier = nullptr;
};
