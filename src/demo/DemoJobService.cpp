#include "demo/DemoJobService.h"

#include "platform/SystemTexts.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>

#include <QtMath>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

struct Dictator
{
    const char *first;
    const char *last;
    const char *department;
};

constexpr Dictator dictators[] = {
    {"Helen", "Marsh", "Cardiology"},    {"Omar", "Idris", "Orthopaedics"},
    {"Grace", "Lindqvist", "Radiology"}, {"Paul", "Okafor", "General Practice"},
    {"Ruth", "Abernathy", "Neurology"},  {"Tomas", "Varga", "Paediatrics"},
};

constexpr const char *letters[] = {"Clinic letter",  "Discharge summary", "Referral",
                                   "Operation note", "Imaging report",    "Follow-up letter"};

constexpr const char *wards[] = {"Ward 3A", "Ward 7B", "Outpatients", "Day Unit", "Ward 12"};

QByteArray xmlAttribute(const char *name, const QString &value)
{
    return QByteArray(" ") + name + "=\"" + value.toHtmlEscaped().toUtf8() + "\"";
}

QByteArray response(int status, const QByteArray &reason, const QByteArray &type,
                    const QByteArray &body)
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

DemoJobService::DemoJobService(const Options &options, QObject *parent)
    : QObject(parent), m_options(options), m_server(new QTcpServer(this))
{
    const QDateTime firstOpened(QDate(2026, 12, 1), QTime(8, 15, 0));
    for (int i = 0; i < options.jobs; ++i) {
        const Dictator &dictator = dictators[i % std::size(dictators)];
        DemoJob job;
        job.id = QString::number(1001 + i);
        job.name =
            QStringLiteral("%1 %2").arg(QLatin1String(letters[i % std::size(letters)]), job.id);
        job.reference = QStringLiteral("REF-2026-%1").arg(i + 1, 4, 10, QLatin1Char('0'));
        job.openTime = firstOpened.addSecs(qint64(i) * 37 * 60 + (i * 13) % 60);
        job.department = QLatin1String(dictator.department);
        job.firstName = QLatin1String(dictator.first);
        job.lastName = QLatin1String(dictator.last);
        job.dictator = QStringLiteral("Dr %1 %2").arg(job.firstName, job.lastName);
        job.demographic1 = QStringLiteral("MRN %1").arg(204310 + i * 7);
        job.demographic2 = QLatin1String(wards[i % std::size(wards)]);
        job.demographic3 = i % 3 == 0 ? QStringLiteral("Urgent") : QString();
        job.priority = i % 5 + 1;
        job.seconds = 2 + i % 3;
        job.tone = 330 + (i % 6) * 55;
        m_jobs << job;
    }
    m_allJobs = m_jobs;
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection())
            serve(socket);
    });
}

DemoJobService::~DemoJobService() = default;

bool DemoJobService::listen(quint16 port)
{
    return m_server->listen(QHostAddress::LocalHost, port);
}

quint16 DemoJobService::port() const
{
    return m_server->serverPort();
}

QString DemoJobService::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/remote_tools/").arg(port());
}

QString DemoJobService::errorString() const
{
    return m_server->errorString();
}

QByteArray DemoJobService::jobIndex() const
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<jobs>\r\n  <user_id>" +
                     m_options.login.toHtmlEscaped().toUtf8() + "</user_id>\r\n";
    for (const DemoJob &job : m_jobs) {
        xml += "  <job" + xmlAttribute("job_id", job.id) + xmlAttribute("job_name", job.name) +
               xmlAttribute("open_time",
                            job.openTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))) +
               xmlAttribute("department_name", job.department) +
               xmlAttribute("dictator", job.dictator) + xmlAttribute("reference", job.reference) +
               xmlAttribute("demographic_1", job.demographic1) +
               xmlAttribute("demographic_2", job.demographic2) +
               xmlAttribute("demographic_3", job.demographic3) +
               xmlAttribute("path", baseUrl() + QStringLiteral("files/%1.wav").arg(job.id)) +
               xmlAttribute("priority", QString::number(job.priority)) +
               xmlAttribute("dictator_first_name", job.firstName) +
               xmlAttribute("dictator_last_name", job.lastName) + "/>\r\n";
    }
    return xml + "</jobs>\r\n";
}

QByteArray DemoJobService::wavFile(int seconds, int frequency, int sampleRate)
{
    const quint32 samples = quint32(seconds) * quint32(sampleRate);
    const quint32 dataSize = samples * 2;
    QByteArray wav;
    wav.reserve(int(44 + dataSize));
    const auto u32 = [&wav](quint32 v) {
        for (int i = 0; i < 4; ++i)
            wav.append(char((v >> (8 * i)) & 0xff));
    };
    const auto u16 = [&wav](quint16 v) {
        wav.append(char(v & 0xff));
        wav.append(char(v >> 8));
    };
    wav.append("RIFF");
    u32(36 + dataSize);
    wav.append("WAVEfmt ");
    u32(16);
    u16(1); // PCM
    u16(1); // mono
    u32(quint32(sampleRate));
    u32(quint32(sampleRate) * 2);
    u16(2);
    u16(16);
    wav.append("data");
    u32(dataSize);
    for (quint32 n = 0; n < samples; ++n) {
        const double t = double(n) / sampleRate;
        const double envelope = std::min({1.0, t * 8.0, (double(seconds) - t) * 8.0});
        const auto value =
            qint16(std::lround(9000.0 * envelope * std::sin(2 * M_PI * frequency * t)));
        u16(quint16(value));
    }
    return wav;
}

void DemoJobService::serve(QTcpSocket *socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // The request is gathered until its head is complete.
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
        buffer->append(socket->readAll());
        const qsizetype end = buffer->indexOf("\r\n\r\n");
        if (end < 0) {
            if (buffer->size() > 64 * 1024)
                socket->abort();
            return;
        }
        const QList<QByteArray> requestLine = buffer->left(buffer->indexOf("\r\n")).split(' ');
        buffer->clear();
        if (requestLine.size() != 3 || requestLine.at(0) != "GET") {
            socket->write(response(405, "Method Not Allowed", "text/plain", "GET only\r\n"));
            socket->disconnectFromHost();
            return;
        }
        answer(socket, requestLine.at(1));
    });
}

void DemoJobService::answer(QTcpSocket *socket, const QByteArray &target)
{
    m_targets << QString::fromLatin1(target);
    const QUrl url = QUrl::fromEncoded("http://127.0.0.1" + target);
    const QUrlQuery query(url);
    const auto value = [&query](const char *name) {
        return query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    };
    const bool loggedIn = value("LG") == m_options.login && value("PW") == m_options.password;
    const QString path = url.path();

    QByteArray reply;
    if (path == QLatin1String("/remote_tools/job_index.asp")) {
        if (loggedIn && value("SessionID") == m_options.guid)
            reply = response(200, "OK", "text/xml; charset=utf-8", jobIndex());
        else
            reply = response(401, "Unauthorized", "text/html",
                             "<html><head><title>Login failed</title></head><body>"
                             "<h1>Login failed</h1><p>The session, login or password is not "
                             "known.</p></body></html>\r\n");
    } else if (path == QLatin1String("/remote_tools/job_status_update.asp")) {
        const QString id = value("ID");
        const auto listed = std::find_if(m_jobs.begin(), m_jobs.end(),
                                         [&id](const DemoJob &job) { return job.id == id; });
        if (loggedIn && listed != m_jobs.end()) {
            m_jobs.erase(listed);
            reply = response(200, "OK", "text/plain",
                             QByteArray("Update ") + SystemTexts::sucessful + "\r\n");
        } else {
            reply = response(200, "OK", "text/plain",
                             loggedIn ? "Update failed: no such job\r\n"
                                      : "Update failed: login refused\r\n");
        }
    } else if (path.startsWith(QLatin1String("/remote_tools/files/")) &&
               path.endsWith(QLatin1String(".wav"))) {
        const QString id = path.mid(20, path.size() - 24);
        const auto job =
            std::find_if(m_allJobs.begin(), m_allJobs.end(),
                         [&id](const DemoJob &candidate) { return candidate.id == id; });
        if (job != m_allJobs.end())
            reply = response(200, "OK", "audio/wav", wavFile(job->seconds, job->tone));
        else
            reply = response(404, "Not Found", "text/plain", "No such file\r\n");
    } else {
        reply = response(404, "Not Found", "text/plain", "No such page\r\n");
    }
    socket->write(reply);
    socket->disconnectFromHost();
}
