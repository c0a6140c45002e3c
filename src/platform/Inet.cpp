#include "platform/Inet.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <iterator>
#include <memory>

Inet::Inet(QObject *parent) : QObject(parent), m_manager(new QNetworkAccessManager(this))
{
    // Follow redirects as Qt 6 does by default, never from https to http,
    // and give up after ten.
    m_manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

Inet::~Inet()
{
    // Owners cancel what they still wait for; here nothing is called back.
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void Inet::announce(State state)
{
    if (m_lastState == state)
        return;
    m_lastState = state;
    Q_EMIT StateChanged(int(state));
}

QNetworkReply *Inet::start(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_timeout.count()));
    request.setMaximumRedirectsAllowed(10);
    // HTTP/1.1 only: the job services we talk to are plain web pages, and
    // HTTP/2 stream faults would only add ways to fail.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    m_cancelled = false;
    m_refused = false;
    m_tooLarge = false;
    m_lastState = NoState;
    m_lastHeaders.clear();

    QNetworkReply *reply = m_manager->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::socketStartedConnecting, this, [this, reply] {
        if (m_reply == reply)
            announce(Connecting);
    });
    connect(reply, &QNetworkReply::requestSent, this, [this, reply] {
        if (m_reply == reply)
            announce(RequestSent);
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        if (m_reply == reply) {
            m_lastHeaders = reply->rawHeaderPairs();
            announce(Receiving);
        }
    });
    return reply;
}

Inet::Result Inet::resultOf(QNetworkReply *reply) const
{
    Result result;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    result.httpStatus = status.isValid() ? status.toInt() : 0;
    const QNetworkReply::NetworkError error = reply->error();

    if (m_cancelled) {
        result.failure = Failure::Cancelled;
        result.errorText = tr("The transfer was cancelled.");
    } else if (m_refused) {
        result.failure = Failure::Refused;
    } else if (m_tooLarge) {
        result.failure = Failure::TooLarge;
        result.errorText = tr("The response is larger than the program accepts.");
    } else if (error == QNetworkReply::OperationCanceledError) {
        // Only the transfer time-out cancels a request that we did not.
        result.failure = Failure::TimedOut;
        result.errorText = tr("The service did not answer within %1 seconds.")
                               .arg(double(m_timeout.count()) / 1000.0);
    } else if (result.httpStatus != 0 && (result.httpStatus < 200 || result.httpStatus > 299) &&
               (error == QNetworkReply::NoError ||
                (error >= QNetworkReply::ContentAccessDenied &&
                 error <= QNetworkReply::UnknownContentError) ||
                (error >= QNetworkReply::InternalServerError &&
                 error <= QNetworkReply::UnknownServerError))) {
        result.failure = Failure::HttpStatus;
        const QString reason =
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        result.errorText =
            tr("The service answered HTTP %1 %2.").arg(result.httpStatus).arg(reason).trimmed();
    } else if (error != QNetworkReply::NoError) {
        result.failure = Failure::Network;
        result.errorText = reply->errorString();
    } else if (result.httpStatus == 0) {
        result.failure = Failure::Network;
        result.errorText = tr("The service sent no HTTP answer.");
    }
    return result;
}

bool Inet::OpenURL(const QUrl &url, TextDone done, qint64 maxBody)
{
    if (StillExecuting())
        return false;
    QNetworkReply *reply = start(url);
    auto body = std::make_shared<QByteArray>();
    connect(reply, &QNetworkReply::readyRead, this, [this, reply, body, maxBody] {
        if (m_reply != reply)
            return;
        announce(Receiving);
        body->append(reply->readAll());
        if (body->size() > maxBody) {
            m_tooLarge = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, body, done] {
        if (m_reply != reply)
            return;
        if (reply->isReadable())
            body->append(reply->readAll());
        Result result = resultOf(reply);
        result.bytesReceived = body->size();
        m_lastHeaders = reply->rawHeaderPairs();
        m_reply.clear();
        reply->deleteLater();
        // An error page still is the service's answer; the caller reads it.
        const bool answered = result.ok() || result.failure == Failure::HttpStatus;
        if (answered)
            announce(ResponseReceived);
        announce(answered ? Completed : Error);
        if (done)
            done(result, answered ? *body : QByteArray());
    });
    return true;
}

bool Inet::Execute(const QUrl &url, StreamHandlers handlers)
{
    if (StillExecuting())
        return false;
    QNetworkReply *reply = start(url);
    // Drained on every readyRead: memory stays flat whatever the file's size.
    reply->setReadBufferSize(1024 * 1024);
    auto shared = std::make_shared<StreamHandlers>(std::move(handlers));
    auto received = std::make_shared<qint64>(0);
    auto headersSent = std::make_shared<bool>(false);

    // True once a 2xx answer's headers have been handed over; the body of any
    // other answer (an error page, a redirect) is not the job's data.
    const auto sendHeaders = [reply, shared, headersSent] {
        if (*headersSent)
            return true;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status / 100 != 2)
            return false;
        *headersSent = true;
        if (shared->headers) {
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            shared->headers(length.isValid() ? length.toLongLong() : -1);
        }
        return true;
    };
    // One buffer for the whole body: each part is read into it.
    auto part = std::make_shared<QByteArray>();
    const auto readPart = [reply, part]() -> const QByteArray & {
        constexpr qsizetype partSize = 64 * 1024;
        part->resize(partSize);
        const qint64 got = reply->read(part->data(), partSize);
        part->resize(got > 0 ? qsizetype(got) : 0);
        return *part;
    };
    const auto deliver = [this, reply, shared, received](const QByteArray &data) {
        *received += data.size();
        if (shared->data && !shared->data(data)) {
            m_refused = true;
            return false;
        }
        return true;
    };

    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply, sendHeaders] {
        if (m_reply == reply)
            sendHeaders();
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply, sendHeaders, deliver, readPart] {
        if (m_reply != reply)
            return;
        announce(Receiving);
        const bool wanted = sendHeaders();
        while (m_reply == reply && reply->bytesAvailable() > 0) {
            const QByteArray &data = readPart();
            if (wanted && !deliver(data)) {
                reply->abort();
                return;
            }
        }
    });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, shared, received, sendHeaders, deliver, readPart] {
                if (m_reply != reply)
                    return;
                Result result = resultOf(reply);
                // What arrived with the end of the reply still belongs to the body.
                if (result.ok() && sendHeaders()) {
                    while (reply->bytesAvailable() > 0 && result.ok()) {
                        if (!deliver(readPart()))
                            result.failure = Failure::Refused;
                    }
                }
                const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
                // A body cut short ends as a closed connection; say what it was.
                if ((result.ok() || result.failure == Failure::Network) && length.isValid() &&
                    result.httpStatus / 100 == 2 && *received != length.toLongLong()) {
                    result.failure = Failure::ShortBody;
                    result.errorText = tr("The transfer ended after %1 of %2 bytes.")
                                           .arg(*received)
                                           .arg(length.toLongLong());
                }
                result.bytesReceived = *received;
                m_lastHeaders = reply->rawHeaderPairs();
                m_reply.clear();
                reply->deleteLater();
                if (result.ok())
                    announce(ResponseReceived);
                announce(result.ok() ? Completed : Error);
                if (shared->done)
                    shared->done(result);
            });
    return true;
}

void Inet::Cancel()
{
    if (!m_reply)
        return;
    m_cancelled = true;
    // abort() finishes the reply at once, inside this call.
    m_reply->abort();
}

QString Inet::GetHeader(const QByteArray &name) const
{
    for (const auto &[key, value] : m_lastHeaders) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(value);
    }
    return QString();
}

QString Inet::failureText(const Result &result)
{
    if (!result.errorText.isEmpty())
        return result.errorText;
    switch (result.failure) {
    case Failure::None:
        return QString();
    case Failure::Busy:
        return tr("Another transfer is running.");
    case Failure::Refused:
        return tr("The received data could not be stored.");
    default:
        return tr("The transfer failed.");
    }
}

QString Inet::stateText(int state)
{
    static const char *const texts[] = {
        "No state to report",
        "The control is looking up the IP address of the specified host computer",
        "The control successfully found the IP address of the specified host computer",
        "The control is connectiong to the host computer",
        "The control successfully connected to the host computer",
        "The control is sending a request to the host computer",
        "The control successfully sent the request",
        "The control is receiving a response from the host computer",
        "The control successfully received a response from the host computer",
        "The control is disconnection from the host computer",
        "The control successfully disconnected from the host computer",
        "An error occured in communicating with the host computer",
        "The request has completed and all data has been received",
    };
    if (state >= 0 && state < int(std::size(texts)))
        return QString::fromLatin1(texts[state]);
    return QStringLiteral("Unknown state: ") + QString::number(state);
}
