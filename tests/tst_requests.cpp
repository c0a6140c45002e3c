#include "MisbehavingServer.h"
#include "platform/Inet.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "service/PlainTransferHost.h"

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

// The service client against a misbehaving server, for the profile of Ann.
struct Client
{
    MisbehavingServer server;
    RecordingMessageSink messages;
    DownloadTools tools{messages};
    PlainTransferHost host;

    Client()
    {
        Profile &profile = tools.gProfile();
        profile.gStrBaseURL = server.base() + "/remote_tools/";
        profile.gGUID = "G-1";
        profile.gLogin = "ann";
        profile.gPassword = "pw";
    }
};

} // namespace

class tst_Requests : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m = std::make_unique<Client>(); }
    void cleanup() { m.reset(); }

    void indexAndStatusRequests_data();
    void indexAndStatusRequests();
    void indexRequestWithoutAnswer_data();
    void indexRequestWithoutAnswer();
    void oneRequestAtATimeAndCancel();
    void stateTexts_data();
    void stateTexts();
    void streamedBodyInParts();

private:
    Listing retrieve();

    std::unique_ptr<Client> m;
};

Listing tst_Requests::retrieve()
{
    auto listing = std::make_shared<Listing>();
    m->tools.RetrieveJobListing(m->host, [listing](auto outcome, const QString &failure) {
        *listing = {outcome, failure};
    });
    (void)QTest::qWaitFor([&] { return listing->outcome.has_value(); }, 10000);
    return *listing;
}

void tst_Requests::indexAndStatusRequests_data()
{
    QTest::addColumn<QString>("value"); // the GUID, login and password
    QTest::addColumn<bool>("asStored"); // in the request as it is
    QTest::newRow("punctuation") << "p.ss-w_rd~!$'()*,;:@/" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("ampersand, blank, hash") << "a&b c#d" << false;
    QTest::newRow("plus, equals, question, percent") << "x+y=z?%41" << false;
    QTest::newRow("non-ASCII") << QStringLiteral("M\u00fcller \U0001F600") << false;
}

void tst_Requests::indexAndStatusRequests()
{
    QFETCH(QString, value);
    QFETCH(bool, asStored);
    Profile &profile = m->tools.gProfile();
    profile.gGUID = profile.gLogin = profile.gPassword = value;
    m->server.when("job_index.asp", MisbehavingServer::answer("<jobs/>"));
    QCOMPARE(retrieve().outcome, DownloadTools::RequestOutcome::Finished);
    QCOMPARE(m->tools.xmlIndex, QStringLiteral("<jobs/>"));
    Job job;
    job.gLngID = "1";
    job.gBlnDownloadCompleted = true;
    QVERIFY(m->tools.gColDownloads.Add(job, job.gLngID));
    bool updated = false;
    m->tools.UpdateJobStatuses(m->host, [&updated](bool) { updated = true; });
    QTRY_VERIFY(updated);

    const QString login = "LG=" + value + "&PW=" + value;
    const QStringList plain{"/remote_tools/job_index.asp?SessionID=" + value + '&' + login,
                            "/remote_tools/job_status_update.asp?ID=1&" + login};
    QCOMPARE(m->server.targets == plain, asStored);
    QStringList decoded;
    for (const QString &target : m->server.targets) {
        const QUrlQuery query(QUrl("http://h" + target));
        for (const auto &[name, item] : query.queryItems(QUrl::FullyDecoded))
            decoded << name + '=' + item;
    }
    QCOMPARE(decoded, (QStringList{"SessionID=" + value, "LG=" + value, "PW=" + value, "ID=1",
                                   "LG=" + value, "PW=" + value}));
}

void tst_Requests::indexRequestWithoutAnswer_data()
{
    QTest::addColumn<bool>("connects");
    QTest::addColumn<QString>("reason"); // a part of the failure's text
    QTest::newRow("no connection") << false << QString();
    QTest::newRow("answer above 64 MiB") << true << QString("larger than the program accepts");
}

void tst_Requests::indexRequestWithoutAnswer()
{
    QFETCH(bool, connects);
    QFETCH(QString, reason);
    if (!connects)
        m->tools.gProfile().gStrBaseURL = QStringLiteral("http://127.0.0.1:%1/remote_tools/")
                                              .arg(MisbehavingServer::closedPort());
    m->server.when("job_index.asp",
                   MisbehavingServer::answer(QByteArray(DownloadTools::MaxIndexSize + 1, ' ')));
    m->tools.gProfile().gPassword = "s3cret";
    m->tools.xmlIndex = "previous";
    const Listing listing = retrieve();
    QCOMPARE(listing.outcome, DownloadTools::RequestOutcome::Failed);
    QCOMPARE(m->server.targets.size(), connects ? 1 : 0);
    // The previous text stays; the text for the user names the address, never
    // the password.
    QCOMPARE(m->tools.xmlIndex, QStringLiteral("previous"));
    QCOMPARE(m->host.statusText(), QStringLiteral("Retrieving Job Index"));
    QVERIFY2(listing.failure.contains(reason), qPrintable(listing.failure));
    QVERIFY(listing.failure.contains("job_index.asp?SessionID=G-1&LG=***&PW=***"));
    QVERIFY(!listing.failure.contains("s3cret"));
}

void tst_Requests::oneRequestAtATimeAndCancel()
{
    m->server.when("slow", MisbehavingServer::of(Kind::Stall));
    Inet &inet = m->host.inet();
    QList<Inet::Failure> ends; // as every request's callback tells them
    const auto record = [&ends](const Inet::Result &result, const QByteArray &) {
        ends << result.failure;
    };
    QVERIFY(inet.OpenURL(QUrl(m->server.base() + "/slow"), record));
    QTRY_COMPARE(m->server.targets.size(), 1);
    // Nothing else starts meanwhile; a skipped index request changes nothing.
    QVERIFY(!inet.OpenURL(QUrl(m->server.base() + "/other"), record));
    QVERIFY(!inet.Execute(QUrl(m->server.base() + "/other"), {}));
    m->tools.xmlIndex = "previous";
    QCOMPARE(retrieve().outcome, DownloadTools::RequestOutcome::Skipped);
    QCOMPARE(m->tools.xmlIndex, QStringLiteral("previous"));
    inet.Cancel();
    QCOMPARE(ends, QList<Inet::Failure>{Inet::Failure::Cancelled});
    QVERIFY(!inet.StillExecuting());
    inet.Cancel(); // nothing running: nothing happens
    QTest::qWait(20);
    QCOMPARE(ends, QList<Inet::Failure>{Inet::Failure::Cancelled});
    QCOMPARE(m->server.targets, QStringList{"/slow"});
}

void tst_Requests::stateTexts_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text"); // misspelled as ever, on purpose
    QTest::newRow("connecting") << int(Inet::Connecting)
                                << "The control is connectiong to the host computer";
    QTest::newRow("disconnecting") << int(Inet::Disconnecting)
                                   << "The control is disconnection from the host computer";
    QTest::newRow("error") << int(Inet::Error)
                           << "An error occured in communicating with the host computer";
    QTest::newRow("past the last") << 13 << "Unknown state: 13";
}

void tst_Requests::stateTexts()
{
    QFETCH(int, state);
    QFETCH(QString, text);
    QCOMPARE(Inet::GetInetStateText(state), text);
}

void tst_Requests::streamedBodyInParts()
{
    // Three MiB that differ from one 4 KiB block to the next: large enough for
    // the request to pause for the event loop on the way.
    QByteArray body(3 * 1024 * 1024, '\0');
    for (int i = 0; i < body.size(); ++i)
        body[i] = char(i / 4096);
    m->server.when("/big", MisbehavingServer::answer(body));
    // Held by the handlers too, which may outlive a failed test.
    struct Streamed
    {
        QByteArray received;
        qint64 announced = -2, largestPart = 0;
        std::optional<Inet::Result> result;
    };
    auto out = std::make_shared<Streamed>();
    Inet::StreamHandlers handlers;
    handlers.headers = [out](int, qint64 length) {
        out->announced = length;
        return true;
    };
    handlers.data = [out](const QByteArray &data) {
        out->received += data;
        out->largestPart = std::max(out->largestPart, qint64(data.size()));
        return true;
    };
    handlers.done = [out](const Inet::Result &result) {
        out->result = result;
    };
    QVERIFY(m->host.inet().Execute(QUrl(m->server.base() + "/big"), handlers));
    QTRY_VERIFY_WITH_TIMEOUT(out->result.has_value(), 10000);
    QVERIFY(out->result->ok());
    QVERIFY(out->received == body);
    QCOMPARE(out->announced, body.size());
    QVERIFY(out->largestPart <= Inet::MaxPartSize);
    // An error page is no part of the data, whatever the handlers accept.
    m->server.when("/gone", {.status = 404, .body = "<html>Not found</html>"});
    *out = {};
    QVERIFY(m->host.inet().Execute(QUrl(m->server.base() + "/gone"), handlers));
    QTRY_VERIFY_WITH_TIMEOUT(out->result.has_value(), 10000);
    QCOMPARE(out->result->failure, Inet::Failure::HttpStatus);
    QCOMPARE(out->received, QByteArray());
}

QTEST_GUILESS_MAIN(tst_Requests)
#include "tst_requests.moc"
