#pragma once

#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

// An HTTP server on 127.0.0.1 that answers each request as told: normally, or
// by refusing, stalling or resetting mid-body (a body shorter than announced,
// or a cut chunked one, is a body with headers of its own and no length). The
// first rule whose text the request target contains applies.
class MisbehavingServer : public QObject
{
public:
    enum class Kind
    {
        Normal,       // status, headers and body
        Refuse,       // closes the connection without an answer
        Stall,        // reads the request and answers only on releaseStalled()
        ResetMidBody, // half of the body, then a TCP reset
        Drip          // the body one byte every 100 ms
    };

    struct Behaviour
    {
        Kind kind = Kind::Normal;
        int status = 200;
        QByteArray body = "OK";
        QList<QPair<QByteArray, QByteArray>> headers = {};
        bool noLength = false; // no Content-Length of ours: the body ends with the connection
        int times = 0;         // for the first `times` matching requests only (0: all)
        // "Range: bytes=N-" gets 206 and the rest of the body, unless an
        // If-Range names neither the ETag nor the Last-Modified of `headers`.
        bool ranges = false;
        bool ignoreIfRange = false; // ranges served whatever If-Range names
        int together = 0;           // each answer held until this many requests for the target came
        QByteArray statusLine = {}; // in place of "HTTP/1.1 <status> Status"
    };

    // Plain HTTP, or HTTPS with `tls`'s certificate.
    explicit MisbehavingServer(const QSslConfiguration &tls = {})
        : m_server(tls.isNull() ? new QTcpServer(this) : new QSslServer(this))
    {
        if (auto *secure = qobject_cast<QSslServer *>(m_server))
            secure->setSslConfiguration(tls);
        // A TLS connection is pending once its handshake is done.
        connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket *socket = m_server->nextPendingConnection())
                serve(socket);
        });
        if (!m_server->listen(QHostAddress::LocalHost, 0))
            qFatal("cannot listen on 127.0.0.1");
    }

    QString base() const
    {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(qobject_cast<QSslServer *>(m_server) ? "https" : "http")
            .arg(m_server->serverPort());
    }

    // Makes with the openssl tool, in `folder`, a test authority (ca.pem) and
    // the certificates `good` (127.0.0.1) and `wrong` (another host) it signs,
    // and a self-signed one, `self`. Where QUILLET_TEST_CERTIFICATES names a
    // folder of them made so (on Windows, which has no openssl tool), copies
    // them from there.
    static bool makeCertificates(const QString &folder)
    {
        const QString made = qEnvironmentVariable("QUILLET_TEST_CERTIFICATES");
        if (!made.isEmpty()) {
            for (const char *name : {"ca", "good", "wrong", "self"}) {
                for (const char *kind : {".pem", ".key"}) {
                    const QString file = QLatin1String(name) + QLatin1String(kind);
                    if (!QFile::copy(made + '/' + file, folder + '/' + file))
                        return false;
                }
            }
            return true;
        }
        QProcess shell;
        shell.setWorkingDirectory(folder);
        shell.start("sh", {"-c", R"(set -e
k="-x509 -days 2 -nodes -newkey ec -pkeyopt ec_paramgen_curve:prime256v1"
ip="-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1" ca="-CA ca.pem -CAkey ca.key"
openssl req $k -keyout ca.key -out ca.pem -subj /CN=CA
openssl req $k -keyout good.key -out good.pem $ip $ca
openssl req $k -keyout wrong.key -out wrong.pem -subj /CN=a.test $ca
openssl req $k -keyout self.key -out self.pem $ip)"});
        return shell.waitForFinished(30000) && shell.exitCode() == 0;
    }
    static QSslConfiguration certificate(const QString &folder, const QString &name)
    {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificateChain(QSslCertificate::fromPath(folder + '/' + name + ".pem"));
        QFile key(folder + '/' + name + ".key");
        if (key.open(QIODevice::ReadOnly))
            tls.setPrivateKey(QSslKey(&key, QSsl::Ec));
        return tls;
    }

    void when(const QByteArray &targetPart, const Behaviour &behaviour)
    {
        m_rules.append({targetPart, behaviour, 0});
    }

    static Behaviour answer(const QByteArray &body, int status = 200)
    {
        return {.status = status, .body = body};
    }
    static Behaviour of(Kind kind, const QByteArray &body = QByteArray(4096, 'x'))
    {
        return {.kind = kind, .body = body};
    }

    // The request targets and heads as received, in order.
    QStringList targets;
    QList<QByteArray> heads;

    // A header of the request with this index, empty when it had none.
    QByteArray requestHeader(int request, const QByteArray &name) const
    {
        for (const QByteArray &line : heads.value(request).split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return line.mid(colon + 1).trimmed();
        }
        return QByteArray();
    }

    // Answers every stalled request now, with `body`.
    void releaseStalled(const QByteArray &body, int status = 200)
    {
        for (const QPointer<QTcpSocket> &socket : std::exchange(m_stalled, {})) {
            if (socket)
                respond(socket, answer(body, status));
        }
    }

    // A port on which nothing listens.
    static quint16 closedPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

private:
    void serve(QTcpSocket *socket)
    {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            heads << buffer->left(end);
            buffer->clear();
            const QByteArray target = heads.last().split(' ').value(1);
            targets << QString::fromLatin1(target);
            Behaviour behaviour;
            for (Rule &rule : m_rules) {
                if (target.contains(rule.part) &&
                    (rule.behaviour.times == 0 || rule.used < rule.behaviour.times)) {
                    ++rule.used;
                    behaviour = rule.behaviour;
                    break;
                }
            }
            const int request = int(heads.size()) - 1;
            if (behaviour.ranges)
                ranged(behaviour, requestHeader(request, "Range"),
                       requestHeader(request, "If-Range"));
            QList<QPointer<QTcpSocket>> &waiting = m_waiting[target];
            waiting << socket;
            if (waiting.size() < behaviour.together)
                return;
            for (const QPointer<QTcpSocket> &held : std::exchange(waiting, {})) {
                if (held)
                    respond(held, behaviour);
            }
        });
    }

    static void ranged(Behaviour &behaviour, const QByteArray &range, const QByteArray &ifRange)
    {
        bool current = ifRange.isEmpty() || behaviour.ignoreIfRange;
        for (const auto &[name, value] : behaviour.headers)
            current = current || ((name == "ETag" || name == "Last-Modified") && value == ifRange);
        if (!range.startsWith("bytes=") || !range.endsWith('-') || !current)
            return;
        const qint64 from = range.mid(6).chopped(1).toLongLong();
        const qsizetype size = behaviour.body.size();
        behaviour.status = 206;
        behaviour.headers.append(
            {"Content-Range",
             QStringLiteral("bytes %1-%2/%3").arg(from).arg(size - 1).arg(size).toLatin1()});
        behaviour.body = behaviour.body.mid(from);
    }

    void respond(QTcpSocket *socket, Behaviour behaviour)
    {
        if (behaviour.kind == Kind::Stall) {
            m_stalled << socket;
            return;
        }
        if (behaviour.kind == Kind::Refuse) {
            socket->abort();
            return;
        }
        QByteArray &body = behaviour.body;
        QByteArray head = behaviour.statusLine.isEmpty()
                              ? "HTTP/1.1 " + QByteArray::number(behaviour.status) + " Status"
                              : behaviour.statusLine;
        head += "\r\n";
        for (const auto &[name, value] : behaviour.headers)
            head += name + ": " + value + "\r\n";
        if (!behaviour.noLength)
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        if (behaviour.kind == Kind::ResetMidBody)
            body.truncate(body.size() / 2);
        if (behaviour.kind == Kind::Drip) {
            socket->write(head + "Connection: close\r\n\r\n");
            auto *drip = new QTimer(socket);
            connect(drip, &QTimer::timeout, socket, [socket, body, at = qsizetype(0)]() mutable {
                if (at < body.size())
                    socket->write(body.mid(at++, 1));
            });
            drip->start(100);
            return;
        }
        socket->write(head + "Connection: close\r\n\r\n" + body);
        if (behaviour.kind != Kind::ResetMidBody) {
            socket->disconnectFromHost();
            return;
        }
        // A TCP reset, not an orderly end of the stream.
        socket->flush();
        const struct linger now = {1, 0};
#ifdef _WIN32
        ::setsockopt(SOCKET(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER,
                     reinterpret_cast<const char *>(&now), sizeof now);
#else
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
#endif
        socket->abort();
    }

    struct Rule
    {
        QByteArray part;
        Behaviour behaviour;
        int used;
    };
    QTcpServer *m_server;
    QList<Rule> m_rules;
    QList<QPointer<QTcpSocket>> m_stalled;
    QHash<QByteArray, QList<QPointer<QTcpSocket>>> m_waiting;
};
