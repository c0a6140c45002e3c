#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// The transfer control: one QNetworkAccessManager and at most one request at
// a time. Requests end through callbacks, never by waiting; the states of a
// request are announced through StateChanged with these codes:
//   3 connecting, 6 request sent, 7 receiving, 8 response received,
//   11 error, 12 complete.
class Inet : public QObject
{
    Q_OBJECT

public:
    enum State
    {
        NoState = 0,
        Connecting = 3,
        Connected = 4,
        RequestSent = 6,
        Receiving = 7,
        ResponseReceived = 8,
        Error = 11,
        Completed = 12
    };

    // Why a request did not deliver a whole response.
    enum class Failure
    {
        None,
        Busy,       // another request was running; nothing was sent
        Network,    // no connection, refused, reset, TLS or protocol fault
        HttpStatus, // the service answered with a status outside 2xx
        ShortBody,  // fewer bytes than the announced Content-Length
        TooLarge,   // the body passed the request's size limit
        TimedOut,   // no progress within the transfer time-out
        Cancelled,  // Cancel() was called
        Refused     // the handler refused the data (for example a full disk)
    };

    struct Result
    {
        Failure failure = Failure::None;
        int httpStatus = 0;
        QString errorText; // empty when the request succeeded
        qint64 bytesReceived = 0;

        bool ok() const { return failure == Failure::None; }
    };

    // A text request: the whole body, once the request ended. An answer with
    // any HTTP status counts as an answer (failure None, or HttpStatus with
    // the body); only a request that got no whole answer fails otherwise.
    using TextDone = std::function<void(const Result &result, const QByteArray &body)>;

    // A streamed request. `headers` comes once the headers of a 2xx answer
    // are in, before any of its body, with the Content-Length (-1 when there
    // is none); `data` takes each part of a 2xx answer's body as it arrives
    // (the body of any other answer is dropped) and returns false to end the
    // request (the result then reads Refused); `done` comes last, exactly
    // once. A
    // successful result means: no error, a 2xx status and, where a length was
    // announced, exactly that many bytes.
    struct StreamHandlers
    {
        std::function<void(qint64 contentLength)> headers;
        std::function<bool(const QByteArray &data)> data;
        std::function<void(const Result &result)> done;
    };

    explicit Inet(QObject *parent = nullptr);
    ~Inet() override;

    bool StillExecuting() const { return !m_reply.isNull(); }

    // Text GET, the body limited to `maxBody` bytes. Returns false, and calls
    // nothing, when a request is running.
    bool OpenURL(const QUrl &url, TextDone done, qint64 maxBody = 64 * 1024 * 1024);

    // Streamed GET. Returns false, and calls nothing, when a request is running.
    bool Execute(const QUrl &url, StreamHandlers handlers);

    // Aborts the running request; its callback reports Cancelled.
    void Cancel();

    // A header of the running or last response.
    QString GetHeader(const QByteArray &name) const;

    // No progress for this long ends a request (60 s unless set).
    void setTransferTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    std::chrono::milliseconds transferTimeout() const { return m_timeout; }

    // The text of a failure for the user.
    static QString failureText(const Result &result);

    // The status text of a state code.
    static QString stateText(int state);

Q_SIGNALS:
    void StateChanged(int state);

private:
    QNetworkReply *start(const QUrl &url);
    void announce(State state);
    Result resultOf(QNetworkReply *reply) const;

    QNetworkAccessManager *m_manager;
    QPointer<QNetworkReply> m_reply;
    QList<QPair<QByteArray, QByteArray>> m_lastHeaders;
    std::chrono::milliseconds m_timeout{60000};
    bool m_cancelled = false;
    bool m_refused = false;
    bool m_tooLarge = false;
    int m_lastState = NoState;
};
