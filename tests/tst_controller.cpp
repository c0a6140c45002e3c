#include "MisbehavingServer.h"
#include "TestSupport.h"
#include "dialogs/frmProfileSelection.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "shell/GUIFunctions.h"
#include "shell/frmMain.h"

#include "shell/DesktopNotices.h"

#include <QAction>
#include <QApplication>
#ifdef QUILLET_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#endif
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace {

// The rows of the job list, and which of the four transfer commands are on,
// in their switching order.
QString shown(frmMain &main)
{
    QString text = QString::number(main.jobList().rowCount()) + " rows:";
    for (const char *name : {"cmdTransfer", "cmdStopDownload", "mDownloadJobs", "tlbBeginTransfer"})
        text += control<QObject>(main, name)->property("enabled").toBool() ? " on" : " off";
    return text;
}

// A notification service of the desktop, as it receives the notices.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList received; // app|icon|summary|body|desktop entry

public Q_SLOTS:
    uint Notify(const QString &app, uint, const QString &icon, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &hints, int)
    {
        received << QStringList{app, icon, summary, body, hints.value("desktop-entry").toString()}
                        .join('|');
        return uint(received.size());
    }
};

} // namespace

class tst_Controller : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup()
    {
        m_server.reset();
        m_folder.reset();
    }

    void checksProfilesAndTheLastWindow();
    void oneCheckOrTransferAtATime();
    void tellsWhatHappened();
    void oneProgramPerProfile();
    void noticesReachTheDesktop_data();
    void noticesReachTheDesktop();

private:
    // A profile file for the server, in the Profiles folder; interval 0 polls on every tick.
    QString writeProfile(const QString &first, const QString &last, qint32 interval = 0);
    frmMain &loadProfile(GUIFunctions &controller, const QString &path);

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<MisbehavingServer> m_server;
    RecordingMessageSink m_messages;
};

void tst_Controller::init()
{
    m_folder = std::make_unique<TestFolder>();
    QDir().mkpath(m_folder->profiles());
    m_server = std::make_unique<MisbehavingServer>();
    m_server->when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));
    m_messages.clear();
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

frmMain &tst_Controller::loadProfile(GUIFunctions &controller, const QString &path)
{
    if (!controller.selectionWindow())
        controller.start();
    controller.LoadProfile(*controller.selectionWindow(), path);
    return controller.mainWindow();
}

void tst_Controller::checksProfilesAndTheLastWindow()
{
    // An index of the jobs `ids`, with their files on the server.
    const auto index = [this](const QStringList &ids) {
        QList<QByteArray> jobs;
        for (const QString &id : ids)
            jobs << jobElement(id, {{"path", m_server->base() + "/files/" + id + ".wav"}});
        return jobIndex(jobs);
    };
    // The index answers in turn: a job, no job, two jobs, no connection, two jobs.
    for (auto answer :
         {MisbehavingServer::answer(index({"1"})), MisbehavingServer::answer(index({})),
          MisbehavingServer::answer(index({"1", "2"})),
          MisbehavingServer::of(MisbehavingServer::Kind::Refuse)}) {
        answer.times = 1;
        m_server->when("job_index.asp", answer);
    }
    m_server->when("job_index.asp", MisbehavingServer::answer(index({"1", "2"})));
    m_server->when("/files/2.wav", MisbehavingServer::of(MisbehavingServer::Kind::Stall));
    m_server->when("/files/", MisbehavingServer::answer("RIFF-data"));
    writeProfile("Ann", "Lee");
    const QString bo = writeProfile("Bo", "Wu", 30);
    GUIFunctions controller(m_messages);
    controller.start();
    QStringList visible;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->isVisible())
            visible << window->metaObject()->className();
    QCOMPARE(visible, QStringList{"frmProfileSelection"});
    QTreeWidget *list = controller.selectionWindow()->listProfiles;
    list->setCurrentItem(list->findItems("Ann Lee", Qt::MatchExactly).value(0));
    controller.selectionWindow()->cmdLoadProfile->click();
    frmMain &main = controller.mainWindow();
    const auto check = [&] {
        control<QPushButton>(main, "cmdCheckForJobs")->click();
        return QTest::qWaitFor([&] { return !controller.busy(); }, 10000);
    };
    QVERIFY(main.isVisible());
    QVERIFY(!controller.selectionWindow() || !controller.selectionWindow()->isVisible());

    // A job listed turns the transfer commands on; no job turns them off.
    QVERIFY(check());
    QCOMPARE(shown(main), "1 rows: on on on on");
    QVERIFY(check());
    QCOMPARE(shown(main), "0 rows: off off off off");
    // A failed check is told in a box; the rows, their jobs and the commands stay.
    QVERIFY(check());
    QVERIFY(check());
    QCOMPARE(shown(main), "2 rows: on on on on");
    QCOMPARE(main.gDownloadTools().gColDownloads.Count(), 2);
    QCOMPARE(m_messages.messages.size(), 1);
    QCOMPARE(m_messages.messages.first().icon, MessageIcon::Critical);

    // The profile manager hides the window, and the program goes on; Bo's
    // profile comes into the same window; the manager again, then Cancel: no
    // window is left, and the program ends.
    main.lngMinutesElapsed = 4;
    QStringList steps;
    QTimer::singleShot(0, &controller, [&] {
        control<QAction>(main, "mProfileManager")->trigger();
        QTimer::singleShot(0, &controller, [&] {
            steps << (main.isVisible() ? "window shown" : "window hidden");
            QVERIFY(controller.selectionWindow() && controller.selectionWindow()->isVisible());
            steps << (&loadProfile(controller, bo) == &main ? "same window" : "another window");
            control<QAction>(main, "mProfileManager")->trigger();
            QTimer::singleShot(0, &controller, [&] {
                steps << "still running";
                controller.selectionWindow()->cmdCancel->click();
            });
        });
    });
    // A safety net, so that a fault ends the test rather than hanging it.
    QTimer::singleShot(10000, &controller, [] { QCoreApplication::exit(1); });
    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(steps, (QStringList{"window hidden", "same window", "still running"}));
    QVERIFY(!controller.selectionWindow());
    // Bo's profile, and the window started afresh but for the minute counter.
    QCOMPARE(main.gDownloadTools().gProfile().gLngPollInterval, 30);
    QCOMPARE(shown(main), "0 rows: off off off off");
    QCOMPARE(main.lngMinutesElapsed, 4);

    // File > Exit while job 2 is requested: the transfer ends, job 1 is
    // confirmed, and no report pops up.
    QCOMPARE(&loadProfile(controller, bo), &main);
    QVERIFY(check());
    control<QPushButton>(main, "cmdTransfer")->click();
    QTRY_VERIFY(m_server->targets.contains(QStringLiteral("/files/2.wav")));
    control<QAction>(main, "mExit")->trigger();
    QTRY_VERIFY(!controller.busy());
    QVERIFY(!main.inet().StillExecuting());
    QCOMPARE(m_server->targets.filter("job_status_update.asp"),
             QStringList{"/remote_tools/job_status_update.asp?ID=1&LG=ann&PW=secret"});
    QCOMPARE(m_messages.messages.size(), 1);
}

void tst_Controller::oneCheckOrTransferAtATime()
{
    m_server->when("job_index.asp", MisbehavingServer::of(MisbehavingServer::Kind::Stall));
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee"));
    main.gDownloadTools(); // the control exists before the time-out is set
    main.inet().setTransferTimeout(std::chrono::seconds(1));

    controller.CheckForJobs(main);
    QVERIFY(QTest::qWaitFor([&] { return m_server->targets.filter("job_index.asp").size() == 1; },
                            5000));
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
    QCOMPARE(m_server->targets.filter("job_index.asp").size(), 1);

    // The user's check fails on its time-out, told in a box; the poll follows.
    // Stop Download during its check ends it, without a transfer, told in the status line.
    QSignalSpy transferred(controller.session(), &WorkSession::transferEnded);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->targets.filter("job_index.asp").size(), 2, 10000);
    control<QPushButton>(main, "cmdStopDownload")->click();
    QVERIFY(polled.count() == 1 || polled.wait(10000));
    QCOMPARE(transferred.count(), 0);
    QCOMPARE(m_messages.messages.size(), 1);
    QCOMPARE(m_messages.messages.first().title, QStringLiteral("Check For Jobs"));
    QCOMPARE(main.statusText(),
             QStringLiteral("The check for jobs failed; the next poll tries again."));
    QVERIFY(!controller.busy());
    QVERIFY(control<QPushButton>(main, "cmdCheckForJobs")->isEnabled());
    QCOMPARE(shown(main), "0 rows: off off off off");
}

void tst_Controller::tellsWhatHappened()
{
    // The index answers in turn: a refused login, no job, three jobs.
    QList<QByteArray> jobs;
    for (const char *id : {"1", "2", "3"})
        jobs << jobElement(id, {{"path", m_server->base() + "/files/" + id + ".wav"}});
    for (auto answer : {MisbehavingServer::answer("<html>Login failed</html>", 401),
                        MisbehavingServer::answer(jobIndex())}) {
        answer.times = 1;
        m_server->when("job_index.asp", answer);
    }
    m_server->when("job_index.asp", MisbehavingServer::answer(jobIndex(jobs)));
    m_server->when("/files/2.wav", MisbehavingServer::of(MisbehavingServer::Kind::Stall));
    m_server->when("/files/", MisbehavingServer::answer("RIFF-data"));
    GUIFunctions controller(m_messages);
    frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee"));
    const auto check = [&] {
        controller.CheckForJobs(main);
        return QTest::qWaitFor([&] { return !controller.busy(); }, 10000);
    };

    // What came back, under the box's own text.
    QVERIFY(check());
    QCOMPARE(m_messages.texts(), QStringList{DownloadTools::invalidIndexText()});
    QCOMPARE(m_messages.messages.first().detail, "The service answered HTTP 401: Login failed");
    QVERIFY(check());
    QCOMPARE(main.statusText(), "No jobs are waiting.");

    // Which job of how many runs; Stop Download is no error, and the rows
    // left can be transferred again.
    QVERIFY(check());
    m_messages.clear();
    controller.BeginTransfer(main, true);
    QTRY_VERIFY(m_server->targets.contains(QStringLiteral("/files/2.wav")));
    QCOMPARE(main.jobCounterText(), "Job 2 of 3");
    control<QPushButton>(main, "cmdStopDownload")->click();
    QTRY_VERIFY(!controller.busy());
    QCOMPARE(m_messages.texts(), QStringList{"Stopped: 1 of 3 jobs received and confirmed."});
    QCOMPARE(shown(main), "2 rows: on on on on");
    QCOMPARE(main.jobCounterText(), QString());

    // The activity view opens over the middle of the window; Escape closes it.
    main.move(200, 150);
    controller.ShowActivity();
    QWidget *activity = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->objectName() == "frmActivity")
            activity = window;
    QVERIFY(activity && QTest::qWaitForWindowActive(activity));
    QVERIFY(
        (activity->frameGeometry().center() - main.frameGeometry().center()).manhattanLength() <=
        2);
    QTest::keyClick(activity, Qt::Key_Escape);
    QVERIFY(!activity->isVisible());

    // Closing the window during a transfer ends it quietly.
    m_messages.clear();
    controller.BeginTransfer(main, true);
    QTRY_COMPARE(m_server->targets.filter("/files/2.wav").size(), 2);
    main.close();
    QTRY_VERIFY(!controller.busy());
    QVERIFY(m_messages.messages.isEmpty());
    // Only the rows left were asked for again.
    QCOMPARE(m_server->targets.filter("/files/1.wav").size(), 1);
    QCOMPARE(m_server->targets.filter("/files/3.wav").size(), 0);
}

void tst_Controller::oneProgramPerProfile()
{
    const QString ann = writeProfile("Ann", "Lee");
    const QString link = m_folder->path("ann-link.xml");
    QVERIFY(QFile::link(ann, link));
    auto first = std::make_unique<GUIFunctions>(m_messages);
    loadProfile(*first, ann);
    // Another program: the same file, by its path or another, is refused
    // before anything is loaded or sent; the lock file is no profile.
    GUIFunctions second(m_messages);
    second.start();
    QCOMPARE(second.selectionWindow()->listProfiles->topLevelItemCount(), 2);
#ifdef Q_OS_WIN
    const QStringList paths{ann}; // a shortcut is a file of its own, not another path to it
#else
    const QStringList paths{ann, link};
#endif
    for (const QString &path : paths) {
        second.LoadProfile(*second.selectionWindow(), path);
        QCOMPARE(m_messages.texts().value(0),
                 "The profile of Ann Lee is in use by another program on this computer.");
        m_messages.clear();
        QVERIFY(second.selectionWindow()->isVisible());
    }
    QCOMPARE(second.mainWindow().gDownloadTools().gProfile().gStrProfilePath, QString());
    // Once the first program ends, the profile is free.
    first.reset();
    loadProfile(second, ann);
    QCOMPARE(second.mainWindow().gDownloadTools().gProfile().gFirstName, "Ann");
    QVERIFY(m_messages.messages.isEmpty());
}

void tst_Controller::noticesReachTheDesktop_data()
{
    QTest::addColumn<bool>("service"); // a notification service on the bus
    QTest::newRow("the service shows it") << true;
    QTest::newRow("no service: the balloon, where there is one") << false;
}

void tst_Controller::noticesReachTheDesktop()
{
    QFETCH(bool, service);
    FakeNotifications fake;
#ifndef QUILLET_HAVE_DBUS
    // The balloon alone, as where no bus is.
    if (service)
        QSKIP("this build has no D-Bus, as on Windows");
    const QString address;
#else
    const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
    if (daemon.isEmpty())
        QSKIP("dbus-daemon is not installed");
    // A bus of the test's own, as a desktop session has.
    QProcess bus;
    bus.start(daemon, {"--session", "--nofork", "--print-address"});
    QTRY_VERIFY(bus.canReadLine());
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    const auto stopBus = qScopeGuard([&bus] {
        bus.kill();
        bus.waitForFinished();
    });
    QDBusConnection desktop = QDBusConnection::connectToBus(address, "desktop");
    if (service) {
        QVERIFY(desktop.registerService("org.freedesktop.Notifications"));
        QVERIFY(desktop.registerObject("/org/freedesktop/Notifications", &fake,
                                       QDBusConnection::ExportAllSlots));
    }
#endif
    m_server->when("job_index.asp", MisbehavingServer::of(MisbehavingServer::Kind::Refuse));
    QGuiApplication::setDesktopFileName("net.quillet.InetTool");
    {
        GUIFunctions controller(m_messages);
        controller.setNoticeBus(address);
        frmMain &main = loadProfile(controller, writeProfile("Ann", "Lee"));
        QStringList balloons;
        controller.desktopNotices()->setBalloon(
            [&balloons](const QString &title, const QString &) { balloons << title; });
        QSignalSpy shown(controller.desktopNotices(), &DesktopNotices::shown);
        // A failing poll while the window is hidden: told in plain words.
        main.hide();
        controller.timerDownload_Timer();
        QVERIFY(shown.wait(10000));
        QCOMPARE(shown.first().first().toBool(), service);
        QCOMPARE(fake.received,
                 service ? QStringList{"Quillet Internet Transfer Tool|net.quillet.InetTool|Check "
                                       "For Jobs failed|The job service could not be reached.\n"
                                       "The next poll tries again.|net.quillet.InetTool"}
                         : QStringList());
        QCOMPARE(balloons, service ? QStringList() : QStringList{"Check For Jobs failed"});
    }
#ifdef QUILLET_HAVE_DBUS
    QDBusConnection::disconnectFromBus("desktop");
#endif
}

QTEST_MAIN(tst_Controller)
#include "tst_controller.moc"
