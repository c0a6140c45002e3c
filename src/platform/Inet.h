#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>

class QSocketNotifier;

// The transfer control: HTTP GETs on libcurl, at most one request at a time.
// libcurl's multi interface is driven from this object's thread by socket
// notifiers and one timer: requests end through callbacks, never by waiting,
// and connections are kept for the next request. The states of a request are
// announced through StateChanged, in the order they happen, as far as libcurl
// shows them: 1 resolving, 2 resolved, 3 connecting (a new connection only),
// 4 connected, 5 sending, 6 request sent, 7 receiving, 9 and 10 when the
// connection is closed during the request, then 8 and 12, or 11 for a failure.
//
// Every request follows one policy: http and https only, also for redirects
// (at most 10, never from https to http); TLS certificates always verified;
// no Accept-Encoding sent, so bodies arrive as served; no progress for the
// transfer time-out ends a text request, as does twice the time-out in all,
// and a streamed body slower than 1 KiB/s over the time-out ends too; HTTP/1.1; proxies as libcurl
// takes them from http_proxy, https_proxy and no_proxy.
class Inet : public QObject
{
    Q_OBJECT

public:
    enum State
    {
        NoState = 0,
        Resolving = 1,
        Resolved = 2,
        Connecting = 3,
        Connected = 4,
        Requesting = 5,
        RequestSent = 6,
        Receiving = 7,
        ResponseReceived = 8,
        Disconnecting = 9,
        Disconnected = 10,
        Error = 11,
        Completed = 12
    };
    Q_ENUM(State)

    // Why a request did not deliver a whole response.
    enum class Failure
    {
        None,
        Busy,       // another request was running; nothing was sent
        Network,    // no connection, refused, reset, TLS or protocol fault
        HttpStatus, // the service answered with a status outside 2xx
        ShortBody,  // the body ended before its announced length or mid-chunk
        TooLarge,   // the body passed the request's size limit
        TimedOut,   // no progress within the transfer time-out
        Cancelled,  // Cancel() was called
        Refused     // the handler refused the answer or its data (a full disk)
    };

    struct Result
    {
        Failure failure = Failure::None;
        int httpStatus = 0;
        QString errorText; // empty when the request succeeded; never the URL's query
        qint64 bytesReceived = 0;
        QString finalPath; // the path of the address that answered, after redirects

        bool ok() const { return failure == Failure::None; }
    };

    // A text request: the whole body, once the request ended. An answer with
    // any HTTP status counts as an answer (failure None, or HttpStatus with
    // the body); only a request that got no whole answer fails otherwise.
    using TextDone = std::function<void(const Result &result, const QByteArray &body)>;

    // A streamed request. `headers` comes once for a 2xx answer, before any of
    // its body, with its status and Content-Length (-1 when there is none),
    // and returns false to refuse the answer; `data` takes each part of that
    // body as it arrives (the body of any other answer is not read) and
    // returns false to end the request; both end the request as Refused.
    // `done` comes last, exactly once. A successful result means: no error, a
    // 2xx status and, where a length was announced, exactly that many bytes.
    struct StreamHandlers
    {
        std::function<bool(int status, qint64 contentLength)> headers;
        std::function<bool(const QByteArray &data)> data;
        std::function<void(const Result &result)> done;
    };

    using HeaderList = QList<QPair<QByteArray, QByteArray>>;

    // A streamed body is handed over in parts of at most this many bytes.
    static constexpr qint64 MaxPartSize = 256 * 1024;

    explicit Inet(QObject *parent = nullptr);
    ~Inet() override;

    bool StillExecuting() const { return m_request != nullptr; }

    // Text GET, the body limited to `maxBody` bytes. Returns false, and calls
    // nothing, when a request is running.
    bool OpenURL(const QUrl &url, TextDone done, qint64 maxBody = 64 * 1024 * 1024);

    // Streamed GET with extra request headers (for example Range). Returns
    // false, and calls nothing, when a request is running.
    bool Execute(const QUrl &url, StreamHandlers handlers, const HeaderList &requestHeaders = {});

    // Aborts the running request; its callback reports Cancelled, at once
    // unless Cancel() is called from inside one of the request's callbacks.
    void Cancel();

    // A header of the running or last response (the last of its name).
    QString GetHeader(const QByteArray &name) const;

    // No progress for this long ends a request (60 s unless set); libcurl
    // counts it in whole seconds.
    void setTransferTimeout(std::chrono::seconds timeout) { m_timeout = timeout; }
    std::chrono::seconds transferTimeout() const { return m_timeout; }

    // The text of a failure for the user.
    static QString failureText(const Result &result);

    // The status text of a state code (StateChanged), as the status bar shows
    // it; "Unknown state: N" outside 0-12.
    static QString GetInetStateText(int state);

Q_SIGNALS:
    void StateChanged(Inet::State state);

private:
    struct Request;
    // libcurl's handle and callbacks.
    struct Curl;

    bool start(std::unique_ptr<Request> request, const HeaderList &requestHeaders);
    void announce(State state);
    void watchSocket(qintptr socket, int what);
    void socketAction(qintptr socket, int events);
    // Calls libcurl, then takes what ended and resumes a paused request
    // from the event loop.
    void runCurl(const std::function<void()> &call);
    void takeFinished();
    void finish(int code);
    Result resultOf(const Request &request, int code) const;

    std::unique_ptr<Curl> m_curl;
    std::unique_ptr<Request> m_request;
    QTimer m_timer;
    // The notifiers of libcurl's sockets: read and write.
    QHash<qintptr, QPair<QSocketNotifier *, QSocketNotifier *>> m_sockets;
    HeaderList m_lastHeaders;
    std::chrono::seconds m_timeout{60};
    int m_lastState = NoState;
    int m_inCurl = 0;
    qint64 m_turnBytes = 0; // handed over since the event loop last ran
};
