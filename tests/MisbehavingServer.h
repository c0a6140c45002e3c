#pragma once

#include <utility>

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

#include <sys/socket.h>

// An HTTP server on 127.0.0.1 that answers each request as told: normally,
// or by refusing, stalling, resetting mid-body, sending a short body, an
// error page or a redirect. Behaviours are chosen by a text that the request
// target contains; the first match wins.
class MisbehavingServer : public QObject
{
public:
    enum class Kind
    {
        Normal,       // status, headers and body; Content-Length unless noLength
        Refuse,       // closes the connection without an answer
        Stall,        // reads the request and never answers
        ResetMidBody, // sends half of the body (announced unless noLength), then resets
        ShortBody,    // announces more than it sends, then closes
        ChunkedCut,   // sends the body chunked, closes in the middle of a chunk
        Redirect      // 302 to `location`
    };

    struct Behaviour
    {
        Kind kind = Kind::Normal;
        int status = 200;
        QByteArray body = "OK";
        bool noLength = false; // the body ends with the connection
        QByteArray location;
        QList<QPair<QByteArray, QByteArray>> headers;
        qint64 announce = -1; // a Content-Length of its own, when not -1
        int times = 0;        // applies to the first `times` matches only (0: always)
        // Answers "Range: bytes=N-" with 206 and the rest of the body, where an
        // If-Range names the ETag or Last-Modified value of `headers`.
        bool ranges = false;
        // Holds each answer until this many requests for the target came,
        // then answers them all at once.
        int together = 0;
    };

    MisbehavingServer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
        if (!m_server.listen(QHostAddress::LocalHost, 0))
            qFatal("cannot listen on 127.0.0.1");
    }

    QString base() const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
    }

    void when(const QByteArray &targetPart, const Behaviour &behaviour)
    {
        m_rules.append({targetPart, behaviour, 0});
    }

    static Behaviour answer(const QByteArray &body, int status = 200)
    {
        Behaviour behaviour;
        behaviour.status = status;
        behaviour.body = body;
        return behaviour;
    }

    static Behaviour of(Kind kind, const QByteArray &body = QByteArray(4096, 'x'))
    {
        Behaviour behaviour;
        behaviour.kind = kind;
        behaviour.body = body;
        return behaviour;
    }

    // Request targets as received, in order, and the heads of the requests.
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
    void releaseStalled(const QByteArray &body)
    {
        const auto stalled = std::exchange(m_stalled, {});
        for (const QPointer<QTcpSocket> &socket : stalled) {
            if (socket)
                respond(socket, answer(body));
        }
    }

    // A port on which nothing listens.
    static quint16 closedPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        return port;
    }

private:
    void serve(QTcpSocket *socket)
    {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            if (!buffer->contains("\r\n\r\n"))
                return;
            const QByteArray head = buffer->left(buffer->indexOf("\r\n\r\n"));
            const QList<QByteArray> line = head.left(head.indexOf("\r\n")).split(' ');
            buffer->clear();
            const QByteArray target = line.value(1);
            targets << QString::fromLatin1(target);
            heads << head;
            Behaviour behaviour;
            for (auto &[part, rule, used] : m_rules) {
                if (target.contains(part) && (rule.times == 0 || used < rule.times)) {
                    ++used;
                    behaviour = rule;
                    break;
                }
            }
            if (behaviour.ranges)
                behaviour = ranged(behaviour, requestHeader(int(heads.size()) - 1, "Range"),
                                   requestHeader(int(heads.size()) - 1, "If-Range"));
            if (behaviour.together > 1) {
                QList<QPointer<QTcpSocket>> &waiting = m_together[target];
                waiting << socket;
                if (waiting.size() < behaviour.together)
                    return;
                for (const QPointer<QTcpSocket> &held : std::exchange(waiting, {})) {
                    if (held)
                        respond(held, behaviour);
                }
                return;
            }
            respond(socket, behaviour);
        });
    }

    static Behaviour ranged(Behaviour behaviour, const QByteArray &range, const QByteArray &ifRange)
    {
        bool validator = ifRange.isEmpty();
        for (const auto &[name, value] : behaviour.headers)
            validator =
                validator || ((name == "ETag" || name == "Last-Modified") && value == ifRange);
        if (!range.startsWith("bytes=") || !range.endsWith('-') || !validator)
            return behaviour;
        const qint64 from = range.mid(6, range.size() - 7).toLongLong();
        behaviour.status = 206;
        behaviour.headers.append(
            {QByteArray("Content-Range"), "bytes " + QByteArray::number(from) + '-' +
                                              QByteArray::number(behaviour.body.size() - 1) + '/' +
                                              QByteArray::number(behaviour.body.size())});
        behaviour.body = behaviour.body.mid(from);
        return behaviour;
    }

    static QByteArray head(const Behaviour &behaviour, qint64 length)
    {
        QByteArray text = "HTTP/1.1 " + QByteArray::number(behaviour.status) + " Status\r\n";
        for (const auto &[name, value] : behaviour.headers)
            text += name + ": " + value + "\r\n";
        if (length >= 0)
            text += "Content-Length: " + QByteArray::number(length) + "\r\n";
        return text + "Connection: close\r\n\r\n";
    }

    // Closes with a TCP reset, not an orderly end of the stream.
    static void reset(QTcpSocket *socket)
    {
        const struct linger now = {1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
        socket->abort();
    }

    void respond(QTcpSocket *socket, const Behaviour &behaviour)
    {
        switch (behaviour.kind) {
        case Kind::Normal:
            socket->write(head(behaviour, behaviour.announce >= 0 ? behaviour.announce
                                          : behaviour.noLength    ? -1
                                                                  : behaviour.body.size()) +
                          behaviour.body);
            socket->disconnectFromHost();
            break;
        case Kind::Refuse:
            socket->abort();
            break;
        case Kind::Stall:
            m_stalled << socket;
            break;
        case Kind::ResetMidBody:
            socket->write(head(behaviour, behaviour.noLength ? -1 : behaviour.body.size()) +
                          behaviour.body.left(behaviour.body.size() / 2));
            socket->flush();
            reset(socket);
            break;
        case Kind::ChunkedCut: {
            Behaviour chunked = behaviour;
            chunked.headers.append({QByteArray("Transfer-Encoding"), "chunked"});
            const QByteArray half = behaviour.body.left(behaviour.body.size() / 2);
            socket->write(head(chunked, -1) + QByteArray::number(half.size(), 16) + "\r\n" + half +
                          "\r\n" + QByteArray::number(behaviour.body.size(), 16) + "\r\n" +
                          behaviour.body.left(100));
            socket->disconnectFromHost();
            break;
        }
        case Kind::ShortBody:
            socket->write(head(behaviour, behaviour.body.size() * 2) + behaviour.body);
            socket->disconnectFromHost();
            break;
        case Kind::Redirect: {
            Behaviour redirect = behaviour;
            redirect.status = 302;
            redirect.headers.append({"Location", behaviour.location});
            socket->write(head(redirect, 0));
            socket->disconnectFromHost();
            break;
        }
        }
    }

    QTcpServer m_server;
    struct Rule
    {
        QByteArray part;
        Behaviour behaviour;
        int used;
    };
    QList<Rule> m_rules;
    QList<QPointer<QTcpSocket>> m_stalled;
    QHash<QByteArray, QList<QPointer<QTcpSocket>>> m_together;
};
