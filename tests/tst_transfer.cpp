#include "MisbehavingServer.h"
#include "TestSupport.h"
#include "platform/Inet.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "service/JobListModel.h"
#include "service/JobReception.h"
#include "service/PlainTransferHost.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using Kind = MisbehavingServer::Kind;
using Behaviour = MisbehavingServer::Behaviour;
Q_DECLARE_METATYPE(Behaviour)
using namespace std::chrono_literals;

namespace {

// Each byte differs from its neighbours, so that a part in the wrong place shows.
QByteArray bytes(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char(i * 31 + 7);
    return data;
}

const QByteArray body = bytes(200 * 1024);

// A transfer against a misbehaving server on 127.0.0.1, into a fresh folder.
struct Rig
{
    MisbehavingServer server;
    RecordingMessageSink messages;
    DownloadTools tools{messages};
    PlainTransferHost host;
    QTemporaryDir dir;

    Rig()
    {
        Profile &profile = tools.gProfile();
        profile.gStrDownloadFolder = folder();
        profile.gStrBaseURL = server.base() + "/remote_tools/";
        profile.gLogin = "ann";
        profile.gPassword = "pw";
        profile.colDownloadRules = {"Job Name"};
        tools.setRetryDelays({10ms, 10ms, 10ms});
    }

    QString folder() const { return dir.filePath("Jobs"); }
    QString file(const QString &name) const { return folder() + '/' + name; }

    // Jobs 1, 2, … named `names`, their files at /files/1.wav, …; `fields`
    // replaces fields of the jobs in turn. Status updates are confirmed
    // unless a rule set before says otherwise.
    bool list(const QStringList &names, const QList<Fields> &fields = {})
    {
        server.when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));
        QList<QByteArray> jobs;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QString id = QString::number(i + 1);
            Fields all{{"job_name", names.at(i)},
                       {"path", server.base() + "/files/" + id + ".wav"}};
            all.insert(fields.value(i));
            jobs << jobElement(id, all);
        }
        tools.xmlIndex = QString::fromUtf8(jobIndex(jobs));
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

    QStringList fetched() const { return server.targets.filter("/files/"); }

    QStringList confirmed() const
    {
        QStringList ids;
        for (qsizetype i = 1; i <= tools.gColDownloads.Count(); ++i) {
            if (tools.gColDownloads.Item(i)->gBlnStatusUpdated)
                ids << tools.gColDownloads.Item(i)->gLngID;
        }
        return ids;
    }
};

} // namespace

class tst_Transfer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void jobList_data();
    void jobList();
    void faultMatrix_data();
    void faultMatrix();
    void resumesAfterAFault_data();
    void resumesAfterAFault();
    void existingFilesAreNeverReplaced_data();
    void existingFilesAreNeverReplaced();
    void oneBoxPerBatch_data();
    void oneBoxPerBatch();
};

void tst_Transfer::jobList_data()
{
    QTest::addColumn<Behaviour>("second"); // the answer for job 2's file
    QTest::addColumn<QString>("how");      // what happens once job 2 was asked for
    QTest::addColumn<Behaviour>("update"); // the answer to job 2's status update
    QTest::addColumn<QStringList>("fetched");
    QTest::addColumn<QStringList>("received");
    QTest::addColumn<QStringList>("updated"); // status updates asked for
    QTest::addColumn<QStringList>("confirmed");
    const Behaviour confirms = MisbehavingServer::answer("Update Sucessful");
    const auto add = [&](const char *name, const Behaviour &second, const char *how,
                         const QStringList &fetched, const QStringList &received) {
        QTest::newRow(name) << second << QString(how) << confirms << fetched << received << received
                            << received;
    };
    const QStringList all{"1", "2", "3"};
    const auto update = [&](const char *name, const Behaviour &update, const QStringList &updated,
                            const QStringList &confirmed) {
        QTest::newRow(name) << Behaviour() << QString() << update << all << all << updated
                            << confirmed;
    };
    const Behaviour stall = MisbehavingServer::of(Kind::Stall);
    const Behaviour busy = MisbehavingServer::answer("<html>Busy</html>", 503);
    add("in order, then the status updates", {}, "", all, all);
    add("a failing job is tried four times, then the next", busy, "",
        {"1", "2", "2", "2", "2", "3"}, {"1", "3"});
    add("Stop Download while requesting", stall, "Stop Download", {"1", "2"}, {"1"});
    add("Stop Download during a retry pause", busy, "Stop Download", {"1", "2"}, {"1"});
    add("watch stop during a retry pause", busy, "finish", {"1", "2"}, {"1"});
    add("the tools deleted while requesting", stall, "delete", {"1", "2"}, {});
    add("another profile loaded while requesting", stall, "another profile", all, all);
    update("capitals confirm", MisbehavingServer::answer("UPDATE SUCESSFUL!"), all, all);
    update("error page without the word", MisbehavingServer::answer("<html>oops</html>", 500), all,
           {"1", "3"});
    update("a failed status update ends the pass", MisbehavingServer::of(Kind::Refuse), {"1", "2"},
           {"1"});
}

void tst_Transfer::jobList()
{
    QFETCH(Behaviour, second);
    QFETCH(QString, how);
    QFETCH(Behaviour, update);
    QFETCH(QStringList, fetched);
    QFETCH(QStringList, received);
    QFETCH(QStringList, updated);
    QFETCH(QStringList, confirmed);
    auto rig = std::make_unique<Rig>();
    MisbehavingServer other;
    if (!how.isEmpty())
        rig->tools.setRetryDelays({1min});
    rig->server.when("/files/2.wav", second);
    rig->server.when("ID=2&", update);
    QVERIFY(rig->list({"A", "B", "C"}));
    QSignalSpy finished(&rig->tools, &DownloadTools::DownloadJobsFinished);
    rig->tools.DownloadJobs(rig->host, true);
    if (!how.isEmpty()) {
        QTRY_COMPARE(rig->fetched().size(), 2);
        if (second.status == 503) // job 2 failed once and waits to be tried again
            QTRY_COMPARE(rig->host.statusText(), Inet::GetInetStateText(Inet::Error));
    }
    if (how == "delete") {
        // The host, with its transfer control, goes first, then the tools; nothing
        // may touch what is gone, also later from the event loop (the sanitizers
        // watch this).
        rig.reset();
        QTest::qWait(20);
        return;
    }
    if (how == "Stop Download")
        rig->tools.StopDownload(rig->host);
    if (how == "finish") // as watch's first signal
        rig->tools.FinishAfterCurrentJob();
    if (how == "another profile") {
        Profile &profile = rig->tools.gProfile();
        profile.gStrBaseURL = other.base() + "/remote_tools/";
        profile.gLogin = "bob";
        profile.gPassword = "other";
        profile.gStrDownloadFolder = rig->dir.filePath("Elsewhere");
        rig->server.releaseStalled("second");
    }
    QVERIFY(finished.count() == 1 || finished.wait(10000));
    QVERIFY(!rig->tools.TransferRunning());

    QStringList requests, files;
    for (const QString &id : fetched)
        requests << "/files/" + id + ".wav";
    for (const QString &id : updated)
        requests << "/remote_tools/job_status_update.asp?ID=" + id + "&LG=ann&PW=pw";
    for (const QString &id : received)
        files << QStringLiteral("Jobs/%1.wav").arg(QChar('A' + id.toInt() - 1));
    // Every file first, then the status updates of the received jobs, to the
    // service the transfer began with; the rows not received stay.
    QCOMPARE(rig->server.targets, requests);
    QCOMPARE(rig->files(), files);
    QCOMPARE(rig->confirmed(), confirmed);
    QVERIFY(other.targets.isEmpty());
    QCOMPARE(rig->host.jobList().rowCount(), 3 - received.size());
    const bool all = confirmed.size() == 3;
    const bool stopped = how == "Stop Download";
    QCOMPARE(
        rig->messages.texts(),
        QStringList{
            stopped ? QString("Stopped: %1 of 3 jobs received and confirmed.").arg(confirmed.size())
            : all   ? "All jobs have been updated on server!"
                    : "Error Updating the status of some or all jobs!"});
    if (stopped) {
        // No error where nothing failed; the stopped row says so, the bar is empty.
        QCOMPARE(rig->messages.messages.first().icon, MessageIcon::None);
        QCOMPARE(rig->host.jobList().subItemText(0, JobListModel::SubItemProgress), "Stopped");
        QCOMPARE(rig->host.progressValue(), 0.0);
        QCOMPARE(rig->host.statusText(), "Stopped.");
    }
}

void tst_Transfer::faultMatrix_data()
{
    QTest::addColumn<Behaviour>("answer"); // for the job's file, until its `times` are used
    QTest::addColumn<QString>("local");    // a fault on this side, or a field of the job
    QTest::addColumn<int>("requests");     // for the job's file
    // "received", or "failed" (and "told" at once) with a part of the reason.
    QTest::addColumn<QString>("end");
    const auto add = [](const char *name, const Behaviour &answer, const char *local, int requests,
                        const char *end) {
        QTest::newRow(name) << answer << QString(local) << requests << QString(end);
    };
    // Faults of the connection or the answer: tried again three times.
    add("refused", {.kind = Kind::Refuse}, "", 4, "failed: ");
    add("reset mid-body", {.kind = Kind::ResetMidBody, .body = body}, "", 4, "failed: ended after");
    add("reset, no length", {.kind = Kind::ResetMidBody, .body = body, .noLength = true}, "", 4,
        "failed: ");
    // Chunked, closed in the middle of the second chunk; announced twice as long as sent.
    const QByteArray chunks = "1000\r\n" + body.left(4096) + "\r\n1000\r\n" + body.left(100);
    add("chunked, cut mid-chunk",
        {.body = chunks, .headers = {{"Transfer-Encoding", "chunked"}}, .noLength = true}, "", 4,
        "failed: before the whole body");
    add("short body",
        {.body = body,
         .headers = {{"Content-Length", QByteArray::number(2 * body.size())}},
         .noLength = true},
        "", 4, "failed: ended after");
    add("404", {.status = 404, .body = "<html>Not found</html>"}, "", 4, "failed: HTTP 404");
    add("stall past the time-out", {.kind = Kind::Stall}, "", 4, "failed: within 1 seconds");
    add("redirect to a file: URL",
        {.status = 302, .headers = {{"Location", "file:///etc/hostname"}}}, "", 4, "failed: ");
    add("redirect followed", {.status = 302, .headers = {{"Location", "/files/moved.wav"}}}, "", 2,
        "received");
    add("fails twice then succeeds", {.status = 503, .body = "busy", .times = 2}, "", 3,
        "received");
    add("no length: the body ends with the connection", {.body = body, .noLength = true}, "", 1,
        "received");
    add("gzip-encoded answer, stored as served",
        {.body = body, .headers = {{"Content-Encoding", "gzip"}}}, "", 1, "received");
    // Faults of the disk or the folder: not tried again.
    add("more announced than the volume has",
        {.body = body, .headers = {{"Content-Length", "1152921504606846976"}}, .noLength = true},
        "", 1, "told: not enough free space");
    const Behaviour whole = MisbehavingServer::answer(body);
    add("disk full", whole, "disk full", 1, "told: File too large");
    add("a file where the folder should be", whole, "file as folder", 1,
        "told: could not be created");
    // Jobs refused before any request.
    add("leads out of the folder", whole, "reference=..\\..\\", 0,
        "told: out of the download folder");
    add("ftp URL", whole, "path=ftp://127.0.0.1/x.wav", 0, "told: Only http and https");
    add("file URL", whole, "path=file:///etc/hostname.wav", 0, "told: Only http and https");
    // A received file must still be there when the service is told; the same
    // file again is no copy.
    add("file gone before its confirmation", whole, "gone", 1, "told: no longer there");
    add("the same job fetched twice", whole, "twice", 2, "received");
}

void tst_Transfer::faultMatrix()
{
    QFETCH(Behaviour, answer);
    QFETCH(QString, local);
    QFETCH(int, requests);
    QFETCH(QString, end);
    Rig rig;
    if (answer.kind == Kind::Stall)
        rig.host.inet().setTransferTimeout(1s);
    rig.server.when("/files/1.wav", answer);
    rig.server.when("/files/", MisbehavingServer::answer(body));
    // The job's file goes into folders that do not exist yet.
    rig.tools.gProfile().colDownloadRules = {"Reference", "Job Name"};
    Fields job{{"reference", "2003\\12/31\\"}};
    if (local.contains('='))
        job.insert(local.section('=', 0, 0), local.section('=', 1));
    if (local == "gone")
        QObject::connect(&rig.tools, &DownloadTools::jobEnded,
                         [](const QString &, bool received, const QString &path) {
                             if (received)
                                 QFile::remove(path);
                         });
    if (local == "file as folder")
        QVERIFY(writeFile(rig.folder(), "not a folder"));
    QVERIFY(rig.list({"ABC"}, {job}));
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    if (local == "disk full") {
        // Writes past 64 KiB fail as on a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{64 * 1024, saved.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    bool ended = rig.transfer(true);
    setrlimit(RLIMIT_FSIZE, &saved);
    if (local == "twice")
        ended = ended && rig.list({"ABC"}, {job}) && rig.transfer();
    QVERIFY(ended);

    const bool received = end == "received";
    const QString failure = rig.tools.gTransferFailures.value("1");
    QCOMPARE(rig.fetched().size(), requests);
    QCOMPARE(rig.confirmed().contains("1"), received);
    QCOMPARE(rig.host.jobList().rowCount(), received ? 0 : 1);
    // Told in the one box at the end, under the status update's text.
    QCOMPARE(rig.messages.messages.size(), 1);
    QCOMPARE(rig.messages.messages.first().detail == "1 job failed: " + failure,
             end.startsWith("told"));
    if (received) {
        QCOMPARE(rig.files(), QStringList{"Jobs/2003/12/31/ABC.wav"});
        QCOMPARE(readAll(rig.file("2003/12/31/ABC.wav")), body);
        return;
    }
    // No file under the final name, no temporary file; the folders the job
    // made go with it.
    QCOMPARE(rig.files(), local == "file as folder" ? QStringList{"Jobs"} : QStringList());
    QCOMPARE(QFileInfo::exists(rig.folder()), local == "file as folder" || local == "gone");
    QCOMPARE(rig.host.statusText(), "Job ABC (1) failed: " + failure);
    QVERIFY2(!failure.isEmpty() && failure.contains(end.section(": ", 1)), qPrintable(failure));
}

void tst_Transfer::resumesAfterAFault_data()
{
    QTest::addColumn<QByteArray>("validator"); // of the first answer
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("valueNow"); // of the second answer
    QTest::addColumn<bool>("asked");          // the second request asks for the rest
    const auto add = [](const char *name, const char *validator, const char *value,
                        const char *valueNow, bool asked) {
        QTest::newRow(name) << QByteArray(validator) << QByteArray(value) << QByteArray(valueNow)
                            << asked;
    };
    const char *date = "Tue, 01 Dec 2026 08:00:00 GMT";
    add("ETag, then the rest", "ETag", "\"v1\"", "\"v1\"", true);
    add("Last-Modified, then the rest", "Last-Modified", date, date, true);
    add("changed file: starts over", "ETag", "\"v1\"", "\"v2\"", true);
    add("weak ETag: starts over", "ETag", "W/\"v1\"", "W/\"v1\"", false);
    add("no validator: starts over", "X-None", "1", "1", false);
}

void tst_Transfer::resumesAfterAFault()
{
    QFETCH(QByteArray, validator);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, valueNow);
    QFETCH(bool, asked);
    Rig rig;
    rig.server.when(
        "/files/1.wav",
        {.kind = Kind::ResetMidBody, .body = body, .headers = {{validator, value}}, .times = 1});
    rig.server.when("/files/1.wav",
                    {.body = body, .headers = {{validator, valueNow}}, .ranges = true});
    QVERIFY(rig.list({"ABC"}));
    QVERIFY(rig.transfer());

    QCOMPARE(readAll(rig.file("ABC.wav")), body);
    QCOMPARE(rig.fetched().size(), 2);
    const QByteArray range = rig.server.requestHeader(1, "Range");
    QCOMPARE(!range.isEmpty(), asked);
    if (asked) {
        // From the first byte missing: what the cut answer delivered.
        const qint64 from = range.mid(6).chopped(1).toLongLong();
        QVERIFY2(from > 0 && from <= body.size() / 2, range.constData());
        QCOMPARE(rig.server.requestHeader(1, "If-Range"), value);
    }
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
    const auto restore = qScopeGuard([] { JobReception::setUnnamedFiles(true); });
    Rig rig;
    QVERIFY(QDir().mkpath(rig.folder()));
    QVERIFY(writeFile(rig.file("ABC.wav"), "an older dictation"));
    // Left by a killed run; just made by another run; being written by another run.
    QVERIFY(writeFile(rig.file(".quillet-killed.part"), "old"));
    QVERIFY(writeFile(rig.file(".quillet-recent.part"), "new"));
    JobReception::setUnnamedFiles(false);
    JobReception other(rig.file("other.wav"));
    QVERIFY(other.begin(-1) && other.write("x", 1));
    JobReception::setUnnamedFiles(unnamed);
    for (const QString &name :
         QDir(rig.folder()).entryList({".quillet-*"}, QDir::Files | QDir::Hidden)) {
        QFile file(rig.file(name));
        QVERIFY(name == ".quillet-recent.part" ||
                (file.open(QIODevice::ReadWrite) &&
                 file.setFileTime(QDateTime::currentDateTime().addSecs(-120),
                                  QFileDevice::FileModificationTime)));
    }
    rig.server.when("/files/2.wav", MisbehavingServer::answer("second"));
    rig.server.when("/files/", MisbehavingServer::answer("first"));
    // Three jobs of one name: two new files, the third the same as the first.
    QVERIFY(rig.list({"ABC", "ABC", "ABC"}));
    QVERIFY(rig.transfer());
    QCOMPARE(rig.tools.gColDownloads.Item(3)->gStrDestinationPath, rig.file("ABC (2).wav"));
    QCOMPARE(rig.confirmed(), (QStringList{"1", "2", "3"}));
    // Only the killed run's file is gone, and nothing of this run is left; the
    // file that another run writes stays.
    QStringList found;
    for (const QString &file : rig.files())
        found << file + '=' + readAll(rig.dir.filePath(file));
    found.replaceInStrings(QRegularExpression("\\.quillet-\\w{6}\\.part=x$"), ".quillet-*.part=x");
    found.sort();
    QCOMPARE(found, (QStringList{"Jobs/.quillet-*.part=x", "Jobs/.quillet-recent.part=new",
                                 "Jobs/ABC (2).wav=first", "Jobs/ABC (3).wav=second",
                                 "Jobs/ABC.wav=an older dictation"}));
}

void tst_Transfer::oneBoxPerBatch_data()
{
    QTest::addColumn<QStringList>("paths"); // of the jobs' files; empty: on the server
    QTest::addColumn<QStringList>("detail");
    const QString folder = "The folder %1 could not be created.";
    QTest::newRow("three jobs, one reason: counted once")
        << QStringList{"", "", ""}
        << QStringList{"3 jobs failed: " + folder + " (the first of them)"};
    QTest::newRow("two reasons, in the order first met")
        << QStringList{"ftp://127.0.0.1/a.wav", "", "ftp://127.0.0.1/a.wav"}
        << QStringList{"2 jobs failed: Only http and https addresses are fetched, not "
                       "ftp://127.0.0.1/a.wav (the first of them)",
                       "1 job failed: " + folder};
}

void tst_Transfer::oneBoxPerBatch()
{
    QFETCH(QStringList, paths);
    QFETCH(QStringList, detail);
    Rig rig;
    rig.server.when("/files/", MisbehavingServer::answer(body));
    // A file where the download folder should be: no job can be saved.
    QVERIFY(writeFile(rig.folder(), "not a folder"));
    QList<Fields> fields;
    for (const QString &path : paths)
        fields << (path.isEmpty() ? Fields{} : Fields{{"path", path}});
    QVERIFY(rig.list({"A", "B", "C"}, fields));
    QVERIFY(rig.transfer(true));
    QCOMPARE(rig.messages.texts(), QStringList{"Error Updating the status of some or all jobs!"});
    QCOMPARE(rig.messages.messages.first().detail,
             detail.join('\n').arg(QDir::toNativeSeparators(rig.folder())));
    QCOMPARE(rig.host.jobList().rowCount(), 3);
}

QTEST_GUILESS_MAIN(tst_Transfer)
#include "tst_transfer.moc"
