#include "MisbehavingServer.h"
#include "dialogs/frmAbout.h"
#include "platform/RecordingMessageSink.h"
#include "platform/Twips.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "shell/MainWindowLayout.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initialState();
    void captionAfterSetupTitlebar();
    void resizeRule_data();
    void resizeRule();
    void resizeRuleApplied();
    void toolbarKeys_data();
    void toolbarKeys();
    void stopWithNothingRunningChangesNothing();
    void shownAgainStartsEmpty();
    void aboutBoxOutlivesTheWindow();
    void priorityImages();
    void closingMidTransferConfirmsReceivedJobs();
};

void tst_MainWindow::initialState()
{
    RecordingMessageSink messages;
    frmMain window(messages);
    window.Load();
    QCOMPARE(window.windowTitle(), QStringLiteral("Quillet Internet Transfer Tool"));
    QCOMPARE(window.cmdCheckForJobs->text(), QStringLiteral("Check For Jobs"));
    QCOMPARE(window.cmdTransfer->text(), QStringLiteral("Begin Transfer"));
    QCOMPARE(window.cmdStopDownload->text(), QStringLiteral("Stop Download"));
    QVERIFY(window.cmdCheckForJobs->isEnabled());
    QVERIFY(!window.cmdTransfer->isEnabled());
    QVERIFY(!window.cmdStopDownload->isEnabled());
    QVERIFY(!window.mDownloadJobs->isEnabled());
    QVERIFY(!window.tlbBeginTransfer->isEnabled());
    QCOMPARE(window.tlbCheckForJobs->text(), QStringLiteral("Check For Jobs  "));
    QCOMPARE(window.tlbBeginTransfer->text(), QStringLiteral("Begin Transfer  "));
    QCOMPARE(window.tlbCheckForJobs->toolTip(), QStringLiteral("Check For Download Jobs"));
    QCOMPARE(window.tlbBeginTransfer->toolTip(), QStringLiteral("Begin Download of Jobs In Queue"));
    QCOMPARE(window.timerDownload->interval(), 60000);
    QVERIFY(window.timerDownload->isActive());
    QCOMPARE(window.ProgressBar1->minimum(), 0);
    QCOMPARE(window.ProgressBar1->maximum(), 100);

    QStringList menus;
    for (QAction *menu : window.menuBar()->actions()) {
        menus << menu->text();
        for (QAction *item : menu->menu()->actions())
            menus << (item->isSeparator() ? QStringLiteral("-") : "  " + item->text());
    }
    QCOMPARE(menus, (QStringList{"&File", "  &Check For Jobs", "  &Begin Transfer", "-", "  E&xit",
                                 "&Settings", "  &Profile Manager", "&Help",
                                 "  &About Quillet Download Manager 1.0"}));

    QTreeView *list = window.listJobs;
    QCOMPARE(list->model()->columnCount(), 13);
    QVERIFY(list->isColumnHidden(1));
    QCOMPARE(list->columnWidth(3), Twips::toPixels(1440, window.logicalDpiX()));
    QCOMPARE(list->columnWidth(7), Twips::toPixels(1000, window.logicalDpiX()));
    // The client area below the menu bar is 6165 x 3960 twips.
    const double dpi = window.logicalDpiX();
    QCOMPARE(window.width(), Twips::toPixels(6165, dpi));
    QCOMPARE(window.height() - window.menuBar()->height(), Twips::toPixels(3960, dpi));
    QCOMPARE(window.cmdTransfer->geometry(),
             QRect(Twips::toPixels(2400, dpi), Twips::toPixels(3120 - 480, dpi),
                   Twips::toPixels(1575, dpi), Twips::toPixels(375, dpi)));
}

void tst_MainWindow::captionAfterSetupTitlebar()
{
    RecordingMessageSink messages;
    frmMain window(messages);
    Profile &profile = window.gDownloadTools().gProfile();
    profile.gFirstName = QStringLiteral("Ann");
    profile.gLastName = QStringLiteral("Lee");
    window.Load();
    window.SetupTitlebar();
    QCOMPARE(window.windowTitle(), QStringLiteral("Quillet Internet Transfer Tool - Ann Lee"));

    window.close();
    profile.gFirstName = QStringLiteral("Bo");
    profile.gLastName = QStringLiteral("Wu");
    window.Load();
    window.SetupTitlebar();
    QCOMPARE(window.windowTitle(), QStringLiteral("Quillet Internet Transfer Tool - Bo Wu"));
    QVERIFY(!window.windowTitle().contains(QLatin1String("Ann Lee")));
}

void tst_MainWindow::resizeRule_data()
{
    QTest::addColumn<double>("outer");
    QTest::addColumn<double>("list");
    QTest::addColumn<double>("progress");
    QTest::newRow("7000") << 7000.0 << 6860.0 << 6360.0;
    QTest::newRow("design") << 6165.0 << 6025.0 << 5525.0;
    QTest::newRow("narrow") << 600.0 << 460.0 << 0.0;
    QTest::newRow("tiny") << 100.0 << 0.0 << 0.0;
}

void tst_MainWindow::resizeRule()
{
    QFETCH(double, outer);
    QFETCH(double, list);
    QFETCH(double, progress);
    const MainWindowLayout layout = MainWindowLayout::compute(outer);
    QCOMPARE(layout.listWidth, list);
    QCOMPARE(layout.progressWidth, progress);
}

void tst_MainWindow::resizeRuleApplied()
{
    RecordingMessageSink messages;
    frmMain window(messages);
    window.Load();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(700, window.height());
    const double dpi = window.logicalDpiX();
    QTRY_COMPARE(
        window.listJobs->width(),
        Twips::toPixels(Twips::fromPixels(window.frameGeometry().width(), dpi) - 140, dpi));
    QCOMPARE(window.ProgressBar1->width(),
             Twips::toPixels(Twips::fromPixels(window.frameGeometry().width(), dpi) - 640, dpi));
    // Heights and positions stay.
    QCOMPARE(window.listJobs->height(), Twips::toPixels(2175, dpi));
    QCOMPARE(window.cmdStopDownload->x(), Twips::toPixels(4080, dpi));
}

void tst_MainWindow::toolbarKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("checks");
    QTest::addColumn<int>("transfers");
    QTest::newRow("check") << "tlbCheckForJobs" << 1 << 0;
    QTest::newRow("transfer") << "tlbBeginTransfer" << 0 << 1;
    QTest::newRow("other case") << "TLBCHECKFORJOBS" << 0 << 0;
    QTest::newRow("trailing blank") << "tlbBeginTransfer " << 0 << 0;
    QTest::newRow("unknown") << "tlbSomethingElse" << 0 << 0;
}

void tst_MainWindow::toolbarKeys()
{
    QFETCH(QString, key);
    QFETCH(int, checks);
    QFETCH(int, transfers);
    RecordingMessageSink messages;
    frmMain window(messages);
    QSignalSpy check(&window, &frmMain::checkForJobsRequested);
    QSignalSpy transfer(&window, &frmMain::beginTransferRequested);
    window.onToolbarButton(key);
    QCOMPARE(check.count(), checks);
    QCOMPARE(transfer.count(), transfers);
    if (transfers)
        QCOMPARE(transfer.first().at(0).toBool(), true);
}

void tst_MainWindow::stopWithNothingRunningChangesNothing()
{
    RecordingMessageSink messages;
    frmMain window(messages);
    window.Load();
    window.setStatusText(QStringLiteral("Ready"));
    window.setProgressValue(30);
    window.cmdStopDownload->setEnabled(true);
    QSignalSpy finished(&window.gDownloadTools(), &DownloadTools::DownloadJobsFinished);
    QTest::mouseClick(window.cmdStopDownload, Qt::LeftButton);
    QCOMPARE(window.statusText(), QStringLiteral("Ready"));
    QCOMPARE(window.progressValue(), 30.0);
    QVERIFY(window.cmdStopDownload->isEnabled());
    QCOMPARE(finished.count(), 0);
    QVERIFY(messages.messages.isEmpty());
}

void tst_MainWindow::shownAgainStartsEmpty()
{
    RecordingMessageSink messages;
    frmMain window(messages);
    window.Load();
    DownloadTools *tools = &window.gDownloadTools();
    Job job;
    job.gLngID = QStringLiteral("1");
    job.gBytePriority = 2;
    QVERIFY(tools->gColDownloads.Add(job, job.gLngID));
    PopulateJobList(window.jobList(), tools->gColDownloads);
    window.setProgressValue(55.5);
    QCOMPARE(window.ProgressBar1->value(), 56);
    window.setStatusText(QStringLiteral("Busy"));
    window.cmdTransfer->setEnabled(true);
    window.tlbBeginTransfer->setEnabled(true);
    window.lngMinutesElapsed = 3;

    window.close();
    QVERIFY(!window.isVisible());
    window.Load();
    QVERIFY(window.isVisible());
    QCOMPARE(window.jobList().rowCount(), 0);
    QCOMPARE(window.progressValue(), 0.0);
    QCOMPARE(window.ProgressBar1->value(), 0);
    QCOMPARE(window.statusText(), QString());
    QVERIFY(!window.cmdTransfer->isEnabled());
    QVERIFY(!window.tlbBeginTransfer->isEnabled());
    QCOMPARE(window.lngMinutesElapsed, 3);
    QCOMPARE(&window.gDownloadTools(), tools);
    QCOMPARE(tools->gColDownloads.Count(), 1);
}

void tst_MainWindow::aboutBoxOutlivesTheWindow()
{
    RecordingMessageSink messages;
    frmMain window(messages);
    window.Load();
    window.mHelpAbout->trigger();
    QPointer<frmAbout> about = window.aboutBox();
    QVERIFY(about && about->isVisible());
    // The same box again, not a second one.
    window.mHelpAbout->trigger();
    QCOMPARE(window.aboutBox(), about.data());

    // The program ends from its event loop when its last window closes.
    bool runningAfterMainClosed = false;
    QTimer::singleShot(0, &window, [&] { window.close(); });
    QTimer::singleShot(100, &window, [&] {
        runningAfterMainClosed = true;
        QVERIFY(about->isVisible());
        about->close();
    });
    QTimer::singleShot(5000, &window, [] { QCoreApplication::exit(3); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(runningAfterMainClosed);
    QTRY_VERIFY(!about);
}

void tst_MainWindow::priorityImages()
{
    RecordingMessageSink messages;
    frmMain window(messages);
    JobCollection jobs;
    for (int priority = 0; priority <= 6; ++priority) {
        Job job;
        job.gLngID = QString::number(priority);
        job.gBytePriority = quint8(priority);
        QVERIFY(jobs.Add(job, job.gLngID));
    }
    PopulateJobList(window.jobList(), jobs);
    for (int row = 0; row <= 6; ++row) {
        const QVariant decoration =
            window.jobList().data(window.jobList().index(row, 0), Qt::DecorationRole);
        const bool expected = row >= 1 && row <= 5;
        QCOMPARE(decoration.isValid(), expected);
        if (expected)
            QCOMPARE(decoration.value<QIcon>().availableSizes().value(0), QSize(15, 14));
    }
}

void tst_MainWindow::closingMidTransferConfirmsReceivedJobs()
{
    MisbehavingServer server;
    server.when("/files/2.wav", MisbehavingServer::of(MisbehavingServer::Kind::Stall));
    server.when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));
    QTemporaryDir dir;
    RecordingMessageSink messages;
    frmMain window(messages);
    DownloadTools &tools = window.gDownloadTools();
    Profile &profile = tools.gProfile();
    profile.gStrDownloadFolder = dir.path();
    profile.gStrBaseURL = server.base() + "/remote_tools/";
    profile.colDownloadRules = {QStringLiteral("Job Name")};
    QString xml = "<jobs>";
    for (const char *id : {"1", "2"})
        xml +=
            QStringLiteral("<job job_id=\"%1\" job_name=\"J%1\" open_time=\"2003-12-31 23:59:59\" "
                           "department_name=\"\" dictator=\"\" reference=\"\" demographic_1=\"\" "
                           "demographic_2=\"\" demographic_3=\"\" path=\"%2/files/%1.wav\" "
                           "priority=\"1\" dictator_first_name=\"\" dictator_last_name=\"\"/>")
                .arg(QLatin1String(id), server.base());
    tools.xmlIndex = xml + "</jobs>";
    QVERIFY(tools.PopluateJobCollecionFromIndexFile());
    window.Load();
    PopulateJobList(window.jobList(), tools.gColDownloads);

    QSignalSpy finished(&tools, &DownloadTools::DownloadJobsFinished);
    tools.DownloadJobs(window, true);
    QTRY_VERIFY(server.targets.contains(QStringLiteral("/files/2.wav")));
    window.close();
    QVERIFY(finished.wait(5000) || finished.count() == 1);
    QVERIFY(!window.inet().StillExecuting());
    QVERIFY(tools.gColDownloads.Item(1)->gBlnStatusUpdated);
    QVERIFY(!tools.gColDownloads.Item(2)->gBlnDownloadCompleted);
    // The window is closed: no report pops up.
    QVERIFY(messages.messages.isEmpty());
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
