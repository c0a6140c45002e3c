#include "TestSupport.h"
#include "dialogs/frmAbout.h"
#include "platform/RecordingMessageSink.h"
#include "service/DownloadTools.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commands_data();
    void commands();
    void shownAgainAsLoaded();
    void aboutBoxOutlivesTheWindow();
    void startSysInfo_data();
    void startSysInfo();
};

void tst_MainWindow::commands_data()
{
    QTest::addColumn<QString>("toolbarKey");   // or a key sequence pressed
    QTest::addColumn<QStringList>("requests"); // a check, or a transfer as the user's or not
    QTest::newRow("F5 checks for jobs") << "F5" << QStringList{"check"};
    QTest::newRow("Ctrl+Q exits") << "Ctrl+Q" << QStringList();
    QTest::newRow("toolbar: Check For Jobs") << "tlbCheckForJobs" << QStringList{"check"};
    QTest::newRow("toolbar: Begin Transfer, as the user's")
        << "tlbBeginTransfer" << QStringList{"transfer, the user's: true"};
}

void tst_MainWindow::commands()
{
    QFETCH(QString, toolbarKey);
    QFETCH(QStringList, requests);
    RecordingMessageSink messages;
    DownloadTools tools(messages);
    Inet inet;
    frmMain window(messages, tools, inet);
    window.Load();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy check(&window, &frmMain::checkForJobsRequested);
    QSignalSpy transfer(&window, &frmMain::beginTransferRequested);
    if (toolbarKey.startsWith("tlb"))
        window.onToolbarButton(toolbarKey);
    else
        QTest::keySequence(&window, QKeySequence(toolbarKey));
    QCOMPARE(window.isVisible(), toolbarKey != "Ctrl+Q");
    QStringList requested(check.count(), QStringLiteral("check"));
    for (const QList<QVariant> &arguments : transfer)
        requested << "transfer, the user's: " + arguments.value(0).toString();
    QCOMPARE(requested, requests);
}

void tst_MainWindow::shownAgainAsLoaded()
{
    RecordingMessageSink messages;
    DownloadTools tools(messages);
    Inet inet;
    frmMain window(messages, tools, inet);
    window.Load();
    for (const QString id : {"1", "2"}) {
        Job job;
        job.gLngID = id;
        QVERIFY(tools.gColDownloads.Add(job, id));
    }
    PopulateJobList(window.jobList(), tools.gColDownloads);
    window.setProgressValue(55.5);
    window.setStatusText(QStringLiteral("Busy"));
    window.setTransferCommandsEnabled(true);
    // Stop Download with nothing running changes nothing.
    QSignalSpy finished(&tools, &DownloadTools::DownloadJobsFinished);
    QTest::mouseClick(control<QPushButton>(window, "cmdStopDownload"), Qt::LeftButton);
    QCOMPARE(window.statusText(), QStringLiteral("Busy"));
    QCOMPARE(window.progressValue(), 55.5);
    QVERIFY(control<QPushButton>(window, "cmdStopDownload")->isEnabled());
    QCOMPARE(finished.count(), 0);
    QVERIFY(messages.messages.isEmpty());

    // Closed and loaded again: as fresh, but with the same tools and jobs; Check
    // For Jobs on, and the poll timer ticks once a minute again. The rows, the
    // transfer commands and the minute counter are checked where a profile
    // loads into the window again.
    window.close();
    window.Load();
    QCOMPARE(window.progressValue(), 0.0);
    QCOMPARE(control<QProgressBar>(window, "ProgressBar1")->value(), 0);
    QCOMPARE(window.statusText(), QString());
    QVERIFY(control<QPushButton>(window, "cmdCheckForJobs")->isEnabled());
    QCOMPARE(control<QTimer>(window, "timerDownload")->interval(), 60000);
    QVERIFY(control<QTimer>(window, "timerDownload")->isActive());
    QCOMPARE(tools.gColDownloads.Count(), 2);
}

void tst_MainWindow::aboutBoxOutlivesTheWindow()
{
    RecordingMessageSink messages;
    DownloadTools tools(messages);
    Inet inet;
    frmMain window(messages, tools, inet);
    window.Load();
    control<QAction>(window, "mHelpAbout")->trigger();
    QPointer<frmAbout> about = window.aboutBox();
    QVERIFY(about && about->isVisible());
    control<QAction>(window, "mHelpAbout")->trigger();
    QCOMPARE(window.aboutBox(), about.data());

    // File > Exit closes the window; the program ends from its event loop
    // when its last window closes.
    bool runningAfterMainClosed = false;
    QTimer::singleShot(0, &window, [&] { control<QAction>(window, "mExit")->trigger(); });
    QTimer::singleShot(100, &window, [&] {
        runningAfterMainClosed = !window.isVisible();
        QVERIFY(about->isVisible());
        about->close();
    });
    QTimer::singleShot(5000, &window, [] { QCoreApplication::exit(3); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(runningAfterMainClosed);
    QTRY_VERIFY(!about);
}

void tst_MainWindow::startSysInfo_data()
{
    QTest::addColumn<QStringList>("desktop"); // the programs looked for on PATH
    QTest::addColumn<bool>("startWorks");
    QTest::addColumn<QString>("started"); // the end of the program started; empty: none
    QTest::newRow("the first desktop program on PATH")
        << QStringList{"no-such-program-here", "sh"} << true << "/sh";
    QTest::newRow("program cannot start: told") << QStringList{"sh"} << false << "/sh";
    QTest::newRow("no desktop program: told") << QStringList() << true << "";
}

void tst_MainWindow::startSysInfo()
{
    QFETCH(QStringList, desktop);
    QFETCH(bool, startWorks);
    QFETCH(QString, started);
#ifdef Q_OS_WIN
    QSKIP("the registry decides on Windows");
#endif
    RecordingMessageSink messages;
    frmAbout about(messages);
    QStringList starts;
    about.setProgramStarter([&](const QString &program) {
        starts << program;
        return startWorks;
    });
    about.setDesktopPrograms(desktop);
    about.cmdSysInfo->click();
    QCOMPARE(starts.size(), started.isEmpty() ? 0 : 1);
    QVERIFY2(started.isEmpty() || starts.first().endsWith(started), qPrintable(starts.value(0)));
    QCOMPARE(messages.texts(), started.isEmpty() || !startWorks
                                   ? QStringList{"System Information Is Unavailable At This Time"}
                                   : QStringList());
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
