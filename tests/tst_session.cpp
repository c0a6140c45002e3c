#include "MisbehavingServer.h"
#include "TestSupport.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/ActivityLog.h"
#include "service/DownloadTools.h"
#include "service/PlainTransferHost.h"
#include "service/PollCountdown.h"
#include "service/PollNotices.h"
#include "service/WorkSession.h"

#include <QDate>
#include <QDir>
#include <QSignalSpy>
#include <QTimer>

#include <limits>

namespace {

// A work session without a window, with the poll timer running.
struct Rig
{
    TestFolder folder;
    MisbehavingServer server;
    RecordingMessageSink messages;
    DownloadTools tools{messages};
    PlainTransferHost host;
    QTimer timer;
    qint32 minutes = 0;
    WorkSession session{tools, host, timer, minutes};

    Rig()
    {
        server.when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));
        server.when("/files/", MisbehavingServer::answer("RIFF-data"));
        timer.start(60000);
    }
};

} // namespace

// The work session without a window: the poll rhythm, what a poll does, and
// the profile it works on.
class tst_Session : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m = std::make_unique<Rig>(); }
    void cleanup() { m.reset(); }
    void countdown_data();
    void countdown();
    void pollsWhenDue_data();
    void pollsWhenDue();
    void poll_data();
    void poll();
    void notices_data();
    void notices();

private:
    void loadProfile(qint32 interval, const QString &folder = QStringLiteral("Downloads"));
    // The jobs `ids`; those also in `unfetched` have an ftp URL, never fetched.
    void serveIndex(const QStringList &ids, const QStringList &unfetched = {});
    bool tickUntilPolled();
    int requests(const char *page) const { return m->server.targets.filter(page).size(); }

    std::unique_ptr<Rig> m;
};

void tst_Session::loadProfile(qint32 interval, const QString &folder)
{
    const QString path = m->folder.path("profile.xml");
    QVERIFY(writeFile(path, profileFile({{"base_url", m->server.base() + "/remote_tools/"},
                                         {"download_folder", m->folder.path(folder)},
                                         {"pollinterval", QString::number(interval)}},
                                        {"Job Name"})));
    QVERIFY(m->tools.gProfile().LoadProfileFromXMLFile(path));
}

void tst_Session::serveIndex(const QStringList &ids, const QStringList &unfetched)
{
    QList<QByteArray> jobs;
    for (const QString &id : ids)
        jobs << jobElement(
            id, {{"path", (unfetched.contains(id) ? "ftp://127.0.0.1" : m->server.base()) +
                              "/files/" + id + ".wav"}});
    m->server.when("job_index.asp", MisbehavingServer::answer(jobIndex(jobs)));
}

bool tst_Session::tickUntilPolled()
{
    QSignalSpy polled(&m->session, &WorkSession::pollEnded);
    m->session.tick();
    return polled.count() == 1 || polled.wait(10000);
}

void tst_Session::countdown_data()
{
    QTest::addColumn<int>("elapsed");
    QTest::addColumn<int>("interval");
    QTest::addColumn<QString>("text"); // null: the poll is due
    QTest::addColumn<int>("after");
    QTest::addColumn<qint64>("ticksPerPoll");
    const int largest = std::numeric_limits<qint32>::max();
    QTest::newRow("negative interval") << 0 << -5 << QString() << 0 << 1LL;
    QTest::newRow("largest interval")
        << 0 << largest << "2147483646 Minutes Remaining Until Next Poll" << 1 << 2147483648LL;
}

void tst_Session::countdown()
{
    QFETCH(int, elapsed);
    QFETCH(int, interval);
    QFETCH(QString, text);
    QFETCH(int, after);
    QFETCH(qint64, ticksPerPoll);
    qint32 counter = elapsed;
    const std::optional<QString> shown = PollCountdown::tick(counter, interval);
    QCOMPARE(shown.has_value(), !text.isNull());
    QCOMPARE(shown.value_or(QString()), text);
    QCOMPARE(counter, after);
    QCOMPARE(PollCountdown::ticksPerPoll(interval), ticksPerPoll);
}

void tst_Session::pollsWhenDue_data()
{
    QTest::addColumn<int>("firstInterval");
    QTest::addColumn<int>("ticksUnderFirst");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("quietTicks"); // before the first poll under `interval`
    QTest::newRow("interval 15: every 16th tick") << 15 << 0 << 15 << 15;
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
    QSignalSpy countdown(&m->session, &WorkSession::countdown);
    for (int tick = 0; tick < ticksUnderFirst; ++tick)
        m->session.tick();
    loadProfile(interval);
    for (int poll = 1; poll <= 2; ++poll) {
        countdown.clear();
        for (int tick = 0; tick < quietTicks; ++tick)
            m->session.tick();
        QCOMPARE(requests("job_index.asp"), poll - 1);
        if (quietTicks > 0)
            QCOMPARE(countdown.last().first().toString(),
                     QStringLiteral("0 Minutes Remaining Until Next Poll"));
        QVERIFY(tickUntilPolled());
        QCOMPARE(requests("job_index.asp"), poll);
        QCOMPARE(m->minutes, 0);
        QVERIFY(m->timer.isActive());
        quietTicks = interval;
    }
}

void tst_Session::poll_data()
{
    QTest::addColumn<QString>("index");  // job ids; "refused" or "stall" for the first request
    QTest::addColumn<QString>("change"); // before the poll, or while its check runs
    QTest::addColumn<int>("files");      // received and confirmed
    const auto row = [](const char *name, const char *index, const char *change, int files) {
        QTest::newRow(name) << QString(index) << QString(change) << files;
    };
    row("excluded day is polled all the same; no job, the transfer still runs", "", "exclude today",
        0);
    row("error page instead of an index: no message box", "error page", "", 0);
    row("failing check: transfer, and the next poll tries again", "refused", "", 0);
    row("jobs received and confirmed, no closing message", "1 2", "", 2);
    row("a profile loaded during the check changes neither transfer nor confirmations", "1",
        "another profile", 1);
    row("stop during the check: no transfer", "stall", "stop", 0);
}

void tst_Session::poll()
{
    QFETCH(QString, index);
    QFETCH(QString, change);
    QFETCH(int, files);
    const bool answered = index != "refused" && index != "stall";
    if (index == "error page")
        m->server.when("job_index.asp",
                       MisbehavingServer::answer("<html>Login failed</html>", 401));
    else if (!answered)
        m->server.when("job_index.asp",
                       {.kind = index == "refused" ? MisbehavingServer::Kind::Refuse
                                                   : MisbehavingServer::Kind::Stall,
                        .times = 1});
    serveIndex(answered && index != "error page" ? index.split(' ', Qt::SkipEmptyParts)
                                                 : QStringList());
    loadProfile(0);
    if (change == "exclude today") {
        Profile &profile = m->tools.gProfile();
        for (quint8 day = 1; day <= 7; ++day)
            profile.SetDayOfWeekSchedule(day, true);
        // Today (1 = Sunday ... 7 = Saturday) is excluded.
        profile.SetDayOfWeekSchedule(quint8(QDate::currentDate().dayOfWeek() % 7 + 1), false);
    }
    if (change == "another profile")
        connect(
            &m->session, &WorkSession::pollStarted, this,
            [this] {
                loadProfile(0, "Second");
                m->tools.gProfile().gLogin = QStringLiteral("someone-else");
            },
            Qt::SingleShotConnection);
    QSignalSpy checked(&m->session, &WorkSession::checkEnded);
    QSignalSpy transferred(&m->session, &WorkSession::transferEnded);
    QSignalSpy polled(&m->session, &WorkSession::pollEnded);
    m->session.tick();
    if (change == "stop") {
        QVERIFY(QTest::qWaitFor([&] { return requests("job_index.asp") == 1; }, 5000));
        QCOMPARE(m->session.work(), WorkSession::Work::Check);
        m->session.finishAfterCurrentJob();
    }
    QVERIFY(polled.count() == 1 || polled.wait(10000));
    QCOMPARE(requests("job_index.asp"), 1);
    QCOMPARE(checked.count(), 1);
    QCOMPARE(checked.first().first().value<WorkSession::CheckResult>().answered, answered);
    QCOMPARE(transferred.count(), change == "stop" ? 0 : 1);
    QVERIFY(!m->session.busy());
    QVERIFY2(m->messages.messages.isEmpty(), qPrintable(m->messages.texts().join('\n')));
    QCOMPARE(m->host.jobList().rowCount(), 0);
    // Into the folder and with the login of the profile that the poll began with.
    QCOMPARE(QDir(m->folder.path("Downloads")).entryList(QDir::Files).size(), files);
    QVERIFY(!QDir(m->folder.path("Second")).exists());
    QCOMPARE(requests("job_status_update.asp"), files);
    QVERIFY(!m->server.targets.join(' ').contains(QLatin1String("someone-else")));
    QVERIFY(tickUntilPolled());
    QCOMPARE(requests("job_index.asp"), 2);
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
        << QStringList{"Check For Jobs failed|The job service could not be reached.\nThe next poll "
                       "tries again."};
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
        m->server.when("job_index.asp", MisbehavingServer::of(MisbehavingServer::Kind::Refuse));
    else
        serveIndex(ids, failing);
    loadProfile(0);
    PollNotices notifier(m->session, m->tools);
    ActivityLog log(m->tools);
    QStringList posted;
    connect(&notifier, &PollNotices::notice, this,
            [&posted](const QString &title, const QString &text) { posted << title + '|' + text; });
    if (byPoll) {
        QVERIFY(tickUntilPolled());
    } else {
        QSignalSpy checked(&m->session, &WorkSession::checkEnded);
        QSignalSpy transferred(&m->session, &WorkSession::transferEnded);
        QVERIFY(m->session.check() && (checked.count() == 1 || checked.wait(10000)));
        QVERIFY(m->session.transfer(false) &&
                (transferred.count() == 1 || transferred.wait(10000)));
    }
    QCOMPARE(posted.size(), notices.size());
    for (qsizetype i = 0; i < notices.size(); ++i)
        QVERIFY2(posted.at(i).startsWith(notices.at(i)), qPrintable(posted.at(i)));

    // The activity log, polls and commands alike: every job that ended,
    // newest first, a received one with the path written.
    QStringList expected;
    for (const QString &id : ids == QStringList{"refused"} ? QStringList() : ids)
        expected.prepend("Job" + id +
                         (failing.contains(id)
                              ? QStringLiteral("|Failed")
                              : "|Received|" + QDir::toNativeSeparators(
                                                   m->folder.path("Downloads/Job" + id + ".wav"))));
    QStringList logged;
    for (int row = 0; row < log.rowCount(); ++row) {
        const auto cell = [&](int column) {
            return log.index(row, column).data().toString();
        };
        const QString result = cell(ActivityLog::ResultColumn);
        logged << cell(ActivityLog::NameColumn) + '|' + result +
                      (result == "Received" ? '|' + cell(ActivityLog::DetailColumn) : QString());
    }
    QCOMPARE(logged, expected);
}

QTEST_MAIN(tst_Session)
#include "tst_session.moc"
