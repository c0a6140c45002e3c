#include "MisbehavingServer.h"
#include "TestSupport.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/ActivityLog.h"
#include "service/DownloadTools.h"
#include "service/PlainTransferHost.h"
#include "service/PollNotices.h"
#include "service/WorkSession.h"

#include <QDate>
#include <QDir>
#include <QSignalSpy>
#include <QTimer>

// The work session without a window: the poll rhythm, what a poll does, and
// the profile it works on.
class tst_Session : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void pollsWhenDue_data();
    void pollsWhenDue();
    void poll_data();
    void poll();
    void pollKeepsItsProfile();
    void stopDuringAPollsCheck();
    void notices_data();
    void notices();
    void activityLogNewestFirst();

private:
    void loadProfile(qint32 interval, const QString &folder = QStringLiteral("Downloads"));
    // The jobs `ids`; those also in `unfetched` have an ftp URL, never fetched.
    void serveIndex(const QStringList &ids, const QStringList &unfetched = {});
    bool tickUntilPolled();
    int requests(const char *page) const { return m_server->targets.filter(page).size(); }

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<MisbehavingServer> m_server;
    RecordingMessageSink m_messages;
    std::unique_ptr<DownloadTools> m_tools;
    std::unique_ptr<PlainTransferHost> m_host;
    QTimer m_timer;
    qint32 m_minutes = 0;
    std::unique_ptr<WorkSession> m_session;
};

void tst_Session::init()
{
    m_folder = std::make_unique<TestFolder>();
    m_server = std::make_unique<MisbehavingServer>();
    m_server->when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));
    m_server->when("/files/", MisbehavingServer::answer("RIFF-data"));
    m_messages.clear();
    m_tools = std::make_unique<DownloadTools>(m_messages);
    m_host = std::make_unique<PlainTransferHost>();
    m_minutes = 0;
    m_session = std::make_unique<WorkSession>(*m_tools, *m_host, m_timer, m_minutes);
    m_timer.start(60000);
}

void tst_Session::cleanup()
{
    m_session.reset();
    m_tools.reset();
    m_host.reset();
    m_server.reset();
    m_folder.reset();
}

void tst_Session::loadProfile(qint32 interval, const QString &folder)
{
    const QString path = m_folder->path("profile.xml");
    QVERIFY(writeFile(path, profileFile({{"base_url", m_server->base() + "/remote_tools/"},
                                         {"download_folder", m_folder->path(folder)},
                                         {"pollinterval", QString::number(interval)}},
                                        {"Job Name"})));
    QVERIFY(m_tools->gProfile().LoadProfileFromXMLFile(path));
}

void tst_Session::serveIndex(const QStringList &ids, const QStringList &unfetched)
{
    QList<QByteArray> jobs;
    for (const QString &id : ids)
        jobs << jobElement(
            id, {{"path", (unfetched.contains(id) ? "ftp://127.0.0.1" : m_server->base()) +
                              "/files/" + id + ".wav"}});
    m_server->when("job_index.asp", MisbehavingServer::answer(jobIndex(jobs)));
}

bool tst_Session::tickUntilPolled()
{
    QSignalSpy polled(m_session.get(), &WorkSession::pollEnded);
    m_session->tick();
    return polled.count() == 1 || polled.wait(10000);
}

void tst_Session::pollsWhenDue_data()
{
    QTest::addColumn<int>("firstInterval");
    QTest::addColumn<int>("ticksUnderFirst");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("quietTicks"); // before the first poll under `interval`
    QTest::newRow("interval 15: every 16th tick") << 15 << 0 << 15 << 15;
    QTest::newRow("interval 0: every tick") << 0 << 0 << 0 << 0;
    QTest::newRow("interval cut from 60 to 15 after 20 ticks: at once") << 60 << 20 << 15 << 0;
}

void tst_Session::pollsWhenDue()
{
    QFETCH(int, firstInterval);
    QFETCH(int, ticksUnderFirst);
    QFETCH(int, interval);
    QFETCH(int, quietTicks);
    serveIndex({});
    loadProfile(firstInterval);
    QSignalSpy countdown(m_session.get(), &WorkSession::countdown);
    for (int tick = 0; tick < ticksUnderFirst; ++tick)
        m_session->tick();
    loadProfile(interval);
    for (int poll = 1; poll <= 2; ++poll) {
        countdown.clear();
        for (int tick = 0; tick < quietTicks; ++tick)
            m_session->tick();
        QCOMPARE(requests("job_index.asp"), poll - 1);
        if (quietTicks > 0)
            QCOMPARE(countdown.last().first().toString(),
                     QStringLiteral("0 Minutes Remaining Until Next Poll"));
        QVERIFY(tickUntilPolled());
        QCOMPARE(requests("job_index.asp"), poll);
        QCOMPARE(m_minutes, 0);
        QVERIFY(m_timer.isActive());
        quietTicks = interval;
    }
}

void tst_Session::poll_data()
{
    QTest::addColumn<QString>("index"); // "refused" closes the connection
    QTest::addColumn<bool>("todayExcluded");
    QTest::addColumn<int>("files");
    QTest::newRow("no job: the transfer still runs") << "" << false << 0;
    QTest::newRow("excluded day is polled all the same") << "" << true << 0;
    QTest::newRow("failing check: transfer, and the next poll tries again")
        << "refused" << false << 0;
    QTest::newRow("jobs received and confirmed, no closing message") << "1 2" << false << 2;
}

void tst_Session::poll()
{
    QFETCH(QString, index);
    QFETCH(bool, todayExcluded);
    QFETCH(int, files);
    if (index == "refused")
        m_server->when("job_index.asp", MisbehavingServer::of(MisbehavingServer::Kind::Refuse));
    else
        serveIndex(index.split(' ', Qt::SkipEmptyParts));
    loadProfile(0);
    if (todayExcluded) {
        Profile &profile = m_tools->gProfile();
        for (quint8 day = 1; day <= 7; ++day)
            profile.SetDayOfWeekSchedule(day, true);
        // Today (1 = Sunday ... 7 = Saturday) is excluded.
        profile.SetDayOfWeekSchedule(quint8(QDate::currentDate().dayOfWeek() % 7 + 1), false);
    }
    QSignalSpy checked(m_session.get(), &WorkSession::checkEnded);
    QSignalSpy transferred(m_session.get(), &WorkSession::transferEnded);
    QVERIFY(tickUntilPolled());
    QCOMPARE(requests("job_index.asp"), 1);
    QCOMPARE(checked.count(), 1);
    QCOMPARE(checked.first().first().value<WorkSession::CheckResult>().answered,
             index != "refused");
    QCOMPARE(transferred.count(), 1);
    QVERIFY2(m_messages.messages.isEmpty(), qPrintable(m_messages.texts().join('\n')));
    QCOMPARE(m_host->jobList().rowCount(), 0);
    QCOMPARE(QDir(m_folder->path("Downloads")).entryList(QDir::Files).size(), files);
    QCOMPARE(requests("job_status_update.asp"), files);
    QVERIFY(tickUntilPolled());
    QCOMPARE(requests("job_index.asp"), 2);
}

void tst_Session::pollKeepsItsProfile()
{
    // A profile loaded while the poll's check runs changes neither its
    // transfer nor its confirmations.
    serveIndex({"1"});
    loadProfile(0, "First");
    connect(m_session.get(), &WorkSession::pollStarted, this, [this] {
        m_server->when("job_index.asp", MisbehavingServer::answer(jobIndex({})));
        loadProfile(0, "Second");
        m_tools->gProfile().gLogin = QStringLiteral("someone-else");
    });
    QVERIFY(tickUntilPolled());
    QCOMPARE(QDir(m_folder->path("First")).entryList(QDir::Files).size(), 1);
    QVERIFY(!QDir(m_folder->path("Second")).exists());
    QCOMPARE(requests("job_status_update.asp"), 1);
    QVERIFY(!m_server->targets.join(' ').contains(QLatin1String("someone-else")));
}

void tst_Session::stopDuringAPollsCheck()
{
    m_server->when("job_index.asp", MisbehavingServer::of(MisbehavingServer::Kind::Stall));
    loadProfile(0);
    QSignalSpy transferred(m_session.get(), &WorkSession::transferEnded);
    QSignalSpy polled(m_session.get(), &WorkSession::pollEnded);
    m_session->tick();
    QVERIFY(QTest::qWaitFor([&] { return requests("job_index.asp") == 1; }, 5000));
    QCOMPARE(m_session->work(), WorkSession::Work::Check);
    m_session->finishAfterCurrentJob();
    QVERIFY(polled.count() == 1 || polled.wait(5000));
    QCOMPARE(transferred.count(), 0);
    QVERIFY(!m_session->busy());
}

void tst_Session::notices_data()
{
    QTest::addColumn<QStringList>("ids"); // {"refused"}: the index request is refused
    QTest::addColumn<QStringList>("failing");
    QTest::addColumn<bool>("byPoll");         // or the user's check and transfer
    QTest::addColumn<QStringList>("notices"); // title|start of the text
    QTest::newRow("poll receiving four jobs names three")
        << QStringList{"1", "2", "3", "4"} << QStringList() << true
        << QStringList{"New Jobs|4 new jobs received: Job1, Job2, Job3, \u2026"};
    QTest::newRow("failing poll: its reason")
        << QStringList{"refused"} << QStringList() << true
        << QStringList{"Check For Jobs failed|The job index could not be retrieved from"};
    QTest::newRow("job failed for good in a poll")
        << QStringList{"1", "2"} << QStringList{"2"} << true
        << QStringList{"New Jobs|1 new job received: Job1", "A job failed|Job2: "};
    QTest::newRow("the user's check and transfer: none")
        << QStringList{"1", "2"} << QStringList{"2"} << false << QStringList();
    QTest::newRow("the user's failing check: none")
        << QStringList{"refused"} << QStringList() << false << QStringList();
}

void tst_Session::notices()
{
    QFETCH(QStringList, ids);
    QFETCH(QStringList, failing);
    QFETCH(bool, byPoll);
    QFETCH(QStringList, notices);
    if (ids == QStringList{"refused"})
        m_server->when("job_index.asp", MisbehavingServer::of(MisbehavingServer::Kind::Refuse));
    else
        serveIndex(ids, failing);
    loadProfile(0);
    PollNotices notifier(*m_session, *m_tools);
    QStringList posted;
    connect(&notifier, &PollNotices::notice, this,
            [&posted](const QString &title, const QString &text) { posted << title + '|' + text; });
    if (byPoll) {
        QVERIFY(tickUntilPolled());
    } else {
        QSignalSpy checked(m_session.get(), &WorkSession::checkEnded);
        QSignalSpy transferred(m_session.get(), &WorkSession::transferEnded);
        QVERIFY(m_session->check() && (checked.count() == 1 || checked.wait(10000)));
        QVERIFY(m_session->transfer(false) &&
                (transferred.count() == 1 || transferred.wait(10000)));
    }
    QCOMPARE(posted.size(), notices.size());
    for (qsizetype i = 0; i < notices.size(); ++i)
        QVERIFY2(posted.at(i).startsWith(notices.at(i)), qPrintable(posted.at(i)));
}

void tst_Session::activityLogNewestFirst()
{
    serveIndex({"1", "2"}, {"2"});
    loadProfile(0);
    ActivityLog log(*m_tools);
    QVERIFY(tickUntilPolled());
    const auto row = [&log](int at) {
        QStringList cells;
        for (int column = ActivityLog::NameColumn; column < ActivityLog::ColumnCount; ++column)
            cells << log.data(log.index(at, column)).toString();
        return cells;
    };
    QCOMPARE(log.rowCount(), 2);
    QCOMPARE(row(0).mid(0, 3), (QStringList{"Job2", "R2", "Failed"}));
    QVERIFY(!row(0).at(3).isEmpty());
    const QString written = m_folder->path("Downloads/Job1.wav");
    QCOMPARE(row(1), (QStringList{"Job1", "R1", "Received", written}));
    QCOMPARE(log.entry(1)->detail, written);
    QCOMPARE(readAll(written), QByteArray("RIFF-data"));
}

QTEST_MAIN(tst_Session)
#include "tst_session.moc"
