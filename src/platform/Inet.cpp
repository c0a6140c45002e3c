#include "platform/Inet.h"

#include "platform/InetRequest.h"
#include "platform/Secrets.h"
#include "platform/Startup.h"
#include "platform/SystemTexts.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QUrlQuery>

#include <algorithm>
#include <iterator>
#include <mutex>

namespace {

void initialiseCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The text with every form of the URL, and of its query alone, taken out:
// the query holds the password of the service requests.
QString scrubbed(QString text, const QUrl &url)
{
    if (!text.isEmpty() && url.hasQuery()) {
        const QString bare = url.adjusted(QUrl::RemoveQuery).toString() + QStringLiteral("?...");
        for (const QString &form :
             {url.toString(QUrl::FullyEncoded), url.toString(), url.toDisplayString()})
            text.replace(form, bare);
        for (const QString &form : {url.query(QUrl::FullyEncoded), url.query(QUrl::PrettyDecoded),
                                    url.query(QUrl::FullyDecoded)}) {
            if (!form.isEmpty())
                text.replace(form, QStringLiteral("..."));
        }
    }
    return text;
}

// What a request's URL carries that no text may show: its query values and
// the password of its user:password@ part.
QStringList secretsOf(const QUrl &url)
{
    QStringList secrets{url.password(QUrl::FullyDecoded)};
    for (const auto &[name, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
        secrets << value;
    return secrets;
}

bool isHttps(const QUrl &url)
{
    return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

// The value of the last header `name` of an answer, or none.
const QByteArray *lastHeader(const Inet::HeaderList &headers, QByteArrayView name)
{
    for (auto it = headers.crbegin(); it != headers.crend(); ++it) {
        if (it->first.compare(name, Qt::CaseInsensitive) == 0)
            return &it->second;
    }
    return nullptr;
}

} // namespace

Inet::Inet(QObject *parent) : QObject(parent), m_curl(std::make_unique<Curl>())
{
    initialiseCurl();
    m_curl->multi = curl_multi_init();
    curl_multi_setopt(m_curl->multi, CURLMOPT_SOCKETFUNCTION, &Curl::onSocket);
    curl_multi_setopt(m_curl->multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_curl->multi, CURLMOPT_TIMERFUNCTION, &Curl::onTimer);
    curl_multi_setopt(m_curl->multi, CURLMOPT_TIMERDATA, this);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { socketAction(CURL_SOCKET_TIMEOUT, 0); });
}

Inet::~Inet()
{
    // Owners cancel what they still wait for; here nothing is called back,
    // and closing the connection announces nothing to owners half gone.
    blockSignals(true);
    if (m_request)
        curl_multi_remove_handle(m_curl->multi, m_request->easy);
    m_request.reset();
    curl_multi_setopt(m_curl->multi, CURLMOPT_SOCKETFUNCTION, nullptr);
    curl_multi_setopt(m_curl->multi, CURLMOPT_TIMERFUNCTION, nullptr);
    curl_multi_cleanup(m_curl->multi);
}

void Inet::announce(State state)
{
    if (m_lastState == state)
        return;
    m_lastState = state;
    Q_EMIT StateChanged(state);
}

void Inet::watchSocket(qintptr socket, int what)
{
    auto found = m_sockets.find(socket);
    if (what == CURL_POLL_REMOVE) {
        if (found == m_sockets.end())
            return;
        // Maybe inside the notifier's own signal: it goes later, silent now.
        for (QSocketNotifier *notifier : {found->first, found->second}) {
            if (notifier) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
        }
        m_sockets.erase(found);
        return;
    }
    if (found == m_sockets.end())
        found = m_sockets.insert(socket, {nullptr, nullptr});
    const auto watch = [this, socket](QSocketNotifier *&notifier, QSocketNotifier::Type type,
                                      bool wanted) {
        if (!notifier && wanted) {
            notifier = new QSocketNotifier(socket, type, this);
            connect(notifier, &QSocketNotifier::activated, this,
                    [this, notifier](QSocketDescriptor, QSocketNotifier::Type activated) {
                        if (notifier->isEnabled())
                            socketAction(notifier->socket(), activated == QSocketNotifier::Read
                                                                 ? CURL_CSELECT_IN
                                                                 : CURL_CSELECT_OUT);
                    });
        }
        if (notifier)
            notifier->setEnabled(wanted);
    };
    watch(found->first, QSocketNotifier::Read, what & CURL_POLL_IN);
    watch(found->second, QSocketNotifier::Write, what & CURL_POLL_OUT);
}

void Inet::socketAction(qintptr socket, int events)
{
    runCurl([&] {
        int running = 0;
        curl_multi_socket_action(m_curl->multi, curl_socket_t(socket), events, &running);
    });
}

void Inet::runCurl(const std::function<void()> &call)
{
    QPointer<Inet> self(this);
    m_turnBytes = 0;
    ++m_inCurl;
    call();
    if (!self)
        return;
    --m_inCurl;
    takeFinished();
    if (!self || !m_request || !m_request->paused)
        return;
    // Other events first, then the request goes on.
    QMetaObject::invokeMethod(
        this,
        [this, request = m_request.get()] {
            if (m_request.get() != request || !request->paused)
                return;
            request->paused = false;
            runCurl([request] { curl_easy_pause(request->easy, CURLPAUSE_CONT); });
        },
        Qt::QueuedConnection);
}

void Inet::takeFinished()
{
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(m_curl->multi, &left)) {
        if (message->msg == CURLMSG_DONE && m_request && message->easy_handle == m_request->easy) {
            QPointer<Inet> self(this);
            finish(message->data.result);
            if (!self)
                return;
        }
    }
}

bool Inet::start(std::unique_ptr<Request> request, const HeaderList &requestHeaders)
{
    if (m_request)
        return false;
    CURL *easy = request->easy;
    if (!easy)
        return false;
    const QByteArray url = request->url.toEncoded();
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, request->error);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    // A request that starts on https stays on https, whatever the answers say.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                     isHttps(request->url) ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    // A CA bundle named as curl's tools take it replaces the system's: offices
    // with their own certificate authority need it.
    for (const char *variable : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
        const QByteArray bundle = qgetenv(variable);
        if (!bundle.isEmpty()) {
            curl_easy_setopt(easy, CURLOPT_CAINFO, bundle.constData());
            break;
        }
    }
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    const long seconds = std::max<long>(1, long(m_timeout.count()));
    // A text answer ends within twice the time-out however slowly it drips;
    // a job's body must average 1 KiB/s over the time-out.
    if (request->text)
        curl_easy_setopt(easy, CURLOPT_TIMEOUT, 2 * seconds);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, request->text ? 1L : 1024L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, seconds);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, std::min(seconds, 30L));
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, long(MaxPartSize));
    const QByteArray agent = "QuilletInetTool/" + Startup::version().toLatin1();
    curl_easy_setopt(easy, CURLOPT_USERAGENT, agent.constData());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Curl::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Curl::onData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_RESOLVER_START_FUNCTION, &Curl::onResolverStart);
    curl_easy_setopt(easy, CURLOPT_RESOLVER_START_DATA, this);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &Curl::onOpenSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &Curl::onCloseSocket);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Curl::onPrerequest);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
    for (const auto &[name, value] : requestHeaders) {
        const QByteArray line = name + ": " + value;
        request->requestHeaders = curl_slist_append(request->requestHeaders, line.constData());
    }
    if (request->requestHeaders)
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, request->requestHeaders);

    m_lastState = NoState;
    m_lastHeaders.clear();
    m_request = std::move(request);
    if (curl_multi_add_handle(m_curl->multi, easy) != CURLM_OK) {
        m_request.reset();
        return false;
    }
    return true;
}

bool Inet::OpenURL(const QUrl &url, TextDone done, qint64 maxBody)
{
    if (m_request)
        return false;
    auto request = std::make_unique<Request>(url);
    request->text = true;
    request->textDone = std::move(done);
    request->maxBody = maxBody;
    return start(std::move(request), {});
}

bool Inet::Execute(const QUrl &url, StreamHandlers handlers, const HeaderList &requestHeaders)
{
    if (m_request)
        return false;
    auto request = std::make_unique<Request>(url);
    request->stream = std::move(handlers);
    return start(std::move(request), requestHeaders);
}

Inet::Result Inet::resultOf(const Request &request, int code) const
{
    Result result;
    result.httpStatus = request.status;
    result.bytesReceived = request.received;
    curl_off_t announced = -1;
    curl_easy_getinfo(request.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    const bool answered = request.status >= 200 && request.status <= 299;
    const char *effective = nullptr;
    if (curl_easy_getinfo(request.easy, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK &&
        effective)
        result.finalPath = QUrl(QString::fromUtf8(effective)).path();

    if (request.cancelled) {
        result.failure = Failure::Cancelled;
        result.errorText = tr("The transfer was cancelled.");
    } else if (request.refused) {
        result.failure = Failure::Refused;
    } else if (request.tooLarge) {
        result.failure = Failure::TooLarge;
        result.errorText = tr("The response is larger than the program accepts.");
    } else if (code == CURLE_UNSUPPORTED_PROTOCOL && isHttps(request.url)) {
        result.failure = Failure::Network;
        result.errorText = tr("The service redirected the request from https to an insecure "
                              "address; it was not followed.");
    } else if (code == CURLE_OPERATION_TIMEDOUT) {
        const qint64 seconds = std::max<qint64>(1, qint64(m_timeout.count()));
        curl_off_t took = 0;
        curl_easy_getinfo(request.easy, CURLINFO_TOTAL_TIME_T, &took);
        result.failure = Failure::TimedOut;
        result.errorText =
            request.text && took >= 2 * seconds * 1000000
                ? tr("The service's answer did not end within %1 seconds.").arg(2 * seconds)
                : tr("The service did not answer within %1 seconds.").arg(seconds);
    } else if ((code == CURLE_OK || request.droppedBody) && request.status != 0 && !answered) {
        result.failure = Failure::HttpStatus;
        QString reason = QString::fromLatin1(request.reason.left(100)).simplified();
        reason.removeIf([](QChar c) { return !c.isPrint(); });
        result.errorText = tr("The service answered HTTP %1 %2").arg(request.status).arg(reason);
        result.errorText = result.errorText.trimmed() + QLatin1Char('.');
    } else if (answered && !request.text && lastHeader(request.headers, "Content-Length") &&
               lastHeader(request.headers, "Transfer-Encoding")) {
        // The chunks override the length, which may tell of a longer file.
        result.failure = Failure::ShortBody;
        result.errorText = tr("The service sent the file in chunks and announced its length; "
                              "a file so framed is not taken.");
    } else if (answered && announced >= 0 && request.received != announced &&
               (code == CURLE_OK || code == CURLE_PARTIAL_FILE || code == CURLE_RECV_ERROR)) {
        result.failure = Failure::ShortBody;
        result.errorText = tr("The transfer ended after %1 of %2 bytes.")
                               .arg(request.received)
                               .arg(qint64(announced));
    } else if (code == CURLE_PARTIAL_FILE) {
        result.failure = Failure::ShortBody;
        result.errorText = tr("The transfer ended before the whole body arrived (%1).")
                               .arg(QString::fromUtf8(request.error));
    } else if (code != CURLE_OK) {
        result.failure = Failure::Network;
        result.errorText = QString::fromUtf8(request.error);
        if (result.errorText.isEmpty())
            result.errorText = QString::fromUtf8(curl_easy_strerror(CURLcode(code)));
    } else if (request.status == 0) {
        result.failure = Failure::Network;
        result.errorText = tr("The service sent no HTTP answer.");
    }
    result.errorText = Secrets::cleanLine(
        Secrets::scrub(scrubbed(result.errorText.trimmed(), request.url), secretsOf(request.url)));
    return result;
}

void Inet::finish(int code)
{
    std::unique_ptr<Request> request = std::move(m_request);
    curl_multi_remove_handle(m_curl->multi, request->easy);
    if (!request->text && !request->answerStarted && code == CURLE_OK &&
        request->status / 100 == 2) {
        // An empty body: its headers still come before the end.
        request->answerStarted = true;
        curl_off_t announced = -1;
        curl_easy_getinfo(request->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        if (request->stream.headers && !request->stream.headers(request->status, announced))
            request->refused = true;
    }
    const Result result = resultOf(*request, code);
    m_lastHeaders = request->headers;

    QPointer<Inet> self(this);
    // An error page still is the service's answer to a text request.
    const bool answered = result.ok() || (request->text && result.failure == Failure::HttpStatus);
    if (answered)
        announce(ResponseReceived);
    if (self)
        announce(answered ? Completed : Error);
    if (!self)
        return;
    if (request->text) {
        if (request->textDone)
            request->textDone(result, answered ? request->body : QByteArray());
    } else if (request->stream.done) {
        request->stream.done(result);
    }
}

void Inet::Cancel()
{
    if (!m_request || m_request->cancelled)
        return;
    m_request->cancelled = true;
    if (m_inCurl == 0) {
        finish(CURLE_ABORTED_BY_CALLBACK);
        return;
    }
    // libcurl is running this request's callbacks: end it once they return.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_request && m_request->cancelled)
                finish(CURLE_ABORTED_BY_CALLBACK);
        },
        Qt::QueuedConnection);
}

QString Inet::GetHeader(const QByteArray &name) const
{
    const QByteArray *value = lastHeader(m_request ? m_request->headers : m_lastHeaders, name);
    return value ? QString::fromLatin1(*value) : QString();
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

QString Inet::GetInetStateText(int state)
{
    static const char *const texts[] = {
        "No state to report",
        "The control is looking up the IP address of the specified host computer",
        "The control successfully found the IP address of the specified host computer",
        SystemTexts::stateConnecting,
        "The control successfully connected to the host computer",
        "The control is sending a request to the host computer",
        "The control successfully sent the request",
        "The control is receiving a response from the host computer",
        "The control successfully received a response from the host computer",
        SystemTexts::stateDisconnecting,
        "The control successfully disconnected from the host computer",
        SystemTexts::stateError,
        "The request has completed and all data has been received",
    };
    if (state >= 0 && state < int(std::size(texts)))
        return QString::fromLatin1(texts[state]);
    return QStringLiteral("Unknown state: ") + QString::number(state);
}
