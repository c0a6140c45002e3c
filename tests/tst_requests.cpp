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
    void queryValuesReachTheServerIntact_data();
    void queryValuesReachTheServerIntact();
    void ordinaryValuesAreSentAsStored_data();
    void ordinaryValuesAreSentAsStored();
    void skippedWhileTheControlExecutes();
    void failedIndexRequestKeepsThePreviousText();
    void errorPageIsStoredForTheReading();
    void statusUpdate_data();
    void statusUpdate();
    void statusUpdateOfAnEmptyCollection();
    void statusReport_data();
    void statusReport();
    void timeOut();
    void cancel();
    void oneRequestAtATime();
    void statesInOrder();
    void streamedRequests_data();
    void streamedRequests();
    void streamedBodyIsHandedOverInParts();
    void demoServiceAnswersBothPages();
    void demoServiceFiles();

private:
    Listing retrieve();
    std::optional<bool> updateStatuses();
    void addJobs(const QList<bool> &downloaded);

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

void tst_Requests::queryValuesReachTheServerIntact_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("ampersand, blank, hash") << "a&b c#d";
    QTest::newRow("plus, equals, question, percent") << "x+y=z?%41";
    QTest::newRow("non-ASCII") << QStringLiteral("M\u00fcller \U0001F600");
    QTest::newRow("control character") << "tab\there";
}

void tst_Requests::queryValuesReachTheServerIntact()
{
    QFETCH(QString, value);
    m_tools->gProfile().gPassword = value;
    m_tools->gProfile().gLogin = value;
    m_tools->gProfile().gGUID = value;
    retrieve();
    QCOMPARE(m_server->targets.size(), 1);
    const QString target = m_server->targets.first();
    QCOMPARE(decodedValue(target, "PW"), value);
    QCOMPARE(decodedValue(target, "LG"), value);
    QCOMPARE(decodedValue(target, "SessionID"), value);
    QVERIFY(target.contains(QLatin1String("&LG=")));
    QCOMPARE(target.count(QLatin1Char('&')), 2);
}

void tst_Requests::ordinaryValuesAreSentAsStored_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("letters and digits") << "Ann1975";
    QTest::newRow("punctuation") << "p.ss-w_rd~!$'()*,;:@/";
    QTest::newRow("empty") << "";
}

void tst_Requests::ordinaryValuesAreSentAsStored()
{
    QFETCH(QString, value);
    Profile &profile = m_tools->gProfile();
    profile.gPassword = value;
    const QString plain = profile.gStrBaseURL + "job_index.asp?SessionID=G-1&LG=ann&PW=" + value;
    QCOMPARE(ServiceUrls::indexUrlText(profile), plain);
    QCOMPARE(ServiceUrls::statusUrlText(profile, "42"),
             profile.gStrBaseURL + "job_status_update.asp?ID=42&LG=ann&PW=" + value);
    retrieve();
    QCOMPARE(m_server->base() + m_server->targets.value(0), plain);
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

void tst_Requests::failedIndexRequestKeepsThePreviousText()
{
    m_tools->gProfile().gStrBaseURL =
        QStringLiteral("http://127.0.0.1:%1/remote_tools/").arg(MisbehavingServer::closedPort());
    m_tools->gProfile().gPassword = QStringLiteral("s3cret");
    m_tools->xmlIndex = QStringLiteral("previous");
    const Listing listing = retrieve();
    QCOMPARE(listing.outcome, DownloadTools::RequestOutcome::Failed);
    QCOMPARE(m_host->statusText(), QStringLiteral("Retrieving Job Index"));
    QCOMPARE(m_tools->xmlIndex, QStringLiteral("previous"));
    QVERIFY(listing.failure.contains(QLatin1String("job_index.asp?SessionID=G-1&LG=ann&PW=***")));
    QVERIFY(!listing.failure.contains(QLatin1String("s3cret")));
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

    const QStringList all{"1", "2", "3"};
    QTest::newRow("all confirmed")
        << QByteArray("Update Sucessful") << true << QList<bool>{true, true, true} << true << all;
    QTest::newRow("second lacks the word")
        << QByteArray("Update failed") << true << QList<bool>{true, false, true} << false << all;
    QTest::newRow("correct spelling is no confirmation")
        << QByteArray("Update Successful") << true << QList<bool>{true, false, true} << false
        << all;
    QTest::newRow("capitals confirm")
        << QByteArray("UPDATE SUCESSFUL!") << true << QList<bool>{true, true, true} << true << all;
    QTest::newRow("error page without the word")
        << QByteArray("!500") << true << QList<bool>{true, false, true} << false << all;
    QTest::newRow("second request fails")
        << QByteArray("!refuse") << true << QList<bool>{true, false, false} << false
        << QStringList{"1", "2"};
    QTest::newRow("second not received")
        << QByteArray("Update Sucessful") << false << QList<bool>{true, false, true} << false
        << QStringList{"1", "3"};
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

void tst_Requests::statusUpdateOfAnEmptyCollection()
{
    QCOMPARE(updateStatuses(), std::optional<bool>(true));
    QVERIFY(m_server->targets.isEmpty());
}

void tst_Requests::statusReport_data()
{
    QTest::addColumn<bool>("allConfirmed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<MessageIcon>("icon");
    QTest::newRow("confirmed") << true << "All jobs have been updated on server!"
                               << MessageIcon::None;
    QTest::newRow("not confirmed")
        << false << "Error Updating the status of some or all jobs!" << MessageIcon::Critical;
}

void tst_Requests::statusReport()
{
    QFETCH(bool, allConfirmed);
    QFETCH(QString, text);
    QFETCH(MessageIcon, icon);
    m_tools->reportStatusUpdate(allConfirmed);
    QCOMPARE(m_messages->messages.size(), 1);
    QCOMPARE(m_messages->messages.first().text, text);
    QCOMPARE(m_messages->messages.first().icon, icon);
    QCOMPARE(m_messages->messages.first().title, MessageSink::applicationTitle());
}

void tst_Requests::timeOut()
{
    m_server->when("job_index.asp", MisbehavingServer::of(Kind::Stall));
    m_host->inet().setTransferTimeout(std::chrono::seconds(1));
    const Listing listing = retrieve();
    QCOMPARE(listing.outcome, DownloadTools::RequestOutcome::Failed);
    QVERIFY(listing.failure.contains(QLatin1String("did not answer within 1 seconds")));
    QVERIFY(!m_host->inet().StillExecuting());
}

void tst_Requests::cancel()
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
    QTRY_COMPARE(m_server->targets.size(), 1);
    inet.Cancel();
    QCOMPARE(calls, 1);
    QCOMPARE(seen.failure, Inet::Failure::Cancelled);
    QVERIFY(!inet.StillExecuting());
    inet.Cancel(); // nothing running: nothing happens
    QTest::qWait(20);
    QCOMPARE(calls, 1);
}

void tst_Requests::oneRequestAtATime()
{
    m_server->when("slow", MisbehavingServer::of(Kind::Stall));
    Inet &inet = m_host->inet();
    QVERIFY(inet.OpenURL(QUrl(m_server->base() + "/slow"), {}));
    bool secondCalled = false;
    QVERIFY(!inet.OpenURL(QUrl(m_server->base() + "/other"),
                          [&](const Inet::Result &, const QByteArray &) { secondCalled = true; }));
    QVERIFY(!inet.Execute(QUrl(m_server->base() + "/other"), {}));
    QTRY_COMPARE(m_server->targets.size(), 1);
    inet.Cancel();
    QTest::qWait(20);
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

    QTest::newRow("whole body") << int(Kind::Normal) << 200 << false << int(Inet::Failure::None);
    QTest::newRow("no length, ended by close")
        << int(Kind::Normal) << 200 << true << int(Inet::Failure::None);
    QTest::newRow("not found") << int(Kind::Normal) << 404 << false
                               << int(Inet::Failure::HttpStatus);
    QTest::newRow("server error") << int(Kind::Normal) << 503 << false
                                  << int(Inet::Failure::HttpStatus);
    QTest::newRow("short body") << int(Kind::ShortBody) << 200 << false
                                << int(Inet::Failure::ShortBody);
    QTest::newRow("reset mid-body")
        << int(Kind::ResetMidBody) << 200 << false << int(Inet::Failure::ShortBody);
    QTest::newRow("no length, ended by a reset")
        << int(Kind::ResetMidBody) << 200 << true << int(Inet::Failure::Network);
    QTest::newRow("chunked, cut mid-chunk")
        << int(Kind::ChunkedCut) << 200 << false << int(Inet::Failure::ShortBody);
    QTest::newRow("refused") << int(Kind::Refuse) << 200 << false << int(Inet::Failure::Network);
    QTest::newRow("redirect followed")
        << int(Kind::Redirect) << 200 << false << int(Inet::Failure::None);
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
    behaviour.location = (m_server->base() + "/moved/file.wav").toLatin1();
    m_server->when("/moved/", MisbehavingServer::answer(body));
    m_server->when("/file", behaviour);

    QByteArray received;
    qint64 announced = -2;
    std::optional<Inet::Result> result;
    Inet::StreamHandlers handlers;
    handlers.headers = [&](int, qint64 length) {
        announced = length;
        return true;
    };
    handlers.data = [&](const QByteArray &data) {
        received += data;
        return true;
    };
    handlers.done = [&](const Inet::Result &r) {
        result = r;
    };
    QVERIFY(m_host->inet().Execute(QUrl(m_server->base() + "/file.wav"), handlers));
    QTRY_VERIFY(result.has_value());
    QCOMPARE(int(result->failure), failure);
    QCOMPARE(result->ok(), failure == int(Inet::Failure::None));
    QVERIFY(result->ok() || !result->errorText.isEmpty());
    if (result->ok()) {
        QCOMPARE(received, body);
        QCOMPARE(announced, noLength ? qint64(-1) : qint64(body.size()));
    }
}

void tst_Requests::streamedBodyIsHandedOverInParts()
{
    // Large enough for the request to pause for the event loop on the way.
    QByteArray body(3 * 1024 * 1024, '\0');
    for (int i = 0; i < body.size(); ++i)
        body[i] = char(i / 4096);
    m_server->when("/big", MisbehavingServer::answer(body));
    QByteArray received;
    qint64 largestPart = 0;
    bool refusedOnce = false;
    std::optional<Inet::Result> result;
    Inet::StreamHandlers handlers;
    handlers.data = [&](const QByteArray &data) {
        received += data;
        largestPart = std::max(largestPart, qint64(data.size()));
        return true;
    };
    handlers.done = [&](const Inet::Result &r) {
        result = r;
    };
    QVERIFY(m_host->inet().Execute(QUrl(m_server->base() + "/big"), handlers));
    QTRY_VERIFY(result.has_value());
    QVERIFY(result->ok());
    QVERIFY(received == body);
    QVERIFY(largestPart <= Inet::MaxPartSize);

    // A handler that refuses the data ends the request.
    result.reset();
    handlers.data = [&](const QByteArray &) {
        refusedOnce = true;
        return false;
    };
    QVERIFY(m_host->inet().Execute(QUrl(m_server->base() + "/big"), handlers));
    QTRY_VERIFY(result.has_value());
    QVERIFY(refusedOnce);
    QCOMPARE(result->failure, Inet::Failure::Refused);
    QVERIFY(!m_host->inet().StillExecuting());
}

void tst_Requests::demoServiceAnswersBothPages()
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
    const Job *first = m_tools->gColDownloads.Item(1);
    QCOMPARE(first->gLngID, QStringLiteral("1001"));
    QVERIFY(first->gStrSourceURL.startsWith(service.baseUrl()));
    QVERIFY(first->gBytePriority >= 1 && first->gBytePriority <= 5);

    // Every job confirmed leaves the index.
    for (qsizetype i = 1; i <= m_tools->gColDownloads.Count(); ++i)
        m_tools->gColDownloads.Item(i)->gBlnDownloadCompleted = true;
    QCOMPARE(updateStatuses(), std::optional<bool>(true));
    QVERIFY(service.pendingJobs().isEmpty());
    // Confirming again finds no such job.
    QCOMPARE(updateStatuses(), std::optional<bool>(false));

    profile.gPassword = QStringLiteral("wrong");
    QCOMPARE(retrieve().outcome, DownloadTools::RequestOutcome::Finished);
    QVERIFY(m_tools->xmlIndex.contains(QLatin1String("<html>")));
    QVERIFY(!m_tools->PopluateJobCollecionFromIndexFile());
}

void tst_Requests::demoServiceFiles()
{
    DemoJobService service(DemoJobService::Options{});
    QVERIFY(service.listen());
    QByteArray received;
    qint64 announced = -1;
    std::optional<Inet::Result> result;
    Inet::StreamHandlers handlers;
    handlers.headers = [&](int, qint64 length) {
        announced = length;
        return true;
    };
    handlers.data = [&](const QByteArray &data) {
        received += data;
        return true;
    };
    handlers.done = [&](const Inet::Result &r) {
        result = r;
    };
    QVERIFY(m_host->inet().Execute(QUrl(service.baseUrl() + "files/1001.wav"), handlers));
    QTRY_VERIFY(result.has_value());
    QVERIFY(result->ok());
    QCOMPARE(announced, received.size());
    QVERIFY(received.startsWith("RIFF"));
    QCOMPARE(received.mid(8, 8), QByteArray("WAVEfmt "));
    const auto u32 = [&](int at) {
        return quint32(uchar(received[at])) | quint32(uchar(received[at + 1])) << 8 |
               quint32(uchar(received[at + 2])) << 16 | quint32(uchar(received[at + 3])) << 24;
    };
    QCOMPARE(u32(4), quint32(received.size() - 8));
    QCOMPARE(u32(40), quint32(received.size() - 44));
    QCOMPARE(u32(24), quint32(8000));

    result.reset();
    QVERIFY(m_host->inet().Execute(QUrl(service.baseUrl() + "files/9999.wav"), handlers));
    QTRY_VERIFY(result.has_value());
    QCOMPARE(result->failure, Inet::Failure::HttpStatus);
    QCOMPARE(result->httpStatus, 404);
}

QTEST_GUILESS_MAIN(tst_Requests)
#include "tst_requests.moc"
