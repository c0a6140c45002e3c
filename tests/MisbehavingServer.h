#pragma once

#include <utility>

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

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
        ResetMidBody, // announces the body, sends half of it, then resets
        ShortBody,    // announces more than it sends, then closes
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

    // Request targets as received, in order.
    QStringList targets;

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
            const QList<QByteArray> line = buffer->left(buffer->indexOf("\r\n")).split(' ');
            buffer->clear();
            const QByteArray target = line.value(1);
            targets << QString::fromLatin1(target);
            Behaviour behaviour;
            for (auto &[part, rule, used] : m_rules) {
                if (target.contains(part) && (rule.times == 0 || used < rule.times)) {
                    ++used;
                    behaviour = rule;
                    break;
                }
            }
            respond(socket, behaviour);
        });
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
            socket->write(head(behaviour, behaviour.body.size()) +
                          behaviour.body.left(behaviour.body.size() / 2));
            socket->flush();
            socket->abort();
            break;
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
};
