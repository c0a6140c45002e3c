#include "TestSupport.h"
#include "demo/DemoJobService.h"
#include "dialogs/frmProfileSelection.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "shell/GUIFunctions.h"
#include "shell/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

// The whole program, offscreen, against the demo job service: the selection
// window, Load Profile, Check For Jobs, Begin Transfer, the files on disk.
class tst_EndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void selectionToFilesOnDisk();
};

void tst_EndToEnd::selectionToFilesOnDisk()
{
    TestFolder folder;
    QVERIFY(QDir().mkpath(folder.profiles()));
    DemoJobService::Options options;
    options.jobs = 5;
    DemoJobService service(options);
    QVERIFY(service.listen());
    const QList<DemoJobService::DemoJob> jobs = service.pendingJobs();

    RecordingMessageSink messages;
    {
        Profile profile(messages);
        profile.gFirstName = QStringLiteral("Demo");
        profile.gLastName = QStringLiteral("Typist");
        profile.gGUID = options.guid;
        profile.gLogin = options.login;
        profile.gPassword = options.password;
        profile.gStrBaseURL = service.baseUrl();
        profile.gStrDownloadFolder = folder.path("Jobs");
        profile.gLngPollInterval = 15;
        profile.colDownloadRules = {QStringLiteral("Reference"), QStringLiteral("\\"),
                                    QStringLiteral("Job Name")};
        QVERIFY(profile.SaveProfileToXML(QString()));
    }

    GUIFunctions controller(messages);
    controller.start();
    frmProfileSelection *selection = controller.selectionWindow();
    QVERIFY(selection);
    QTreeWidget *list = selection->listProfiles;
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("Demo Typist"));
    list->setCurrentItem(list->topLevelItem(0));
    selection->cmdLoadProfile->click();

    frmMain &main = controller.mainWindow();
    QVERIFY(main.isVisible());
    QCOMPARE(main.windowTitle(), QStringLiteral("Quillet Internet Transfer Tool - Demo Typist"));

    main.cmdCheckForJobs->click();
    QTRY_COMPARE_WITH_TIMEOUT(main.jobList().rowCount(), 5, 10000);
    QTRY_VERIFY(!controller.busy());
    QVERIFY(main.cmdTransfer->isEnabled());
    QCOMPARE(main.statusText(), QStringLiteral("Finished Retrieving Job Index"));

    QSignalSpy finished(&main.gDownloadTools(), &DownloadTools::DownloadJobsFinished);
    main.cmdTransfer->click();
    QVERIFY(finished.wait(20000));

    for (const DemoJobService::DemoJob &job : jobs) {
        const QString path = folder.path("Jobs/" + job.reference + "/" + job.name + ".wav");
        QVERIFY2(QFile::exists(path), qPrintable(path));
        QCOMPARE(readAll(path), DemoJobService::wavFile(job.seconds, job.tone));
    }
    QSet<QString> confirmed;
    int statusRequests = 0;
    for (const QString &target : service.receivedTargets()) {
        if (!target.contains(QLatin1String("job_status_update.asp")))
            continue;
        ++statusRequests;
        confirmed << target.section(QStringLiteral("ID="), 1).section(QLatin1Char('&'), 0, 0);
    }
    QCOMPARE(statusRequests, 5);
    QCOMPARE(confirmed.size(), 5);
    QVERIFY(service.pendingJobs().isEmpty());
    QCOMPARE(messages.texts(), QStringList{"All jobs have been updated on server!"});
    QCOMPARE(main.jobList().rowCount(), 0);
    for (bool on : {main.cmdTransfer->isEnabled(), main.cmdStopDownload->isEnabled(),
                    main.mDownloadJobs->isEnabled(), main.tlbBeginTransfer->isEnabled()})
        QVERIFY(!on);
    QVERIFY(main.cmdCheckForJobs->isEnabled());
}

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
