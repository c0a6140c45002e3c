#pragma once

// The transfer control's side of libcurl: one request's state, and the
// callbacks libcurl calls with the control as their user data.

#include "platform/Inet.h"

#include <curl/curl.h>

struct Inet::Request
{
    explicit Request(const QUrl &url) : url(url), easy(curl_easy_init()) {}
    ~Request()
    {
        curl_easy_cleanup(easy);
        curl_slist_free_all(requestHeaders);
    }
    Request(const Request &) = delete;
    Request &operator=(const Request &) = delete;

    QUrl url;
    CURL *easy;
    curl_slist *requestHeaders = nullptr;
    char error[CURL_ERROR_SIZE] = {};

    // A text request keeps its whole body; a streamed one hands it over.
    bool text = false;
    TextDone textDone;
    QByteArray body;
    qint64 maxBody = 0;
    StreamHandlers stream;

    HeaderList headers;
    int status = 0;
    QByteArray reason;
    bool answerStarted = false; // the headers of the final answer were looked at
    bool bodyWanted = false;
    qint64 received = 0;

    bool cancelled = false;
    bool refused = false;
    bool tooLarge = false;
    bool droppedBody = false; // an answer outside 2xx, not read
    bool paused = false;
};

struct Inet::Curl
{
    CURLM *multi = nullptr;

    static int onSocket(CURL *, curl_socket_t socket, int what, void *inet, void *);
    static int onTimer(CURLM *, long timeoutMs, void *inet);
    static int onResolverStart(void *, void *, void *inet);
    static curl_socket_t onOpenSocket(void *inet, curlsocktype, curl_sockaddr *address);
    static int onCloseSocket(void *inet, curl_socket_t socket);
    static int onPrerequest(void *inet, char *, char *, int, int);
    static size_t onHeader(char *data, size_t size, size_t count, void *inet);
    static size_t onData(char *data, size_t size, size_t count, void *inet);
};
