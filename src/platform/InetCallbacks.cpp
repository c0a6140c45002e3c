#include "platform/InetRequest.h"

#include <QTimer>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>

namespace {

// libcurl reads on while a socket has data: after this many bytes handed
// over, the request pauses until the event loop has had its turn.
constexpr qint64 bytesPerTurn = 1024 * 1024;

Inet *owner(void *inet)
{
    return static_cast<Inet *>(inet);
}

} // namespace

int Inet::Curl::onSocket(CURL *, curl_socket_t socket, int what, void *inet, void *)
{
    owner(inet)->watchSocket(socket, what);
    return 0;
}

int Inet::Curl::onTimer(CURLM *, long timeoutMs, void *inet)
{
    // libcurl must not be called from here: the timer does it.
    QTimer &timer = owner(inet)->m_timer;
    if (timeoutMs < 0)
        timer.stop();
    else
        timer.start(int(std::min<long>(timeoutMs, 24L * 3600 * 1000)));
    return 0;
}

int Inet::Curl::onResolverStart(void *, void *, void *inet)
{
    owner(inet)->announce(Resolving);
    return 0;
}

curl_socket_t Inet::Curl::onOpenSocket(void *inet, curlsocktype, curl_sockaddr *address)
{
    Inet *self = owner(inet);
    if (self->m_lastState == Resolving)
        self->announce(Resolved);
    self->announce(Connecting);
#ifdef Q_OS_WIN
    return ::WSASocketW(address->family, address->socktype, address->protocol, nullptr, 0,
                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
#else
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
#endif
}

int Inet::Curl::onCloseSocket(void *inet, curl_socket_t socket)
{
    Inet *self = owner(inet);
    const bool during = self->m_request != nullptr;
    if (during)
        self->announce(Disconnecting);
#ifdef Q_OS_WIN
    const int closed = ::closesocket(socket);
#else
    const int closed = ::close(socket);
#endif
    if (during)
        self->announce(Disconnected);
    return closed;
}

int Inet::Curl::onPrerequest(void *inet, char *, char *, int, int)
{
    owner(inet)->announce(Connected);
    owner(inet)->announce(Requesting);
    return CURL_PREREQFUNC_OK;
}

size_t Inet::Curl::onHeader(char *data, size_t size, size_t count, void *inet)
{
    Inet *self = owner(inet);
    Request &request = *self->m_request;
    const size_t length = size * count;
    if (request.cancelled)
        return 0;
    const QByteArray line = QByteArray(data, qsizetype(length)).trimmed();
    if (self->m_lastState < RequestSent)
        self->announce(RequestSent);
    self->announce(Receiving);
    if (line.startsWith("HTTP/")) {
        // A new answer: a redirect's, an interim one's or the final one's.
        // Its code comes from libcurl, which decides on redirects with it;
        // the reason phrase is only shown.
        request.headers.clear();
        request.status = 0;
        const qsizetype code = line.indexOf(' ');
        qsizetype reason = code < 0 ? line.size() : code + 1;
        while (reason < line.size() &&
               (std::isdigit(uchar(line.at(reason))) || line.at(reason) == ' '))
            ++reason;
        request.reason = line.mid(reason).trimmed();
        return length;
    }
    if (line.isEmpty()) {
        long status = 0;
        curl_easy_getinfo(request.easy, CURLINFO_RESPONSE_CODE, &status);
        request.status = int(status);
        return length;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return length;
    request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    return length;
}

size_t Inet::Curl::onData(char *data, size_t size, size_t count, void *inet)
{
    Inet *self = owner(inet);
    Request &request = *self->m_request;
    const size_t length = size * count;
    if (request.cancelled)
        return 0;
    if (self->m_turnBytes >= bytesPerTurn) {
        // libcurl keeps this part and hands it over again once resumed.
        request.paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    self->m_turnBytes += qint64(length);
    self->announce(Receiving);
    if (!request.answerStarted) {
        request.answerStarted = true;
        long status = 0;
        curl_easy_getinfo(request.easy, CURLINFO_RESPONSE_CODE, &status);
        request.status = int(status);
        request.bodyWanted = request.text || status / 100 == 2;
        if (!request.text && request.bodyWanted && request.stream.headers) {
            curl_off_t announced = -1;
            curl_easy_getinfo(request.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
            if (!request.stream.headers(request.status, announced)) {
                request.refused = true;
                return 0;
            }
        }
    }
    if (!request.bodyWanted) {
        // An error page is no part of the job's data.
        request.droppedBody = true;
        return 0;
    }
    request.received += qint64(length);
    if (request.text) {
        if (request.received > request.maxBody) {
            request.tooLarge = true;
            return 0;
        }
        request.body.append(data, qsizetype(length));
        return length;
    }
    if (request.stream.data &&
        !request.stream.data(QByteArray::fromRawData(data, qsizetype(length)))) {
        request.refused = true;
        return 0;
    }
    return length;
}
