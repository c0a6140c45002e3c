#include "MisbehavingServer.h"
#include "demo/DemoJobService.h"
#include "platform/Inet.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "service/PlainTransferHost.h"
#include "service/ServiceUrls.h"

#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

#include <optional>

using Kind = MisbehavingServer::Kind;

namespace {

struct Listing
{
    std::optional<DownloadTools::RequestOutcome> outcome;
    QString failure;
};

struct Streamed
{
    QByteArray received;
    qint64 announced = -2;
    qint64 largestPart = 0;
    std::optional<Inet::Result> result;
};

QString decodedValue(const QString &target, const char *name)
{
    return QUrlQuery(QUrl(QStringLiteral("http://h") + target))
        .queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
}

} // namespace

class tst_Requests : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void indexRequest();
    void queryValues_data();
    void queryValues();
    void skippedWhileTheControlExecutes();
    void failedIndexRequestKeepsThePreviousText_data();
    void failedIndexRequestKeepsThePreviousText();
    void errorPageIsStoredForTheReading();
    void statusUpdate_data();
    void statusUpdate();
    void oneRequestAtATimeAndCancel();
    void statesInOrder();
    void streamedRequests_data();
    void streamedRequests();
    void streamedBodyIsHandedOverInParts();
    void demoService();

private:
    Listing retrieve();
    std::optional<bool> updateStatuses();
    void addJobs(const QList<bool> &downloaded);
    Streamed stream(const QString &url, bool refuse = false);

    std::unique_ptr<MisbehavingServer> m_server;
    std::unique_ptr<RecordingMessageSink> m_messages;
    std::unique_ptr<DownloadTools> m_tools;
    std::unique_ptr<PlainTransferHost> m_host;
};

void tst_Requests::init()
{
    m_server = std::make_unique<MisbehavingServer>();
    m_messages = std::make_unique<RecordingMessageSink>();
    m_tools = std::make_unique<DownloadTools>(*m_messages);
    m_host = std::make_unique<PlainTransferHost>();
    Profile &profile = m_tools->gProfile();
    profile.gStrBaseURL = m_server->base() + QStringLiteral("/remote_tools/");
    profile.gGUID = QStringLiteral("G-1");
    profile.gLogin = QStringLiteral("ann");
    profile.gPassword = QStringLiteral("pw");
}

void tst_Requests::cleanup()
{
    m_host.reset();
    m_tools.reset();
    m_server.reset();
}

Listing tst_Requests::retrieve()
{
    auto listing = std::make_shared<Listing>();
    m_tools->RetrieveJobListing(
        *m_host, [listing](DownloadTools::RequestOutcome outcome, const QString &failure) {
            listing->outcome = outcome;
            listing->failure = failure;
        });
    if (!QTest::qWaitFor([&] { return listing->outcome.has_value(); }, 10000))
        qWarning("the index request did not end");
    return *listing;
}

std::optional<bool> tst_Requests::updateStatuses()
{
    auto result = std::make_shared<std::optional<bool>>();
    int calls = 0;
    m_tools->UpdateJobStatuses(*m_host, [result, &calls](bool allConfirmed) {
        *result = allConfirmed;
        ++calls;
    });
    if (!QTest::qWaitFor([&] { return result->has_value(); }, 10000))
        qWarning("the status update did not end");
    // Exactly one ending, also after the event loop ran on.
    QTest::qWait(20);
    if (calls > 1)
        qWarning("the status update ended more than once");
    return calls == 1 ? *result : std::nullopt;
}

void tst_Requests::addJobs(const QList<bool> &downloaded)
{
    for (int i = 0; i < downloaded.size(); ++i) {
        Job job;
        job.gLngID = QString::number(i + 1);
        job.gBlnDownloadCompleted = downloaded.at(i);
        QVERIFY(m_tools->gColDownloads.Add(job, job.gLngID));
    }
}

// The answer at `url`, streamed; `refuse` makes the data handler refuse each part.
Streamed tst_Requests::stream(const QString &url, bool refuse)
{
    auto out = std::make_shared<Streamed>();
    Inet::StreamHandlers handlers;
    handlers.headers = [out](int, qint64 length) {
        out->announced = length;
        return true;
    };
    handlers.data = [out, refuse](const QByteArray &data) {
        out->received += data;
        out->largestPart = std::max(out->largestPart, qint64(data.size()));
        return !refuse;
    };
    handlers.done = [out](const Inet::Result &result) {
        out->result = result;
    };
    if (!m_host->inet().Execute(QUrl(url), handlers))
        qWarning("the request was not started");
    else if (!QTest::qWaitFor([&] { return out->result.has_value(); }, 10000))
        qWarning("the request did not end");
    return *out;
}

void tst_Requests::indexRequest()
{
    m_server->when("job_index.asp", MisbehavingServer::answer("<jobs/>"));
    m_host->setProgressValue(55);
    const Listing listing = retrieve();
    QCOMPARE(listing.outcome, DownloadTools::RequestOutcome::Finished);
    QCOMPARE(m_server->targets,
             QStringList{"/remote_tools/job_index.asp?SessionID=G-1&LG=ann&PW=pw"});
    QCOMPARE(m_tools->xmlIndex, QStringLiteral("<jobs/>"));
    QCOMPARE(m_host->progressValue(), 0.0);
    QCOMPARE(m_host->statusHistory,
             (QStringList{"Retrieving Job Index", "Finished Retrieving Job Index"}));
}

void tst_Requests::queryValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("asStored");
    QTest::newRow("ampersand, blank, hash") << "a&b c#d" << false;
    QTest::newRow("plus, equals, question, percent") << "x+y=z?%41" << false;
    QTest::newRow("non-ASCII") << QStringLiteral("M\u00fcller \U0001F600") << false;
    QTest::newRow("control character") << "tab\there" << false;
    QTest::newRow("letters and digits") << "Ann1975" << true;
    QTest::newRow("punctuation") << "p.ss-w_rd~!$'()*,;:@/" << true;
    QTest::newRow("empty") << "" << true;
}

void tst_Requests::queryValues()
{
    QFETCH(QString, value);
    QFETCH(bool, asStored);
    Profile &profile = m_tools->gProfile();
    profile.gPassword = value;
    profile.gLogin = value;
    profile.gGUID = value;
    retrieve();
    QCOMPARE(m_server->targets.size(), 1);
    const QString target = m_server->targets.first();
    QCOMPARE(decodedValue(target, "PW"), value);
    QCOMPARE(decodedValue(target, "LG"), value);
    QCOMPARE(decodedValue(target, "SessionID"), value);
    QCOMPARE(target.count(QLatin1Char('&')), 2);
    const QString plain = "job_index.asp?SessionID=" + value + "&LG=" + value + "&PW=" + value;
    QCOMPARE(target == "/remote_tools/" + plain, asStored);
    QCOMPARE(ServiceUrls::indexUrlText(profile) == profile.gStrBaseURL + plain, asStored);
    if (asStored)
        QCOMPARE(ServiceUrls::statusUrlText(profile, "42"),
                 profile.gStrBaseURL + "job_status_update.asp?ID=42&LG=" + value + "&PW=" + value);
}

void tst_Requests::skippedWhileTheControlExecutes()
{
    m_server->when("/files/", MisbehavingServer::of(Kind::Stall));
    QVERIFY(m_host->inet().Execute(QUrl(m_server->base() + "/files/1.wav"), {}));
    QTRY_COMPARE(m_server->targets.size(), 1);
    m_tools->xmlIndex = QStringLiteral("<jobs>previous</jobs>");
    m_host->setProgressValue(42);
    m_host->setStatusText(QStringLiteral("Receiving"));

    bool called = false;
    m_tools->RetrieveJobListing(*m_host,
                                [&](DownloadTools::RequestOutcome outcome, const QString &) {
                                    called = true;
                                    QCOMPARE(outcome, DownloadTools::RequestOutcome::Skipped);
                                });
    QVERIFY(called);
    QTest::qWait(50);
    QCOMPARE(m_server->targets.size(), 1);
    QCOMPARE(m_host->progressValue(), 42.0);
    QCOMPARE(m_host->statusText(), QStringLiteral("Receiving"));
    QCOMPARE(m_tools->xmlIndex, QStringLiteral("<jobs>previous</jobs>"));
    m_host->inet().Cancel();
}

void tst_Requests::failedIndexRequestKeepsThePreviousText_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no connection") << "refused"
                                   << "";
    QTest::newRow("stall past the time-out") << "stall"
                                             << "did not answer within 1 seconds";
    QTest::newRow("answer above 64 MiB") << "large"
                                         << "larger than the program accepts";
}

void tst_Requests::failedIndexRequestKeepsThePreviousText()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    if (fault == "refused")
        m_tools->gProfile().gStrBaseURL = QStringLiteral("http://127.0.0.1:%1/remote_tools/")
                                              .arg(MisbehavingServer::closedPort());
    else if (fault == "stall")
        m_server->when("job_index.asp", MisbehavingServer::of(Kind::Stall));
    else
        m_server->when("job_index.asp",
                       MisbehavingServer::answer(QByteArray(DownloadTools::MaxIndexSize + 1, ' ')));
    m_host->inet().setTransferTimeout(std::chrono::seconds(1));
    m_tools->gProfile().gPassword = QStringLiteral("s3cret");
    m_tools->xmlIndex = QStringLiteral("previous");
    const Listing listing = retrieve();
    QCOMPARE(listing.outcome, DownloadTools::RequestOutcome::Failed);
    QCOMPARE(m_host->statusText(), QStringLiteral("Retrieving Job Index"));
    QCOMPARE(m_tools->xmlIndex, QStringLiteral("previous"));
    QVERIFY2(listing.failure.contains(reason), qPrintable(listing.failure));
    QVERIFY(listing.failure.contains(QLatin1String("job_index.asp?SessionID=G-1&LG=ann&PW=***")));
    QVERIFY(!listing.failure.contains(QLatin1String("s3cret")));
    QVERIFY(!m_host->inet().StillExecuting());
}

void tst_Requests::errorPageIsStoredForTheReading()
{
    const QByteArray page = "<html><body>Internal error</body></html>";
    m_server->when("job_index.asp", MisbehavingServer::answer(page, 500));
    QCOMPARE(retrieve().outcome, DownloadTools::RequestOutcome::Finished);
    QCOMPARE(m_tools->xmlIndex, QString::fromLatin1(page));
    QVERIFY(!m_tools->PopluateJobCollecionFromIndexFile());
    QCOMPARE(m_messages->texts().size(), 1);
}

void tst_Requests::statusUpdate_data()
{
    QTest::addColumn<QByteArray>("secondAnswer");
    QTest::addColumn<bool>("secondDownloaded");
    QTest::addColumn<QList<bool>>("confirmed");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("requested");

    const auto add = [](const char *name, const char *answer, bool downloaded,
                        const QList<bool> &confirmed, const QStringList &requested) {
        QTest::newRow(name) << QByteArray(answer) << downloaded << confirmed
                            << !confirmed.contains(false) << requested;
    };
    const QStringList all{"1", "2", "3"};
    add("all confirmed", "Update Sucessful", true, {true, true, true}, all);
    add("second lacks the word", "Update failed", true, {true, false, true}, all);
    add("correct spelling is no confirmation", "Update Successful", true, {true, false, true}, all);
    add("capitals confirm", "UPDATE SUCESSFUL!", true, {true, true, true}, all);
    add("error page without the word", "!500", true, {true, false, true}, all);
    add("second request fails", "!refuse", true, {true, false, false}, {"1", "2"});
    add("second not received", "Update Sucessful", false, {true, false, true}, {"1", "3"});
}

void tst_Requests::statusUpdate()
{
    QFETCH(QByteArray, secondAnswer);
    QFETCH(bool, secondDownloaded);
    QFETCH(QList<bool>, confirmed);
    QFETCH(bool, result);
    QFETCH(QStringList, requested);

    if (secondAnswer == "!refuse")
        m_server->when("ID=2&", MisbehavingServer::of(Kind::Refuse));
    else if (secondAnswer == "!500")
        m_server->when("ID=2&", MisbehavingServer::answer("<html>oops</html>", 500));
    else
        m_server->when("ID=2&", MisbehavingServer::answer(secondAnswer));
    m_server->when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));
    addJobs({true, secondDownloaded, true});

    QCOMPARE(updateStatuses(), std::optional<bool>(result));
    QStringList ids;
    for (const QString &target : m_server->targets) {
        QVERIFY(target.startsWith(QLatin1String("/remote_tools/job_status_update.asp?ID=")));
        QVERIFY(target.endsWith(QLatin1String("&LG=ann&PW=pw")));
        ids << decodedValue(target, "ID");
    }
    // Qt sends a request once more when the connection closes before any answer.
    ids.removeDuplicates();
    QCOMPARE(ids, requested);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_tools->gColDownloads.Item(i + 1)->gBlnStatusUpdated, confirmed.at(i));
}

void tst_Requests::oneRequestAtATimeAndCancel()
{
    m_server->when("slow", MisbehavingServer::of(Kind::Stall));
    Inet &inet = m_host->inet();
    int calls = 0;
    Inet::Result seen;
    QVERIFY(inet.OpenURL(QUrl(m_server->base() + "/slow"),
                         [&](const Inet::Result &r, const QByteArray &) {
                             ++calls;
                             seen = r;
                         }));
    QVERIFY(inet.StillExecuting());
    bool secondCalled = false;
    QVERIFY(!inet.OpenURL(QUrl(m_server->base() + "/other"),
                          [&](const Inet::Result &, const QByteArray &) { secondCalled = true; }));
    QVERIFY(!inet.Execute(QUrl(m_server->base() + "/other"), {}));
    QTRY_COMPARE(m_server->targets.size(), 1);
    inet.Cancel();
    QCOMPARE(calls, 1);
    QCOMPARE(seen.failure, Inet::Failure::Cancelled);
    QVERIFY(!inet.StillExecuting());
    inet.Cancel(); // nothing running: nothing happens
    QTest::qWait(20);
    QCOMPARE(calls, 1);
    QVERIFY(!secondCalled);
    QCOMPARE(m_server->targets, QStringList{"/slow"});
}

void tst_Requests::statesInOrder()
{
    Inet &inet = m_host->inet();
    QSignalSpy states(&inet, &Inet::StateChanged);
    bool done = false;
    QVERIFY(inet.OpenURL(QUrl(m_server->base() + "/page"),
                         [&](const Inet::Result &, const QByteArray &) { done = true; }));
    QTRY_VERIFY(done);
    QList<int> codes;
    for (const QList<QVariant> &state : states)
        codes << state.at(0).toInt();
    // The test server closes the connection after its answer.
    QCOMPARE(codes, (QList<int>{1, 2, 3, 4, 5, 6, 7, 9, 10, 8, 12}));

    states.clear();
    done = false;
    QVERIFY(inet.OpenURL(
        QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(MisbehavingServer::closedPort())),
        [&](const Inet::Result &, const QByteArray &) { done = true; }));
    QTRY_VERIFY(done);
    QVERIFY(!states.isEmpty());
    QCOMPARE(states.last().at(0).toInt(), 11);
}

void tst_Requests::streamedRequests_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("noLength");
    QTest::addColumn<int>("failure");

    using F = Inet::Failure;
    const auto add = [](const char *name, Kind kind, int status, bool noLength, F failure) {
        QTest::newRow(name) << int(kind) << status << noLength << int(failure);
    };
    add("whole body", Kind::Normal, 200, false, F::None);
    add("no length, ended by close", Kind::Normal, 200, true, F::None);
    add("not found", Kind::Normal, 404, false, F::HttpStatus);
    add("server error", Kind::Normal, 503, false, F::HttpStatus);
    add("short body", Kind::ShortBody, 200, false, F::ShortBody);
    add("reset mid-body", Kind::ResetMidBody, 200, false, F::ShortBody);
    add("no length, ended by a reset", Kind::ResetMidBody, 200, true, F::Network);
    add("chunked, cut mid-chunk", Kind::ChunkedCut, 200, false, F::ShortBody);
    add("refused", Kind::Refuse, 200, false, F::Network);
    add("redirect followed", Kind::Normal, 302, false, F::None);
}

void tst_Requests::streamedRequests()
{
    QFETCH(int, kind);
    QFETCH(int, status);
    QFETCH(bool, noLength);
    QFETCH(int, failure);

    QByteArray body(100000, '\0');
    for (int i = 0; i < body.size(); ++i)
        body[i] = char(i * 7);
    MisbehavingServer::Behaviour behaviour = MisbehavingServer::of(Kind(kind), body);
    behaviour.status = status;
    behaviour.noLength = noLength;
    behaviour.headers = {{"Location", (m_server->base() + "/moved/file.wav").toLatin1()}};
    m_server->when("/moved/", MisbehavingServer::answer(body));
    m_server->when("/file", behaviour);

    const Streamed streamed = stream(m_server->base() + "/file.wav");
    QVERIFY(streamed.result);
    const Inet::Result &result = *streamed.result;
    QCOMPARE(int(result.failure), failure);
    QCOMPARE(result.ok(), failure == int(Inet::Failure::None));
    QVERIFY(result.ok() || !result.errorText.isEmpty());
    if (result.ok()) {
        QCOMPARE(streamed.received, body);
        QCOMPARE(streamed.announced, noLength ? qint64(-1) : qint64(body.size()));
    }
}

void tst_Requests::streamedBodyIsHandedOverInParts()
{
    // Large enough for the request to pause for the event loop on the way.
    QByteArray body(3 * 1024 * 1024, '\0');
    for (int i = 0; i < body.size(); ++i)
        body[i] = char(i / 4096);
    m_server->when("/big", MisbehavingServer::answer(body));
    const Streamed whole = stream(m_server->base() + "/big");
    QVERIFY(whole.result && whole.result->ok());
    QVERIFY(whole.received == body);
    QVERIFY(whole.largestPart <= Inet::MaxPartSize);

    // A handler that refuses the data ends the request.
    const Streamed refused = stream(m_server->base() + "/big", true);
    QVERIFY(refused.result);
    QVERIFY(!refused.received.isEmpty());
    QCOMPARE(refused.result->failure, Inet::Failure::Refused);
    QVERIFY(!m_host->inet().StillExecuting());
}

void tst_Requests::demoService()
{
    DemoJobService::Options options;
    options.jobs = 4;
    DemoJobService service(options);
    QVERIFY(service.listen());
    Profile &profile = m_tools->gProfile();
    profile.gStrBaseURL = service.baseUrl();
    profile.gGUID = options.guid;
    profile.gLogin = options.login;
    profile.gPassword = options.password;
    profile.gStrDownloadFolder = QStringLiteral("/tmp/Jobs");
    profile.colDownloadRules = {QStringLiteral("Job Name")};
    QCOMPARE(retrieve().outcome, DownloadTools::RequestOutcome::Finished);
    QVERIFY(m_tools->PopluateJobCollecionFromIndexFile());
    QCOMPARE(m_tools->gColDownloads.Count(), 4);
    QCOMPARE(m_tools->gColDownloads.Item(1)->gLngID, QStringLiteral("1001"));

    // A job file is a whole WAV file whose sizes match what was sent.
    const Streamed file = stream(service.baseUrl() + "files/1001.wav");
    QVERIFY(file.result && file.result->ok());
    const QByteArray &wav = file.received;
    QCOMPARE(file.announced, wav.size());
    QVERIFY(wav.startsWith("RIFF"));
    QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
    const auto u32 = [&](int at) {
        return quint32(uchar(wav[at])) | quint32(uchar(wav[at + 1])) << 8 |
               quint32(uchar(wav[at + 2])) << 16 | quint32(uchar(wav[at + 3])) << 24;
    };
    QCOMPARE(u32(4), quint32(wav.size() - 8));
    QCOMPARE(u32(40), quint32(wav.size() - 44));
    QCOMPARE(u32(24), quint32(8000));
    const Streamed unknown = stream(service.baseUrl() + "files/9999.wav");
    QVERIFY(unknown.result);
    QCOMPARE(unknown.result->failure, Inet::Failure::HttpStatus);
    QCOMPARE(unknown.result->httpStatus, 404);

    // Every job confirmed leaves the index; confirming again finds no such job.
    for (qsizetype i = 1; i <= m_tools->gColDownloads.Count(); ++i)
        m_tools->gColDownloads.Item(i)->gBlnDownloadCompleted = true;
    QCOMPARE(updateStatuses(), std::optional<bool>(true));
    QVERIFY(service.pendingJobs().isEmpty());
    QCOMPARE(updateStatuses(), std::optional<bool>(false));

    profile.gPassword = QStringLiteral("wrong");
    QCOMPARE(retrieve().outcome, DownloadTools::RequestOutcome::Finished);
    QVERIFY(m_tools->xmlIndex.contains(QLatin1String("<html>")));
    QVERIFY(!m_tools->PopluateJobCollecionFromIndexFile());
}

QTEST_GUILESS_MAIN(tst_Requests)
#include "tst_requests.moc"
