#include "TestSupport.h"
#include "demo/DemoJobService.h"
#include "dialogs/frmProfileSelection.h"
#include "platform/RecordingMessageSink.h"
#include "service/DownloadTools.h"
#include "shell/GUIFunctions.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
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
    QVERIFY(writeFile(folder.profile("Demo Typist.xml"),
                      profileFile({{"first_name", "Demo"},
                                   {"last_name", "Typist"},
                                   {"guid", options.guid},
                                   {"login", options.login},
                                   {"password", options.password},
                                   {"base_url", service.baseUrl()},
                                   {"download_folder", folder.path("Jobs")}},
                                  {"Reference", "\\", "Job Name"})));

    RecordingMessageSink messages;
    GUIFunctions controller(messages);
    controller.start();
    QTreeWidget *list = controller.selectionWindow()->listProfiles;
    QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("Demo Typist"));
    list->setCurrentItem(list->topLevelItem(0));
    controller.selectionWindow()->cmdLoadProfile->click();
    frmMain &main = controller.mainWindow();
    control<QPushButton>(main, "cmdCheckForJobs")->click();
    QTRY_COMPARE_WITH_TIMEOUT(main.jobList().rowCount(), 5, 10000);
    QSignalSpy finished(&main.gDownloadTools(), &DownloadTools::DownloadJobsFinished);
    control<QPushButton>(main, "cmdTransfer")->click();
    QVERIFY(finished.wait(20000));

    // Every job whole in its folder and confirmed, and no message but the
    // closing report.
    for (const DemoJobService::DemoJob &job : jobs)
        QCOMPARE(readAll(folder.path("Jobs/" + job.reference + "/" + job.name + ".wav")),
                 DemoJobService::wavFile(job.seconds, job.tone));
    QVERIFY(service.pendingJobs().isEmpty());
    QCOMPARE(messages.texts(), QStringList{"All jobs have been updated on server!"});
}

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
