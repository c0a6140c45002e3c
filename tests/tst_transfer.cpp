#include "MisbehavingServer.h"
#include "TestSupport.h"
#include "platform/Inet.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "service/JobReception.h"
#include "service/PlainTransferHost.h"

#include <QDirIterator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using Kind = MisbehavingServer::Kind;
using namespace std::chrono_literals;

namespace {

struct JobSpec
{
    QString id;
    QString name;
    QString path; // below the server, or a whole URL
    QString reference = QStringLiteral("R");
};

QByteArray bytes(int size, int seed = 1)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 31 + seed * 7) & 0xff);
    return data;
}

// A transfer against a misbehaving server on 127.0.0.1, into a fresh folder.
struct Rig
{
    MisbehavingServer server;
    RecordingMessageSink messages;
    DownloadTools tools{messages};
    PlainTransferHost host;
    QTemporaryDir dir;
    QList<double> progress;
    QStringList rowTexts;

    Rig()
    {
        Profile &profile = tools.gProfile();
        profile.gStrDownloadFolder = folder();
        profile.gStrBaseURL = server.base() + QStringLiteral("/remote_tools/");
        profile.gGUID = QStringLiteral("G");
        profile.gLogin = QStringLiteral("ann");
        profile.gPassword = QStringLiteral("pw");
        profile.colDownloadRules = {QStringLiteral("Job Name")};
        tools.setRetryDelays({10ms, 10ms, 10ms});
        host.inet().setTransferTimeout(3s);
        host.onProgress = [this](double value) {
            progress << value;
        };
        server.when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));
        QObject::connect(&host.jobList(), &QAbstractItemModel::dataChanged,
                         [this](const QModelIndex &from) {
                             if (from.column() == 2)
                                 rowTexts << from.data().toString();
                         });
    }

    QString folder() const { return dir.filePath(QStringLiteral("Jobs")); }
    QString file(const QString &name) const { return folder() + QLatin1Char('/') + name; }

    bool list(const QList<JobSpec> &jobs)
    {
        QList<QByteArray> elements;
        for (const JobSpec &job : jobs) {
            const QString url = job.path.contains(QLatin1String("://"))
                                    ? job.path
                                    : server.base() + QStringLiteral("/files/") + job.path;
            elements << jobElement(
                job.id, {{"job_name", job.name}, {"reference", job.reference}, {"path", url}});
        }
        tools.xmlIndex = QString::fromUtf8(jobIndex(elements));
        const bool read = tools.PopluateJobCollecionFromIndexFile();
        PopulateJobList(host.jobList(), tools.gColDownloads);
        return read;
    }

    bool transfer(bool showMessageBoxes = false)
    {
        QSignalSpy finished(&tools, &DownloadTools::DownloadJobsFinished);
        tools.DownloadJobs(host, showMessageBoxes);
        return finished.count() == 1 || (finished.wait(20000) && finished.count() == 1);
    }

    // Every file below the temporary folder, hidden ones included.
    QStringList files() const
    {
        QStringList found;
        QDirIterator it(dir.path(), QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            found << QDir(dir.path()).relativeFilePath(it.next());
        found.sort();
        return found;
    }

    QStringList targets(const char *part) const
    {
        QStringList found;
        for (const QString &target : server.targets) {
            if (target.contains(QLatin1String(part)))
                found << target;
        }
        return found;
    }

    QStringList confirmedIds() const
    {
        QStringList ids;
        for (const QString &target : targets("job_status_update.asp"))
            ids << QUrlQuery(QUrl("http://h" + target)).queryItemValue("ID");
        return ids;
    }
};

} // namespace

class tst_Transfer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void progressSteps_data();
    void progressSteps();
    void jobsInOrderThenStatusUpdates_data();
    void jobsInOrderThenStatusUpdates();
    void createFolderPath_data();
    void createFolderPath();
    void numberedPaths_data();
    void numberedPaths();
    void stop_data();
    void stop();
    void deletedWithARequestInFlight();
    void keepsTheProfileItBeganWith();
    void faultMatrix_data();
    void faultMatrix();
    void resumesAfterAFault_data();
    void resumesAfterAFault();
    void retriesThenFailsAndGoesOn();
    void existingFilesAreNeverReplaced_data();
    void existingFilesAreNeverReplaced();
    void leftoversOfAKilledRun();
    void refusedBeforeAnyRequest_data();
    void refusedBeforeAnyRequest();
};

void tst_Transfer::progressSteps_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("announced");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("2048") << 2048 << true << QList<double>{0, 50, 100}
                          << QStringList{"50%", "100%"};
    QTest::newRow("3000") << 3000 << true << QList<double>{0, 34.1333, 68.2666, 100}
                          << QStringList{"34%", "68%", "100%"};
    QTest::newRow("no length, body written in full")
        << 3000 << false << QList<double>{0, 0, 0, 0} << QStringList();
    QTest::newRow("empty body") << 0 << true << QList<double>{0} << QStringList();
}

void tst_Transfer::progressSteps()
{
    QFETCH(int, size);
    QFETCH(bool, announced);
    QFETCH(QList<double>, values);
    QFETCH(QStringList, texts);

    Rig rig;
    const QByteArray body = bytes(size);
    MisbehavingServer::Behaviour behaviour = MisbehavingServer::answer(body);
    behaviour.noLength = !announced;
    rig.server.when("/files/", behaviour);
    QVERIFY(rig.list({{"1", "ABC", "x.wav"}}));
    QVERIFY(rig.transfer());

    QCOMPARE(rig.progress.size(), values.size());
    for (int i = 0; i < values.size(); ++i)
        QVERIFY2(qAbs(rig.progress.at(i) - values.at(i)) < 1e-9,
                 qPrintable(QString::number(rig.progress.at(i))));
    QCOMPARE(rig.rowTexts, texts);
    QCOMPARE(readAll(rig.file("ABC.wav")), body);
    QCOMPARE(rig.host.jobList().rowCount(), 0);
    QVERIFY(rig.tools.gColDownloads.Item(1)->gBlnDownloadCompleted);
    QCOMPARE(rig.host.statusText(),
             QStringLiteral("The request has completed and all data has been received"));
    QCOMPARE(rig.files(), QStringList{"Jobs/ABC.wav"});
}

void tst_Transfer::jobsInOrderThenStatusUpdates_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::newRow("three jobs") << QStringList{"A", "B", "C"};
    QTest::newRow("no jobs: updated at once") << QStringList();
}

void tst_Transfer::jobsInOrderThenStatusUpdates()
{
    QFETCH(QStringList, names);
    Rig rig;
    QList<JobSpec> jobs;
    QStringList ids, fetched, files;
    for (qsizetype i = 0; i < names.size(); ++i) {
        ids << QString::number(i + 1);
        jobs << JobSpec{ids.last(), names.at(i), ids.last() + ".wav"};
        fetched << "/files/" + ids.last() + ".wav";
        files << "Jobs/" + names.at(i) + ".wav";
    }
    QVERIFY(rig.list(jobs));
    QVERIFY(rig.transfer(true));
    QCOMPARE(rig.targets("/files/"), fetched);
    QCOMPARE(rig.confirmedIds(), ids);
    QCOMPARE(rig.server.targets.size(), fetched.size() + ids.size());
    // Every status request after the last file.
    QCOMPARE(rig.server.targets.mid(0, fetched.size()), fetched);
    QCOMPARE(rig.files(), files);
    QCOMPARE(rig.messages.texts(), QStringList{"All jobs have been updated on server!"});
    QCOMPARE(rig.messages.messages.first().icon, MessageIcon::None);
    QCOMPARE(rig.messages.messages.first().title, MessageSink::applicationTitle());
    for (qsizetype i = 1; i <= names.size(); ++i)
        QVERIFY(rig.tools.gColDownloads.Item(i)->gBlnStatusUpdated);
    QVERIFY(!rig.tools.TransferRunning());
}

void tst_Transfer::createFolderPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::newRow("slashes") << "a/b/c/x.wav" << QStringLiteral("a/b/c");
    QTest::newRow("backslashes") << "a\\b\\x.wav" << QStringLiteral("a/b");
    QTest::newRow("mixed") << "a\\b/c\\x.wav" << QStringLiteral("a/b/c");
    QTest::newRow("doubled") << "a//b\\\\x.wav" << QStringLiteral("a/b");
    QTest::newRow("file name only") << "x.wav" << QString();
}

void tst_Transfer::createFolderPath()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
#ifndef Q_OS_WIN
    // A backslash is a separator here too.
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
#endif
    QTemporaryDir dir;
    QVERIFY(JobReception::CreateFolderPath(dir.path() + "/" + path));
    if (!folder.isEmpty())
        QVERIFY(QFileInfo(dir.filePath(folder)).isDir());
    QVERIFY(!QFileInfo::exists(dir.path() + "/" + path));

    // A file where a folder should be.
    QVERIFY(writeFile(dir.filePath("blocked"), "x"));
    QVERIFY(!JobReception::CreateFolderPath(dir.filePath("blocked/inner/x.wav")));
}

void tst_Transfer::numberedPaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("extension") << "/j/ABC.wav" << QStringLiteral("/j/ABC (2).wav");
    QTest::newRow("no extension") << "/j/ABC" << QStringLiteral("/j/ABC (2)");
    QTest::newRow("dot in a folder only") << "/j.v/ABC" << QStringLiteral("/j.v/ABC (2)");
    QTest::newRow("last dot") << "/j/a.b.wav" << QStringLiteral("/j/a.b (2).wav");
}

void tst_Transfer::numberedPaths()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(JobReception::numberedPath(path, 2), expected);
}

void tst_Transfer::stop_data()
{
    QTest::addColumn<bool>("inPause");     // job 2 failed once and waits to be tried again
    QTest::addColumn<bool>("finishFirst"); // as watch's first signal, not Stop Download
    QTest::newRow("Stop Download while requesting") << false << false;
    QTest::newRow("Stop Download during a retry pause") << true << false;
    QTest::newRow("watch stop during a retry pause") << true << true;
}

void tst_Transfer::stop()
{
    QFETCH(bool, inPause);
    QFETCH(bool, finishFirst);
    Rig rig;
    rig.tools.setRetryDelays({std::chrono::minutes(1)});
    rig.server.when("/files/2.wav", inPause ? MisbehavingServer::answer("busy", 503)
                                            : MisbehavingServer::of(Kind::Stall));
    QVERIFY(rig.list({{"1", "A", "1.wav"}, {"2", "B", "2.wav"}, {"3", "C", "3.wav"}}));
    QSignalSpy finished(&rig.tools, &DownloadTools::DownloadJobsFinished);
    rig.tools.DownloadJobs(rig.host, false);
    QTRY_COMPARE(rig.targets("/files/").size(), 2);
    if (inPause)
        QTRY_COMPARE(rig.host.statusText(), Inet::GetInetStateText(Inet::Error));
    if (finishFirst)
        rig.tools.FinishAfterCurrentJob();
    else
        rig.tools.StopDownload(rig.host);
    QVERIFY(finished.count() == 1 || finished.wait(5000));
    QVERIFY(!rig.tools.TransferRunning());
    // The rows not received stay; the received job is confirmed; nothing partial.
    QCOMPARE(rig.host.jobList().rowCount(), 2);
    QCOMPARE(rig.host.jobList().subItemText(0, 1), QStringLiteral("2"));
    QCOMPARE(rig.confirmedIds(), QStringList{"1"});
    QCOMPARE(rig.files(), QStringList{"Jobs/A.wav"});
    QCOMPARE(rig.targets("/files/").size(), 2);
}

void tst_Transfer::deletedWithARequestInFlight()
{
    // The host, with its transfer control, goes first, then the tools.
    auto rig = std::make_unique<Rig>();
    rig->server.when("/files/", MisbehavingServer::of(Kind::Stall));
    QVERIFY(rig->list({{"1", "A", "1.wav"}}));
    rig->tools.DownloadJobs(rig->host, false);
    QTRY_COMPARE(rig->targets("/files/").size(), 1);
    // Nothing may touch what is gone, also later from the event loop (the
    // sanitizers watch this).
    rig.reset();
    QTest::qWait(20);
}

void tst_Transfer::keepsTheProfileItBeganWith()
{
    Rig rig;
    MisbehavingServer other;
    MisbehavingServer::Behaviour stall = MisbehavingServer::of(Kind::Stall);
    stall.times = 1;
    rig.server.when("/files/1.wav", stall);
    QVERIFY(rig.list({{"1", "A", "1.wav"}, {"2", "B", "2.wav"}}));
    QSignalSpy finished(&rig.tools, &DownloadTools::DownloadJobsFinished);
    rig.tools.DownloadJobs(rig.host, false);
    QTRY_COMPARE(rig.targets("/files/").size(), 1);
    // Another profile is loaded while the first job is on its way.
    Profile &profile = rig.tools.gProfile();
    profile.gStrBaseURL = other.base() + QStringLiteral("/remote_tools/");
    profile.gLogin = QStringLiteral("bob");
    profile.gPassword = QStringLiteral("other");
    profile.gStrDownloadFolder = rig.dir.filePath(QStringLiteral("Elsewhere"));
    rig.server.releaseStalled(bytes(100));
    QVERIFY(finished.wait(10000));
    QCOMPARE(rig.files(), (QStringList{"Jobs/A.wav", "Jobs/B.wav"}));
    QCOMPARE(rig.confirmedIds(), (QStringList{"1", "2"}));
    for (const QString &target : rig.targets("job_status_update.asp"))
        QVERIFY2(target.endsWith(QLatin1String("&LG=ann&PW=pw")), qPrintable(target));
    QVERIFY(other.targets.isEmpty());
}

void tst_Transfer::faultMatrix_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("received");
    for (const char *fault :
         {"refused", "reset mid-body", "reset, no length", "chunked, cut mid-chunk", "short body",
          "404", "500", "stall past the time-out"})
        QTest::newRow(fault) << QString::fromLatin1(fault) << false;
    QTest::newRow("fails twice then succeeds") << "twice" << true;
    QTest::newRow("redirect to a file: URL") << "file redirect" << false;
    QTest::newRow("disk full") << "disk full" << false;
    QTest::newRow("more announced than the volume has") << "no space" << false;
    QTest::newRow("read-only folder") << "read-only" << false;
    QTest::newRow("a file where the folder should be") << "file as folder" << false;
    QTest::newRow("the same job fetched twice") << "twice fetched" << true;
    QTest::newRow("gzip-encoded answer, stored as served") << "gzip" << true;
    QTest::newRow("file gone before its confirmation") << "gone" << false;
}

void tst_Transfer::faultMatrix()
{
    QFETCH(QString, fault);
    QFETCH(bool, received);

    Rig rig;
    const QByteArray body = bytes(200 * 1024);
    MisbehavingServer::Behaviour behaviour = MisbehavingServer::answer(body);
    if (fault == "refused") {
        behaviour = MisbehavingServer::of(Kind::Refuse);
    } else if (fault == "reset mid-body") {
        behaviour = MisbehavingServer::of(Kind::ResetMidBody, body);
    } else if (fault == "reset, no length") {
        behaviour = MisbehavingServer::of(Kind::ResetMidBody, body);
        behaviour.noLength = true;
    } else if (fault == "chunked, cut mid-chunk") {
        behaviour = MisbehavingServer::of(Kind::ChunkedCut, body);
    } else if (fault == "gzip") {
        behaviour.headers = {{"Content-Encoding", "gzip"}};
    } else if (fault == "short body") {
        behaviour = MisbehavingServer::of(Kind::ShortBody, body);
    } else if (fault == "404") {
        behaviour = MisbehavingServer::answer("<html>Not found</html>", 404);
    } else if (fault == "500") {
        behaviour = MisbehavingServer::answer("<html>Error</html>", 500);
    } else if (fault == "stall past the time-out") {
        behaviour = MisbehavingServer::of(Kind::Stall);
        rig.host.inet().setTransferTimeout(1s);
    } else if (fault == "twice") {
        behaviour = MisbehavingServer::answer("<html>Busy</html>", 503);
        behaviour.times = 2;
    } else if (fault == "file redirect") {
        behaviour = MisbehavingServer::of(Kind::Redirect);
        behaviour.location = "file:///etc/hostname";
    } else if (fault == "no space") {
        behaviour.announce = qint64(1) << 60;
    }
    rig.server.when("/files/1.wav", behaviour);
    if (fault == "gone")
        QObject::connect(&rig.tools, &DownloadTools::jobEnded,
                         [](const QString &, bool received, const QString &path) {
                             if (received)
                                 QFile::remove(path);
                         });
    rig.server.when("/files/", MisbehavingServer::answer(body));
    if (fault == "read-only") {
        if (::geteuid() == 0)
            QSKIP("permissions do not stop root");
        QVERIFY(QDir().mkpath(rig.folder()));
        QVERIFY(QFile::setPermissions(rig.folder(), QFile::ReadOwner | QFile::ExeOwner));
    }
    if (fault == "file as folder")
        QVERIFY(writeFile(rig.dir.filePath("Jobs"), "not a folder"));

    QVERIFY(rig.list({{"1", "ABC", "1.wav"}}));
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    if (fault == "disk full") {
        // Writes past 64 KiB fail as on a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 64 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    const bool ended = rig.transfer();
    setrlimit(RLIMIT_FSIZE, &saved);
    if (fault == "twice fetched") {
        QVERIFY(ended);
        QVERIFY(rig.list({{"1", "ABC", "1.wav"}}));
        QVERIFY(rig.transfer());
    }
    if (fault == "read-only")
        QFile::setPermissions(rig.folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(ended);

    const QStringList files = rig.files();
    if (received) {
        QCOMPARE(files, QStringList{"Jobs/ABC.wav"});
        QCOMPARE(readAll(rig.file("ABC.wav")), body);
        QVERIFY(rig.tools.gColDownloads.Item(1)->gBlnDownloadCompleted);
        QVERIFY(rig.confirmedIds().contains("1"));
        QCOMPARE(rig.host.jobList().rowCount(), 0);
    } else {
        // No file under the final name, no temporary file, no confirmation.
        QCOMPARE(files, fault == "file as folder" ? QStringList{"Jobs"} : QStringList());
        QVERIFY(!rig.tools.gColDownloads.Item(1)->gBlnDownloadCompleted);
        QCOMPARE(rig.confirmedIds(), QStringList());
        QCOMPARE(rig.host.jobList().rowCount(), 1);
        QCOMPARE(rig.host.jobList().subItemText(0, 2), QStringLiteral("Failed"));
        QVERIFY(rig.host.statusText().startsWith(QLatin1String("Job ABC (1) failed: ")));
        QVERIFY(rig.tools.gTransferFailures.contains("1"));
        // The folders the job made go with it; a write fails with the system's reason.
        QCOMPARE(QFileInfo::exists(rig.folder()),
                 fault == "file as folder" || fault == "read-only" || fault == "gone");
        if (fault == "disk full")
            QVERIFY2(rig.tools.gTransferFailures.value("1").endsWith(": File too large"),
                     qPrintable(rig.tools.gTransferFailures.value("1")));
    }
}

void tst_Transfer::resumesAfterAFault_data()
{
    QTest::addColumn<QByteArray>("validator"); // of the first answer
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("valueNow"); // of the second answer
    QTest::addColumn<bool>("asked");          // the second request asks for the rest
    QTest::addColumn<bool>("appended");       // and gets it

    const QByteArray date = "Tue, 01 Dec 2026 08:00:00 GMT";
    QTest::newRow("ETag, then the rest")
        << QByteArray("ETag") << QByteArray("\"v1\"") << QByteArray("\"v1\"") << true << true;
    QTest::newRow("Last-Modified, then the rest")
        << QByteArray("Last-Modified") << date << date << true << true;
    QTest::newRow("changed file: starts over")
        << QByteArray("ETag") << QByteArray("\"v1\"") << QByteArray("\"v2\"") << true << false;
    QTest::newRow("weak ETag: starts over")
        << QByteArray("ETag") << QByteArray("W/\"v1\"") << QByteArray("W/\"v1\"") << false << false;
    QTest::newRow("no validator: starts over")
        << QByteArray("X-None") << QByteArray("1") << QByteArray("1") << false << false;
}

void tst_Transfer::resumesAfterAFault()
{
    QFETCH(QByteArray, validator);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, valueNow);
    QFETCH(bool, asked);
    QFETCH(bool, appended);

    Rig rig;
    const QByteArray body = bytes(200 * 1024);
    MisbehavingServer::Behaviour cut = MisbehavingServer::of(Kind::ResetMidBody, body);
    cut.headers = {{validator, value}};
    cut.times = 1;
    MisbehavingServer::Behaviour rest = MisbehavingServer::answer(body);
    rest.headers = {{validator, valueNow}};
    rest.ranges = true;
    rig.server.when("/files/1.wav", cut);
    rig.server.when("/files/1.wav", rest);
    QVERIFY(rig.list({{"1", "ABC", "1.wav"}}));
    QVERIFY(rig.transfer());

    QCOMPARE(rig.files(), QStringList{"Jobs/ABC.wav"});
    QCOMPARE(readAll(rig.file("ABC.wav")), body);
    QCOMPARE(rig.confirmedIds(), QStringList{"1"});
    QCOMPARE(rig.targets("/files/").size(), 2);
    const QByteArray range = rig.server.requestHeader(1, "Range");
    QCOMPARE(!range.isEmpty(), asked);
    if (asked) {
        // From the first byte missing: what the cut answer delivered.
        const qint64 from = range.mid(6, range.size() - 7).toLongLong();
        QVERIFY2(from > 0 && from <= body.size() / 2, range.constData());
        QCOMPARE(rig.server.requestHeader(1, "If-Range"), value);
    }
    // The bar goes on from where the cut left it, or starts over.
    QCOMPARE(std::is_sorted(rig.progress.begin(), rig.progress.end()), appended);
    QCOMPARE(rig.progress.last(), 100.0);
}

void tst_Transfer::retriesThenFailsAndGoesOn()
{
    Rig rig;
    rig.server.when("/files/1.wav", MisbehavingServer::answer("<html>Error</html>", 500));
    QVERIFY(rig.list({{"1", "A", "1.wav"}, {"2", "B", "2.wav"}}));
    QVERIFY(rig.transfer(true));
    // One attempt and three retries, then the next row.
    QCOMPARE(rig.targets("/files/1.wav").size(), 4);
    QCOMPARE(rig.targets("/files/2.wav").size(), 1);
    QCOMPARE(rig.host.jobList().rowCount(), 1);
    QCOMPARE(rig.host.jobList().subItemText(0, 2), QStringLiteral("Failed"));
    QVERIFY(rig.tools.gTransferFailures.value("1").contains(QLatin1String("HTTP 500")));
    QVERIFY(rig.host.statusHistory.contains(
        QStringLiteral("An error occured in communicating with the host computer")));
    QCOMPARE(rig.confirmedIds(), QStringList{"2"});
    // A network failure shows in the row and the status bar; the closing
    // report says that not every job was updated.
    QCOMPARE(rig.messages.texts(), QStringList{"Error Updating the status of some or all jobs!"});
    QCOMPARE(rig.messages.messages.first().icon, MessageIcon::Critical);
}

void tst_Transfer::existingFilesAreNeverReplaced_data()
{
    QTest::addColumn<bool>("unnamed");
    QTest::newRow("unnamed temporary files") << true;
    QTest::newRow("named temporary files, as on vfat") << false;
}

void tst_Transfer::existingFilesAreNeverReplaced()
{
    QFETCH(bool, unnamed);
    JobReception::setUnnamedFiles(unnamed);
    const auto restore = qScopeGuard([] { JobReception::setUnnamedFiles(true); });
    Rig rig;
    QVERIFY(QDir().mkpath(rig.folder()));
    QVERIFY(writeFile(rig.file("ABC.wav"), "an older dictation"));
    rig.server.when("/files/1.wav", MisbehavingServer::answer("first"));
    rig.server.when("/files/2.wav", MisbehavingServer::answer("second"));
    rig.server.when("/files/3.wav", MisbehavingServer::answer("first"));
    // Three jobs of one name: two new files, one the same as the first.
    QVERIFY(rig.list({{"1", "ABC", "1.wav"}, {"2", "ABC", "2.wav"}, {"3", "ABC", "3.wav"}}));
    QVERIFY(rig.transfer());
    QCOMPARE(rig.files(), (QStringList{"Jobs/ABC (2).wav", "Jobs/ABC (3).wav", "Jobs/ABC.wav"}));
    QCOMPARE(readAll(rig.file("ABC.wav")), QByteArray("an older dictation"));
    QCOMPARE(readAll(rig.file("ABC (2).wav")), QByteArray("first"));
    QCOMPARE(readAll(rig.file("ABC (3).wav")), QByteArray("second"));
    QCOMPARE(rig.tools.gColDownloads.Item(1)->gStrDestinationPath, rig.file("ABC (2).wav"));
    QCOMPARE(rig.tools.gColDownloads.Item(3)->gStrDestinationPath, rig.file("ABC (2).wav"));
    QCOMPARE(rig.confirmedIds(), (QStringList{"1", "2", "3"}));
}

void tst_Transfer::leftoversOfAKilledRun()
{
    JobReception::setUnnamedFiles(false);
    const auto restore = qScopeGuard([] { JobReception::setUnnamedFiles(true); });
    Rig rig;
    QVERIFY(QDir().mkpath(rig.folder()));
    // Left by a killed run; just made by another run; being written by another run.
    QVERIFY(writeFile(rig.file(".quillet-killed.part"), "old"));
    QVERIFY(writeFile(rig.file(".quillet-recent.part"), "new"));
    JobReception other(rig.file("other.wav"));
    QVERIFY(other.begin(-1) && other.write("x", 1));
    const QDateTime past = QDateTime::currentDateTime().addSecs(-120);
    for (const QString &name :
         QDir(rig.folder()).entryList({".quillet-*"}, QDir::Files | QDir::Hidden)) {
        QFile file(rig.file(name));
        QVERIFY(name == ".quillet-recent.part" ||
                (file.open(QIODevice::ReadWrite) &&
                 file.setFileTime(past, QFileDevice::FileModificationTime)));
    }
    QVERIFY(rig.list({{"1", "ABC", "1.wav"}}));
    QVERIFY(rig.transfer());
    const QStringList files = rig.files();
    QCOMPARE(files.size(), 3);
    QVERIFY(files.contains("Jobs/ABC.wav") && files.contains("Jobs/.quillet-recent.part"));
    QVERIFY(!files.contains("Jobs/.quillet-killed.part"));
}

void tst_Transfer::refusedBeforeAnyRequest_data()
{
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("reason");
    QTest::newRow("leads out of the folder") << "..\\..\\"
                                             << ""
                                             << "out of the download folder";
    QTest::newRow("ftp URL") << ""
                             << "ftp://127.0.0.1/x.wav"
                             << "Only http and https";
    QTest::newRow("file URL") << ""
                              << "file:///etc/hostname.wav"
                              << "Only http and https";
}

void tst_Transfer::refusedBeforeAnyRequest()
{
    QFETCH(QString, reference);
    QFETCH(QString, url);
    QFETCH(QString, reason);
    Rig rig;
    rig.tools.gProfile().colDownloadRules = {"Reference", "Job Name"};
    // The job that is fetched goes into folders that do not exist yet.
    QVERIFY(rig.list({{"1", "ABC", url.isEmpty() ? QStringLiteral("1.wav") : url, reference},
                      {"2", "DEF", "2.wav", "2003\\12/31\\"}}));
    QVERIFY(!QFileInfo::exists(rig.folder()));
    QVERIFY(rig.transfer(true));
    QCOMPARE(rig.targets("/files/"), QStringList{"/files/2.wav"});
    QCOMPARE(rig.files(), QStringList{"Jobs/2003/12/31/DEF.wav"});
    QCOMPARE(rig.host.jobList().subItemText(0, 2), QStringLiteral("Failed"));
    QCOMPARE(rig.messages.messages.size(), 2);
    QVERIFY(rig.messages.texts().at(0).startsWith(QLatin1String("Job ABC (1) failed: ")));
    QVERIFY(rig.messages.texts().at(0).contains(reason));
    QCOMPARE(rig.messages.messages.at(0).icon, MessageIcon::Exclamation);
}

QTEST_GUILESS_MAIN(tst_Transfer)
#include "tst_transfer.moc"
