#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

// A small job service on 127.0.0.1 for trying the program and for tests: the
// job index page, the status update page and the job files, short WAV
// dictations made up on the spot.
class DemoJobService : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString guid = QStringLiteral("DEMO-0001");
        QString login = QStringLiteral("demo");
        QString password = QStringLiteral("demo");
        int jobs = 5;
    };

    struct DemoJob
    {
        QString id;
        QString name;
        QString reference;
        QDateTime openTime;
        QString department;
        QString dictator;
        QString firstName;
        QString lastName;
        QString demographic1;
        QString demographic2;
        QString demographic3;
        int priority = 1;
        int seconds = 3;
        int tone = 440;
    };

    explicit DemoJobService(const Options &options, QObject *parent = nullptr);
    ~DemoJobService() override;

    // Listens on 127.0.0.1; port 0 takes any free port.
    bool listen(quint16 port = 0);
    quint16 port() const;
    QString baseUrl() const;
    QString errorString() const;

    // The jobs still waiting for their status update, in index order.
    const QList<DemoJob> &pendingJobs() const { return m_jobs; }

    // Every request target (path and query, as sent), in order.
    const QStringList &receivedTargets() const { return m_targets; }

    // The job index page for the jobs still waiting.
    QByteArray jobIndex() const;

    // A mono 16-bit PCM WAV file of a tone with a gentle rise and fall.
    static QByteArray wavFile(int seconds, int frequency, int sampleRate = 8000);

private:
    void serve(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QByteArray &target);

    Options m_options;
    QList<DemoJob> m_jobs;
    QList<DemoJob> m_allJobs;
    QStringList m_targets;
    QTcpServer *m_server;
};
