#include "MisbehavingServer.h"
#include "TestSupport.h"
#include "dialogs/frmProfileSelection.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "service/PollCountdown.h"
#include "shell/GUIFunctions.h"
#include "shell/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <limits>

namespace {

int indexRequests(const MisbehavingServer &server)
{
    return server.targets.filter(QStringLiteral("job_index.asp")).size();
}

// The four transfer commands, in their switching order.
QList<bool> transferCommands(const frmMain &main)
{
    return {control<QPushButton>(main, "cmdTransfer")->isEnabled(),
            control<QPushButton>(main, "cmdStopDownload")->isEnabled(),
            control<QAction>(main, "mDownloadJobs")->isEnabled(),
            control<QAction>(main, "tlbBeginTransfer")->isEnabled()};
}

const QList<bool> allOn{true, true, true, true};
const QList<bool> allOff{false, false, false, false};

} // namespace

class tst_Controller : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void startsOnTheSelectionAndEndsWithTheLastWindow();
    void check_data();
    void check();
    void profilesLoadedInTurn();
    void oneCheckOrTransferAtATime();

    void countdown_data();
    void countdown();
    void failingPollIsQuiet();

private:
    // A profile file for the server with interval `interval`, in the Profiles folder.
    QString writeProfile(const QString &first, const QString &last, qint32 interval = 15);
    frmMain &loadProfile(GUIFunctions &controller, const QString &path);
    // An index of the jobs `ids`, with their files on the server.
    QByteArray index(const QStringList &ids) const;
    bool check(GUIFunctions &controller, frmMain &main);
    bool tickUntilPolled(GUIFunctions &controller);

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<MisbehavingServer> m_server;
    RecordingMessageSink m_messages;
};

void tst_Controller::init()
{
    m_folder = std::make_unique<TestFolder>();
    QDir().mkpath(m_folder->profiles());
    QDir().mkpath(m_folder->path("Downloads"));
    m_server = std::make_unique<MisbehavingServer>();
    m_server->when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));
    m_server->when("/files/", MisbehavingServer::answer("RIFF-data"));
    m_messages.clear();
}

void tst_Controller::cleanup()
{
    m_server.reset();
    m_folder.reset();
}

QString tst_Controller::writeProfile(const QString &first, const QString &last, qint32 interval)
{
    const QString path = m_folder->profile(first + QLatin1Char(' ') + last + ".xml");
    if (!writeFile(path, profileFile({{"first_name", first},
                                      {"last_name", last},
                                      {"password", "secret"},
                                      {"base_url", m_server->base() + "/remote_tools/"},
                                      {"download_folder", m_folder->path("Downloads")},
                                      {"pollinterval", QString::number(interval)}},
                                     {"Job Name"})))
        qFatal("cannot write the test profile");
    return path;
}

QByteArray tst_Controller::index(const QStringList &ids) const
{
    QList<QByteArray> jobs;
    for (const QString &id : ids)
        jobs << jobElement(id, {{"path", m_server->base() + "/files/" + id + ".wav"}});
    return jobIndex(jobs);
}

frmMain &tst_Controller::loadProfile(GUIFunctions &controller, const QString &path)
{
    if (!controller.selectionWindow())
        controller.start();
    controller.LoadProfile(*controller.selectionWindow(), path);
    return controller.mainWindow();
}

bool tst_Controller::check(GUIFunctions &controller, frmMain &main)
{
    controller.CheckForJobs(main);
    return QTest::qWaitFor([&] { return !controller.busy(); }, 10000);
}

bool tst_Controller::tickUntilPolled(GUIFunctions &controller)
{
    QSignalSpy polled(&controller, &GUIFunctions::pollFinished);
    controller.timerDownload_Timer();
    return polled.count() == 1 || polled.wait(10000);
}

void tst_Controller::startsOnTheSelectionAndEndsWithTheLastWindow()
{
    const QString path = writeProfile("Ann", "Lee");
    GUIFunctions controller(m_messages);
    controller.start();
    QStringList visible;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->isVisible())
            visible << window->metaObject()->className();
    QCOMPARE(visible, QStringList{"frmProfileSelection"});
    QStringList steps;
    // Load, then the profile manager (the program goes on), then cancel.
    QTimer::singleShot(0, &controller, [&] {
        controller.LoadProfile(*controller.selectionWindow(), path);
        steps << "loaded";
        QTimer::singleShot(0, &controller, [&] {
            control<QAction>(controller.mainWindow(), "mProfileManager")->trigger();
            steps << "manager";
            QTimer::singleShot(0, &controller, [&] {
                steps << "still running";
                controller.selectionWindow()->cmdCancel->click();
            });
        });
    });
    // A safety net, so that a fault ends the test rather than hanging it.
    QTimer safety;
    safety.setSingleShot(true);
    connect(&safety, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    safety.start(10000);
    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(steps, (QStringList{"loaded", "manager", "still running"}));
    QVERIFY(!controller.selectionWindow());

    // The main window closed ends the program too.
    controller.start();
    QTimer::singleShot(0, &controller, [&] {
        controller.LoadProfile(*controller.selectionWindow(), path);
        QTimer::singleShot(0, &controller,
                           [&] { control<QAction>(controller.mainWindow(), "mExit")->trigger(); });
    });
    safety.start(10000);
    QCOMPARE(QApplication::exec(), 0);
}

void tst_Controller::check_data()
{
    // The index answers in turn, one per check; {"refused"} closes the connection.
    QTest::addColumn<QList<QStringList>>("answers");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("told");
    QTest::newRow("no job turns the transfer commands off")
        << QList<QStringList>{{}} << QStringList() << false;
    QTest::newRow("rows in the order served")
        << QList<QStringList>{{"30", "10", "20"}} << QStringList{"30", "10", "20"} << false;
    QTest::newRow("second check replaces every row")
        << QList<QStringList>{{"1", "2"}, {"3"}} << QStringList{"3"} << false;
    QTest::newRow("failed check is told and keeps the rows")
        << QList<QStringList>{{"1"}, {"refused"}} << QStringList{"1"} << true;
}

void tst_Controller::check()
{
    QFETCH(QList<QStringList>, answers);
    QFETCH(QStringList, rows);
    QFETCH(bool, told);
    for (qsizetype i = 0; i < answers.size(); ++i) {
        auto answer = answers.at(i) == QStringList{"refused"}
                          ? MisbehavingServer::of(MisbehavingServer::Kind::Refuse)
                          : MisbehavingServer::answer(index(answers.at(i)));
        answer.times = i + 1 < answers.size() ? 1 : 0;
        m_server->when("job_index.asp", answer);
    }
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee"));
    controller.EnableTransferCommands(main);
    for (qsizetype i = 0; i < answers.size(); ++i)
        QVERIFY(check(controller, main));

    QStringList shown;
    for (int row = 0; row < main.jobList().rowCount(); ++row)
        shown << main.jobList().subItemText(row, JobListModel::SubItemJobId);
    QCOMPARE(shown, rows);
    QCOMPARE(main.gDownloadTools().gColDownloads.Count(), rows.size());
    QCOMPARE(transferCommands(main), rows.isEmpty() ? allOff : allOn);
    QVERIFY(control<QPushButton>(main, "cmdCheckForJobs")->isEnabled());
    QCOMPARE(m_messages.messages.size(), told ? 1 : 0);
    if (told) {
        const Message message = m_messages.messages.first();
        QCOMPARE(message.title, QStringLiteral("Check For Jobs"));
        QCOMPARE(message.icon, MessageIcon::Critical);
        QVERIFY2(message.text.contains(m_server->base() + "/remote_tools/job_index.asp"),
                 qPrintable(message.text));
        QVERIFY(message.text.contains(QLatin1String("PW=***")));
        QVERIFY(!message.text.contains(QLatin1String("secret")));
    }
}

void tst_Controller::profilesLoadedInTurn()
{
    m_server->when("job_index.asp", MisbehavingServer::answer(index({"1"})));
    const QString bo = writeProfile("Bo", "Wu", 30);
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee"));
    QVERIFY(!controller.selectionWindow() || !controller.selectionWindow()->isVisible());
    QVERIFY(check(controller, main));
    QCOMPARE(main.jobList().rowCount(), 1);
    main.lngMinutesElapsed = 4;

    control<QAction>(main, "mProfileManager")->trigger();
    QVERIFY(!main.isVisible());
    QVERIFY(controller.selectionWindow() && controller.selectionWindow()->isVisible());
    QCOMPARE(&loadProfile(controller, bo), &main);
    QVERIFY(main.isVisible());
    QCOMPARE(main.windowTitle(), QStringLiteral("Quillet Internet Transfer Tool - Bo Wu"));
    QCOMPARE(main.jobList().rowCount(), 0);
    QCOMPARE(transferCommands(main), allOff);
    QCOMPARE(main.lngMinutesElapsed, 4);
    QCOMPARE(main.gDownloadTools().gProfile().gLngPollInterval, 30);
}

void tst_Controller::oneCheckOrTransferAtATime()
{
    auto stall = MisbehavingServer::of(MisbehavingServer::Kind::Stall);
    stall.times = 1;
    m_server->when("job_index.asp", stall);
    m_server->when("job_index.asp", MisbehavingServer::answer(index({})));
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee", 0));
    main.gDownloadTools(); // the control exists before the time-out is set
    main.inet().setTransferTimeout(std::chrono::seconds(1));

    controller.CheckForJobs(main);
    QVERIFY(QTest::qWaitFor([&] { return indexRequests(*m_server) == 1; }, 5000));
    QVERIFY(controller.busy());
    // Meanwhile the check and transfer commands are off and do nothing.
    QCOMPARE((QList<bool>{control<QPushButton>(main, "cmdCheckForJobs")->isEnabled(),
                          control<QAction>(main, "tlbCheckForJobs")->isEnabled(),
                          control<QAction>(main, "mCheckForJobs")->isEnabled(),
                          control<QPushButton>(main, "cmdTransfer")->isEnabled(),
                          control<QPushButton>(main, "cmdStopDownload")->isEnabled()}),
             (QList<bool>{false, false, false, false, true}));
    controller.CheckForJobs(main);
    controller.BeginTransfer(main, true);
    main.onToolbarButton(QStringLiteral("tlbCheckForJobs"));
    // A poll that falls due waits for the user's check.
    QSignalSpy polled(&controller, &GUIFunctions::pollFinished);
    controller.timerDownload_Timer();
    QCOMPARE(indexRequests(*m_server), 1);

    // The user's check fails on its time-out; the poll follows it.
    QVERIFY(polled.wait(10000));
    QCOMPARE(indexRequests(*m_server), 2);
    QCOMPARE(m_messages.messages.size(), 1);
    QCOMPARE(m_messages.messages.first().title, QStringLiteral("Check For Jobs"));
    QVERIFY(!controller.busy());
    QVERIFY(control<QPushButton>(main, "cmdCheckForJobs")->isEnabled());
    QCOMPARE(transferCommands(main), allOff);
}

void tst_Controller::countdown_data()
{
    QTest::addColumn<int>("elapsed");
    QTest::addColumn<int>("interval");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("after");
    QTest::addColumn<qint64>("ticksPerPoll");

    const int largest = std::numeric_limits<qint32>::max();
    QTest::newRow("first minute") << 0 << 15 << "14 Minutes Remaining Until Next Poll" << 1 << 16LL;
    QTest::newRow("one left") << 13 << 15 << "1 Minutes Remaining Until Next Poll" << 14 << 16LL;
    QTest::newRow("zero left") << 14 << 15 << "0 Minutes Remaining Until Next Poll" << 15 << 16LL;
    QTest::newRow("due") << 15 << 15 << QString() << 15 << 16LL;
    QTest::newRow("past due") << 40 << 15 << QString() << 40 << 16LL;
    QTest::newRow("interval 0") << 0 << 0 << QString() << 0 << 1LL;
    QTest::newRow("negative interval") << 0 << -5 << QString() << 0 << 1LL;
    QTest::newRow("smallest interval")
        << 0 << std::numeric_limits<qint32>::min() << QString() << 0 << 1LL;
    QTest::newRow("largest interval")
        << 0 << largest << "2147483646 Minutes Remaining Until Next Poll" << 1 << 2147483648LL;
    QTest::newRow("largest interval, last minute")
        << largest - 1 << largest << "0 Minutes Remaining Until Next Poll" << largest
        << 2147483648LL;
}

void tst_Controller::countdown()
{
    QFETCH(int, elapsed);
    QFETCH(int, interval);
    QFETCH(QString, text);
    QFETCH(int, after);
    QFETCH(qint64, ticksPerPoll);
    qint32 counter = elapsed;
    const std::optional<QString> shown = PollCountdown::tick(counter, interval);
    QCOMPARE(shown.has_value(), !text.isNull());
    if (shown)
        QCOMPARE(*shown, text);
    QCOMPARE(counter, after);
    QCOMPARE(PollCountdown::ticksPerPoll(interval), ticksPerPoll);
}

void tst_Controller::failingPollIsQuiet()
{
    m_server->when("job_index.asp", MisbehavingServer::of(MisbehavingServer::Kind::Refuse));
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee", 0));
    QVERIFY(tickUntilPolled(controller));
    QVERIFY2(m_messages.messages.isEmpty(), qPrintable(m_messages.texts().join('\n')));
    QCOMPARE(main.statusText(),
             QStringLiteral("The check for jobs failed; the next poll tries again."));
    QCOMPARE(transferCommands(main), allOff);
    QVERIFY(control<QPushButton>(main, "cmdCheckForJobs")->isEnabled());
    QVERIFY(control<QTimer>(main, "timerDownload")->isActive());
}

QTEST_MAIN(tst_Controller)
#include "tst_controller.moc"
