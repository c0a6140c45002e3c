#include "TestSupport.h"
#include "dialogs/frmAbout.h"
#include "platform/RecordingMessageSink.h"
#include "service/DownloadTools.h"
#include "shell/MainWindowLayout.h"
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
    void resizeRule_data();
    void resizeRule();
    void toolbarKeys_data();
    void toolbarKeys();
    void shortcuts_data();
    void shortcuts();
    void shownAgainAsLoaded();
    void aboutBoxOutlivesTheWindow();
};

void tst_MainWindow::resizeRule_data()
{
    QTest::addColumn<double>("outer");
    QTest::addColumn<double>("list");
    QTest::addColumn<double>("progress");
    QTest::newRow("7000") << 7000.0 << 6860.0 << 6360.0;
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

void tst_MainWindow::toolbarKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("checks");
    QTest::addColumn<int>("transfers");
    QTest::newRow("check") << "tlbCheckForJobs" << 1 << 0;
    QTest::newRow("transfer") << "tlbBeginTransfer" << 0 << 1;
    QTest::newRow("other case") << "TLBCHECKFORJOBS" << 0 << 0;
    QTest::newRow("trailing blank") << "tlbBeginTransfer " << 0 << 0;
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

void tst_MainWindow::shortcuts_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<int>("checks");
    QTest::addColumn<bool>("open");
    QTest::newRow("F5 checks for jobs") << QKeySequence(Qt::Key_F5) << 1 << true;
    QTest::newRow("Ctrl+Q exits") << QKeySequence(Qt::CTRL | Qt::Key_Q) << 0 << false;
}

void tst_MainWindow::shortcuts()
{
    QFETCH(QKeySequence, keys);
    QFETCH(int, checks);
    QFETCH(bool, open);
    RecordingMessageSink messages;
    frmMain window(messages);
    window.Load();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy check(&window, &frmMain::checkForJobsRequested);
    QTest::keySequence(&window, keys);
    QCOMPARE(check.count(), checks);
    QCOMPARE(window.isVisible(), open);
}

void tst_MainWindow::shownAgainAsLoaded()
{
    RecordingMessageSink messages;
    frmMain window(messages);
    window.Load();
    DownloadTools *tools = &window.gDownloadTools();
    for (int priority = 0; priority <= 6; ++priority) {
        Job job;
        job.gLngID = QString::number(priority);
        job.gBytePriority = quint8(priority);
        QVERIFY(tools->gColDownloads.Add(job, job.gLngID));
    }
    PopulateJobList(window.jobList(), tools->gColDownloads);
    // Priorities 1 to 5 have an image; others none.
    for (int row = 0; row <= 6; ++row) {
        const QVariant decoration =
            window.jobList().data(window.jobList().index(row, 0), Qt::DecorationRole);
        QCOMPARE(decoration.isValid(), row >= 1 && row <= 5);
        if (decoration.isValid())
            QCOMPARE(decoration.value<QIcon>().availableSizes().value(0), QSize(15, 14));
    }
    window.setProgressValue(55.5);
    QCOMPARE(control<QProgressBar>(window, "ProgressBar1")->value(), 56);
    window.setStatusText(QStringLiteral("Busy"));
    window.setTransferCommandsEnabled(true);
    window.lngMinutesElapsed = 3;
    // Stop Download with nothing running changes nothing.
    QSignalSpy finished(tools, &DownloadTools::DownloadJobsFinished);
    QTest::mouseClick(control<QPushButton>(window, "cmdStopDownload"), Qt::LeftButton);
    QCOMPARE(window.statusText(), QStringLiteral("Busy"));
    QCOMPARE(window.progressValue(), 55.5);
    QVERIFY(control<QPushButton>(window, "cmdStopDownload")->isEnabled());
    QCOMPARE(finished.count(), 0);
    QVERIFY(messages.messages.isEmpty());

    // Closed and loaded again: as fresh, but with the same tools, jobs and
    // minute counter; only Check For Jobs on, and the poll timer ticks once a
    // minute again.
    window.close();
    window.Load();
    QCOMPARE(window.jobList().rowCount(), 0);
    QCOMPARE(window.progressValue(), 0.0);
    QCOMPARE(control<QProgressBar>(window, "ProgressBar1")->value(), 0);
    QCOMPARE(window.statusText(), QString());
    QCOMPARE((QList<bool>{control<QPushButton>(window, "cmdCheckForJobs")->isEnabled(),
                          control<QPushButton>(window, "cmdTransfer")->isEnabled(),
                          control<QPushButton>(window, "cmdStopDownload")->isEnabled(),
                          control<QAction>(window, "mDownloadJobs")->isEnabled(),
                          control<QAction>(window, "tlbBeginTransfer")->isEnabled()}),
             (QList<bool>{true, false, false, false, false}));
    QCOMPARE(control<QTimer>(window, "timerDownload")->interval(), 60000);
    QVERIFY(control<QTimer>(window, "timerDownload")->isActive());
    QCOMPARE(window.lngMinutesElapsed, 3);
    QCOMPARE(&window.gDownloadTools(), tools);
    QCOMPARE(tools->gColDownloads.Count(), 7);
}

void tst_MainWindow::aboutBoxOutlivesTheWindow()
{
    RecordingMessageSink messages;
    frmMain window(messages);
    window.Load();
    control<QAction>(window, "mHelpAbout")->trigger();
    QPointer<frmAbout> about = window.aboutBox();
    QVERIFY(about && about->isVisible());
    // The same box again, not a second one.
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

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
