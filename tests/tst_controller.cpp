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
#include <QDate>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <limits>

namespace {

QByteArray jobElement(const QString &id, const QString &name, const QString &base,
                      const QString &openTime = QStringLiteral("2003-12-31 23:59:59"),
                      int priority = 1)
{
    return QStringLiteral("<job job_id=\"%1\" job_name=\"%2\" open_time=\"%3\" "
                          "department_name=\"Cardiology\" dictator=\"dr\" reference=\"R%1\" "
                          "demographic_1=\"d1\" demographic_2=\"d2\" demographic_3=\"d3\" "
                          "path=\"%4/files/%1.wav\" priority=\"%5\" dictator_first_name=\"\" "
                          "dictator_last_name=\"\"/>")
        .arg(id, name, openTime, base, QString::number(priority))
        .toUtf8();
}

QByteArray indexOf(const QList<QByteArray> &jobs)
{
    QByteArray xml = "<?xml version=\"1.0\"?><jobs><user_id>7</user_id>";
    for (const QByteArray &job : jobs)
        xml += job;
    return xml + "</jobs>";
}

int indexRequests(const MisbehavingServer &server)
{
    int count = 0;
    for (const QString &target : server.targets)
        count += target.contains(QLatin1String("job_index.asp"));
    return count;
}

// The four transfer commands, in their switching order.
QList<bool> transferCommands(const frmMain &main)
{
    return {main.cmdTransfer->isEnabled(), main.cmdStopDownload->isEnabled(),
            main.mDownloadJobs->isEnabled(), main.tlbBeginTransfer->isEnabled()};
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

    void startsOnTheSelectionWindowOnly();
    void programEndsWithItsLastWindow();
    void checkWithNoJobTurnsTheCommandsOff();
    void checkListsJobsInOrder();
    void secondCheckReplacesEveryRow();
    void transferFromCommandEmptiesTheList();
    void profilesLoadedInTurn();
    void oneCheckOrTransferAtATime();
    void failedCheckIsToldAndChangesNothing();

    void countdown_data();
    void countdown();
    void pollEverySixteenthTickWithIntervalFifteen();
    void intervalZeroPollsEveryTick();
    void shorterIntervalPollsAtOnce();
    void pollWithNoJobStillTransfers();
    void failingCheckDuringPollIsQuiet();
    void excludedDayIsPolledAllTheSame();
    void pollDueDuringUserCheckWaits();
    void pollTransfersAndConfirms();

private:
    // A profile file for `server` with interval `interval`, in the Profiles folder.
    QString writeProfile(const QString &first, const QString &last, qint32 interval = 15);
    frmMain &loadProfile(GUIFunctions &controller, const QString &path);
    // An index of jobs 1 "A" and 2 "B", their files and their confirmations.
    void serveTwoJobs();
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
    m_messages.clear();
}

void tst_Controller::cleanup()
{
    m_server.reset();
    m_folder.reset();
}

QString tst_Controller::writeProfile(const QString &first, const QString &last, qint32 interval)
{
    Profile profile(m_messages);
    profile.gFirstName = first;
    profile.gLastName = last;
    profile.gDepartment = QStringLiteral("Typing");
    profile.gGUID = QStringLiteral("G-1");
    profile.gLogin = QStringLiteral("ann");
    profile.gPassword = QStringLiteral("secret");
    profile.gStrBaseURL = m_server->base() + QStringLiteral("/remote_tools/");
    profile.gStrDownloadFolder = m_folder->path("Downloads");
    profile.gLngPollInterval = interval;
    profile.colDownloadRules = {QStringLiteral("Job Name")};
    const QString path = profile.NewProfilePath();
    if (!profile.SaveProfileToXML(path))
        qFatal("cannot write the test profile");
    return path;
}

void tst_Controller::serveTwoJobs()
{
    const QString base = m_server->base();
    m_server->when("job_index.asp", MisbehavingServer::answer(indexOf(
                                        {jobElement("1", "A", base), jobElement("2", "B", base)})));
    m_server->when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));
    m_server->when("/files/", MisbehavingServer::answer("RIFF-data"));
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
    bool done = false;
    controller.CheckForJobs(main, [&] { done = true; });
    return QTest::qWaitFor([&] { return done; }, 10000);
}

bool tst_Controller::tickUntilPolled(GUIFunctions &controller)
{
    QSignalSpy polled(&controller, &GUIFunctions::pollFinished);
    controller.timerDownload_Timer();
    return polled.count() == 1 || polled.wait(10000);
}

void tst_Controller::startsOnTheSelectionWindowOnly()
{
    GUIFunctions controller(m_messages);
    controller.start();
    QVERIFY(controller.selectionWindow());
    QVERIFY(controller.selectionWindow()->isVisible());
    QStringList visible;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->isVisible())
            visible << window->metaObject()->className();
    QCOMPARE(visible, QStringList{"frmProfileSelection"});
}

void tst_Controller::programEndsWithItsLastWindow()
{
    const QString path = writeProfile("Ann", "Lee");
    GUIFunctions controller(m_messages);
    controller.start();
    QStringList steps;
    // Load, then the profile manager (the program goes on), then cancel.
    QTimer::singleShot(0, &controller, [&] {
        controller.LoadProfile(*controller.selectionWindow(), path);
        steps << "loaded";
        QTimer::singleShot(0, &controller, [&] {
            controller.mainWindow().mProfileManager->trigger();
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
        QTimer::singleShot(0, &controller, [&] { controller.mainWindow().mExit->trigger(); });
    });
    safety.start(10000);
    QCOMPARE(QApplication::exec(), 0);
}

void tst_Controller::checkWithNoJobTurnsTheCommandsOff()
{
    m_server->when("job_index.asp", MisbehavingServer::answer(indexOf({})));
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee"));
    controller.EnableTransferCommands(main);
    QVERIFY(check(controller, main));
    QCOMPARE(main.jobList().rowCount(), 0);
    QCOMPARE(transferCommands(main), allOff);
    QVERIFY(main.cmdCheckForJobs->isEnabled());
    QVERIFY(m_messages.messages.isEmpty());
}

void tst_Controller::checkListsJobsInOrder()
{
    const QString base = m_server->base();
    m_server->when("job_index.asp",
                   MisbehavingServer::answer(
                       indexOf({jobElement("30", "Third", base, "2004-01-02 00:00:00", 3),
                                jobElement("10", "First", base),
                                jobElement("20", "Second", base, "2003-12-31 23:59:59", 5)})));
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee"));
    QVERIFY(check(controller, main));

    JobListModel &list = main.jobList();
    QCOMPARE(list.rowCount(), 3);
    QStringList ids, names;
    for (int row = 0; row < 3; ++row) {
        ids << list.subItemText(row, JobListModel::SubItemJobId);
        names << list.subItemText(row, 3);
        QCOMPARE(list.data(list.index(row, 0)).toString(), QString());
        QVERIFY(!list.data(list.index(row, 0), Qt::DecorationRole).isNull());
        QCOMPARE(list.subItemText(row, JobListModel::SubItemProgress), QStringLiteral("0%"));
        QCOMPARE(list.subItemText(row, 6), QString()); // Template
        QCOMPARE(list.subItemText(row, 7), QStringLiteral("0"));
    }
    QCOMPARE(ids, (QStringList{"30", "10", "20"}));
    QCOMPARE(names, (QStringList{"Third", "First", "Second"}));
    QCOMPARE(list.priority(0), 3);
    QCOMPARE(list.priority(2), 5);
    QVERIFY(main.listJobs->isColumnHidden(1));
    // Midnight: the date alone.
    QCOMPARE(list.subItemText(0, 5), QLocale().toString(QDate(2004, 1, 2), QLocale::ShortFormat));
    QCOMPARE(transferCommands(main), allOn);
}

void tst_Controller::secondCheckReplacesEveryRow()
{
    const QString base = m_server->base();
    auto first = MisbehavingServer::answer(
        indexOf({jobElement("1", "A", base), jobElement("2", "B", base)}));
    first.times = 1;
    m_server->when("job_index.asp", first);
    m_server->when("job_index.asp",
                   MisbehavingServer::answer(indexOf({jobElement("3", "C", base)})));
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee"));
    QVERIFY(check(controller, main));
    QCOMPARE(main.jobList().rowCount(), 2);
    const Job *before = main.gDownloadTools().gColDownloads.Item(QStringLiteral("1"));
    QVERIFY(before);

    QVERIFY(check(controller, main));
    QCOMPARE(main.jobList().rowCount(), 1);
    QCOMPARE(main.jobList().subItemText(0, JobListModel::SubItemJobId), QStringLiteral("3"));
    const JobCollection &jobs = main.gDownloadTools().gColDownloads;
    QCOMPARE(jobs.Count(), 1);
    QVERIFY(!jobs.Item(QStringLiteral("1")));
}

void tst_Controller::transferFromCommandEmptiesTheList()
{
    serveTwoJobs();
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee"));
    QVERIFY(check(controller, main));
    QCOMPARE(transferCommands(main), allOn);

    // The button, as the user clicks it.
    QSignalSpy finished(&main.gDownloadTools(), &DownloadTools::DownloadJobsFinished);
    main.cmdTransfer->click();
    QVERIFY(finished.wait(10000));
    QCOMPARE(main.jobList().rowCount(), 0);
    QCOMPARE(transferCommands(main), allOff);
    QVERIFY(main.cmdCheckForJobs->isEnabled());
    QCOMPARE(readAll(m_folder->path("Downloads/A.wav")), QByteArray("RIFF-data"));
    QCOMPARE(m_messages.texts(), QStringList{"All jobs have been updated on server!"});
}

void tst_Controller::profilesLoadedInTurn()
{
    const QString base = m_server->base();
    m_server->when("job_index.asp",
                   MisbehavingServer::answer(indexOf({jobElement("1", "A", base)})));
    const QString ann = writeProfile("Ann", "Lee");
    const QString bo = writeProfile("Bo", "Wu", 30);
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, ann);
    QVERIFY(!controller.selectionWindow() || !controller.selectionWindow()->isVisible());
    QVERIFY(check(controller, main));
    QCOMPARE(main.jobList().rowCount(), 1);
    main.lngMinutesElapsed = 4;

    main.mProfileManager->trigger();
    QVERIFY(!main.isVisible());
    QVERIFY(controller.selectionWindow() && controller.selectionWindow()->isVisible());
    frmMain &again = loadProfile(controller, bo);
    QCOMPARE(&again, &main);
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
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee"));
    main.gDownloadTools(); // the control exists before the time-out is set
    main.inet().setTransferTimeout(std::chrono::seconds(1));

    bool done = false;
    controller.CheckForJobs(main, [&] { done = true; });
    QVERIFY(QTest::qWaitFor([&] { return indexRequests(*m_server) == 1; }, 5000));
    QVERIFY(controller.busy());
    // Meanwhile the check and transfer commands are off and do nothing.
    QVERIFY(!main.cmdCheckForJobs->isEnabled());
    QVERIFY(!main.tlbCheckForJobs->isEnabled());
    QVERIFY(!main.mCheckForJobs->isEnabled());
    QVERIFY(!main.cmdTransfer->isEnabled());
    QVERIFY(main.cmdStopDownload->isEnabled());
    bool second = false;
    controller.CheckForJobs(main, [&] { second = true; });
    QVERIFY(second);
    controller.BeginTransfer(main, true);
    main.onToolbarButton(QStringLiteral("tlbCheckForJobs"));

    QVERIFY(QTest::qWaitFor([&] { return done; }, 10000));
    QCOMPARE(indexRequests(*m_server), 1);
    QVERIFY(!controller.busy());
    QVERIFY(main.cmdCheckForJobs->isEnabled());
    QCOMPARE(transferCommands(main), allOff);
}

void tst_Controller::failedCheckIsToldAndChangesNothing()
{
    const QString base = m_server->base();
    auto good = MisbehavingServer::answer(indexOf({jobElement("1", "A", base)}));
    good.times = 1;
    m_server->when("job_index.asp", good);
    m_server->when("job_index.asp", MisbehavingServer::of(MisbehavingServer::Kind::Refuse));
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee"));
    QVERIFY(check(controller, main));
    QCOMPARE(main.jobList().rowCount(), 1);

    QVERIFY(check(controller, main));
    QCOMPARE(m_messages.messages.size(), 1);
    const Message message = m_messages.messages.first();
    QCOMPARE(message.title, QStringLiteral("Check For Jobs"));
    QCOMPARE(message.icon, MessageIcon::Critical);
    QVERIFY2(message.text.contains(base + "/remote_tools/job_index.asp"), qPrintable(message.text));
    QVERIFY(message.text.contains(QLatin1String("PW=***")));
    QVERIFY(!message.text.contains(QLatin1String("secret")));
    QCOMPARE(main.jobList().rowCount(), 1);
    QCOMPARE(transferCommands(main), allOn);
    QVERIFY(main.isVisible());
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

void tst_Controller::pollEverySixteenthTickWithIntervalFifteen()
{
    m_server->when("job_index.asp", MisbehavingServer::answer(indexOf({})));
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee", 15));
    for (int left = 14; left >= 0; --left) {
        controller.timerDownload_Timer();
        QCOMPARE(main.statusText(), QString::number(left) + " Minutes Remaining Until Next Poll");
    }
    QCOMPARE(indexRequests(*m_server), 0);
    QVERIFY(tickUntilPolled(controller));
    QCOMPARE(indexRequests(*m_server), 1);
    QCOMPARE(main.lngMinutesElapsed, 0);
    QVERIFY(main.timerDownload->isActive());
    controller.timerDownload_Timer();
    QCOMPARE(main.statusText(), QStringLiteral("14 Minutes Remaining Until Next Poll"));
}

void tst_Controller::intervalZeroPollsEveryTick()
{
    m_server->when("job_index.asp", MisbehavingServer::answer(indexOf({})));
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee", 0));
    for (int poll = 1; poll <= 3; ++poll) {
        QVERIFY(tickUntilPolled(controller));
        QCOMPARE(indexRequests(*m_server), poll);
        QVERIFY(!main.statusText().contains(QLatin1String("Minutes Remaining")));
    }
}

void tst_Controller::shorterIntervalPollsAtOnce()
{
    m_server->when("job_index.asp", MisbehavingServer::answer(indexOf({})));
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee", 60));
    for (int tick = 0; tick < 20; ++tick)
        controller.timerDownload_Timer();
    QCOMPARE(main.lngMinutesElapsed, 20);
    main.mProfileManager->trigger();
    loadProfile(controller, writeProfile("Bo", "Wu", 15));
    QVERIFY(tickUntilPolled(controller));
    QCOMPARE(indexRequests(*m_server), 1);
    QCOMPARE(main.lngMinutesElapsed, 0);
}

void tst_Controller::pollWithNoJobStillTransfers()
{
    m_server->when("job_index.asp", MisbehavingServer::answer(indexOf({})));
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee", 0));
    QSignalSpy transferred(&main.gDownloadTools(), &DownloadTools::DownloadJobsFinished);
    QVERIFY(tickUntilPolled(controller));
    QCOMPARE(transferred.count(), 1);
    QCOMPARE(main.lngMinutesElapsed, 0);
    QCOMPARE(transferCommands(main), allOff);
    QVERIFY(m_messages.messages.isEmpty());
}

void tst_Controller::failingCheckDuringPollIsQuiet()
{
    m_server->when("job_index.asp", MisbehavingServer::of(MisbehavingServer::Kind::Refuse));
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee", 0));
    QSignalSpy transferred(&main.gDownloadTools(), &DownloadTools::DownloadJobsFinished);
    QVERIFY(tickUntilPolled(controller));
    QCOMPARE(transferred.count(), 1);
    QVERIFY2(m_messages.messages.isEmpty(), qPrintable(m_messages.texts().join('\n')));
    QVERIFY(main.timerDownload->isActive());
    QCOMPARE(main.lngMinutesElapsed, 0);
    QVERIFY(main.statusText().contains(QLatin1String("failed")));
    // The next poll tries again.
    const int before = indexRequests(*m_server);
    QVERIFY(tickUntilPolled(controller));
    QVERIFY(indexRequests(*m_server) > before);
}

void tst_Controller::excludedDayIsPolledAllTheSame()
{
    m_server->when("job_index.asp", MisbehavingServer::answer(indexOf({})));
    GUIFunctions controller(m_messages);
    const QString path = writeProfile("Ann", "Lee", 0);
    frmMain &main = loadProfile(controller, path);
    Profile &profile = main.gDownloadTools().gProfile();
    for (quint8 day = 1; day <= 7; ++day)
        profile.SetDayOfWeekSchedule(day, true);
    // Today (1 = Sunday ... 7 = Saturday) is excluded.
    profile.SetDayOfWeekSchedule(quint8(QDate::currentDate().dayOfWeek() % 7 + 1), false);
    QVERIFY(tickUntilPolled(controller));
    QCOMPARE(indexRequests(*m_server), 1);
}

void tst_Controller::pollDueDuringUserCheckWaits()
{
    auto stall = MisbehavingServer::of(MisbehavingServer::Kind::Stall);
    stall.times = 1;
    m_server->when("job_index.asp", stall);
    m_server->when("job_index.asp", MisbehavingServer::answer(indexOf({})));
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee", 0));
    main.inet().setTransferTimeout(std::chrono::seconds(1));
    controller.CheckForJobs(main);
    QVERIFY(QTest::qWaitFor([&] { return indexRequests(*m_server) == 1; }, 5000));

    QSignalSpy polled(&controller, &GUIFunctions::pollFinished);
    controller.timerDownload_Timer();
    QCOMPARE(indexRequests(*m_server), 1);
    // The user's check fails on its time-out; the poll follows it.
    QVERIFY(polled.wait(10000));
    QCOMPARE(indexRequests(*m_server), 2);
    QCOMPARE(m_messages.messages.size(), 1);
    QCOMPARE(m_messages.messages.first().title, QStringLiteral("Check For Jobs"));
}

void tst_Controller::pollTransfersAndConfirms()
{
    serveTwoJobs();
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee", 0));
    QVERIFY(tickUntilPolled(controller));
    QCOMPARE(main.jobList().rowCount(), 0);
    QCOMPARE(transferCommands(main), allOff);
    QVERIFY(QFile::exists(m_folder->path("Downloads/A.wav")));
    QVERIFY(QFile::exists(m_folder->path("Downloads/B.wav")));
    QCOMPARE(m_server->targets.filter("job_status_update.asp").size(), 2);
    // No closing message for a poll.
    QVERIFY(m_messages.messages.isEmpty());
}

QTEST_MAIN(tst_Controller)
#include "tst_controller.moc"
