#include "MisbehavingServer.h"
#include "TestSupport.h"
#include "platform/Files.h"
#include "platform/Inet.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DiskFlush.h"
#include "service/DownloadTools.h"
#include "service/FileValidator.h"
#include "service/JobListModel.h"
#include "service/JobReception.h"
#include "service/PlainTransferHost.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

using Kind = MisbehavingServer::Kind;
using Behaviour = MisbehavingServer::Behaviour;
Q_DECLARE_METATYPE(Behaviour)
using Headers = QList<QPair<QByteArray, QByteArray>>;
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

// A failure of the disk as the system codes it, and its text.
#ifdef Q_OS_WIN
constexpr int ioError = ERROR_IO_DEVICE;
const QString ioErrorText = QStringLiteral("I/O device error");
#else
constexpr int ioError = EIO;
const QString ioErrorText = QStringLiteral("Input/output error");
#endif

// The path of a file that a flush call gets open, with slashes.
template <class Native> QString openPath(Native file)
{
#ifdef Q_OS_WIN
    wchar_t path[MAX_PATH + 1];
    const DWORD length = GetFinalPathNameByHandleW(HANDLE(qintptr(file)), path, MAX_PATH + 1, 0);
    return length <= MAX_PATH ? QDir::fromNativeSeparators(QString::fromWCharArray(path, length))
                              : QString();
#else
    return QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(file));
#endif
}

#ifdef Q_OS_WIN
// Opens a file as other programs may while this one has it open.
HANDLE openShared(const QString &path, DWORD access)
{
    return CreateFileW(QDir::toNativeSeparators(path).toStdWString().c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}
#endif

// Sets a file's modification time two minutes back, also while another
// program writes it (on Windows, where that program shares no writing).
bool makeOld(const QString &path)
{
    const QDateTime old = QDateTime::currentDateTime().addSecs(-120);
#ifdef Q_OS_WIN
    const HANDLE file = openShared(path, FILE_WRITE_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // 100 ns steps since 1601.
    const quint64 steps = quint64(old.toSecsSinceEpoch() + 11644473600LL) * 10000000ULL;
    const FILETIME time{DWORD(steps), DWORD(steps >> 32)};
    const bool set = SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    return set;
#else
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(old, QFileDevice::FileModificationTime);
#endif
}

// A small file's bytes, also while another program writes it (on Windows,
// where that program holds it open for deletion, which QFile does not share).
QByteArray readWhileWritten(const QString &path)
{
#ifdef Q_OS_WIN
    const HANDLE file = openShared(path, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    QByteArray data(64 * 1024, '\0');
    DWORD got = 0;
    const bool read = ReadFile(file, data.data(), DWORD(data.size()), &got, nullptr);
    CloseHandle(file);
    data.resize(read ? qsizetype(got) : 0);
    return data;
#else
    return readAll(path);
#endif
}

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
        for (qsizetype i = 1; i <= tools.gColDownloads.Count(); ++i)
            if (tools.gColDownloads.Item(i)->gBlnStatusUpdated)
                ids << tools.gColDownloads.Item(i)->gLngID;
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
    void partOfTheSameFile_data();
    void partOfTheSameFile();
    void existingFilesAreNeverReplaced_data();
    void existingFilesAreNeverReplaced();
    void placingNeverReplaces_data();
    void placingNeverReplaces();
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
    add("watch stop while requesting", stall, "finish", {"1", "2"}, {"1", "2"});
    add("watch stop while requesting, then the job fails", stall, "finish, fails", {"1", "2"},
        {"1"});
    add("the tools deleted while requesting", stall, "delete", {"1", "2"}, {});
    add("another profile loaded while requesting", stall, "another profile", all, all);
    add("the disk fails one file of three", {}, "disk fails B", all, {"1", "3"});
    update("capitals confirm", MisbehavingServer::answer("UPDATE SUCESSFUL!"), all, all);
    update("a failed status update ends the pass", MisbehavingServer::of(Kind::Refuse), {"1", "2"},
           {"1"});
    update("a dripping status answer ends the pass",
           MisbehavingServer::of(Kind::Drip, QByteArray(64, 'x') + "Update Sucessful"), {"1", "2"},
           {"1"});
    update("error page with the word", MisbehavingServer::answer("Update Sucessful", 500), all,
           {"1", "3"});
    update("the word as the end of another", MisbehavingServer::answer("Update Unsucessful"), all,
           {"1", "3"});
    update("redirected to a page with the word",
           {.status = 302, .headers = {{"Location", "/remote_tools/login.asp"}}}, all, {"1", "3"});
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
    if (update.kind == Kind::Drip)
        rig->host.inet().setTransferTimeout(1s);
    rig->server.when("/files/2.wav", second);
    rig->server.when("ID=2&", update);
    rig->server.when("login.asp", MisbehavingServer::answer("Logout Sucessful"));
    QVERIFY(rig->list({"A", "B", "C"}));
    // The volume's sync fails; synced alone, only B.wav fails.
    const auto restoreFlush = qScopeGuard([] { DiskFlush::setFlushCall({}); });
    if (how == "disk fails B")
        DiskFlush::setFlushCall([](DiskFlush::Step step, auto file, qint64, qint64) {
            return step == DiskFlush::Step::Volume || openPath(file).endsWith("/B.wav") ? ioError
                                                                                        : 0;
        });
    QSignalSpy finished(&rig->tools, &DownloadTools::DownloadJobsFinished);
    rig->tools.DownloadJobs(rig->host, true);
    if (!how.isEmpty() && !how.startsWith("disk")) {
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
    if (how.startsWith(
            "finish")) { // as watch's first signal: the job in transfer ends, no other starts
        rig->tools.FinishAfterCurrentJob();
        rig->server.releaseStalled("second", how.endsWith("fails") ? 503 : 200);
    }
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
    for (const QString &id : updated) {
        requests << "/remote_tools/job_status_update.asp?ID=" + id + "&LG=ann&PW=pw";
        if (id == "2" && update.status == 302)
            requests << "/remote_tools/login.asp";
    }
    for (const QString &id : received)
        files << QStringLiteral("Jobs/%1.wav").arg(QChar('A' + id.toInt() - 1));
    // Every file first, then the status updates of the received jobs, to the
    // service the transfer began with; the rows not received stay.
    QCOMPARE(rig->server.targets, requests);
    QCOMPARE(rig->files(), files);
    QCOMPARE(rig->confirmed(), confirmed);
    QVERIFY(other.targets.isEmpty());
    // The rows not received stay, in order: failed, or stopped, or waiting.
    QStringList rows, waiting;
    const JobListModel &list = rig->host.jobList();
    for (int row = 0; row < list.rowCount(); ++row)
        rows << list.subItemText(row, JobListModel::SubItemJobId) + ' ' +
                    list.subItemText(row, JobListModel::SubItemProgress);
    for (const QString id : {"1", "2", "3"})
        if (!received.contains(id))
            waiting << id + (how == "Stop Download" && id == "2"       ? " Stopped"
                             : how.isEmpty() || how.startsWith("disk") ? " Failed"
                                                                       : " 0%");
    QCOMPARE(rows, waiting);
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
                        const QString &end) {
        QTest::newRow(name) << answer << QString(local) << requests << end;
    };
    // Faults of the connection or the answer: tried again three times.
    add("refused", {.kind = Kind::Refuse}, "", 4, "failed: ");
    add("reset mid-body", {.kind = Kind::ResetMidBody, .body = body}, "", 4, "failed: ended after");
    add("reset, no length", {.kind = Kind::ResetMidBody, .body = body, .noLength = true}, "", 4,
        "failed: ");
    // Chunked, closed in the middle of the second chunk; announced twice as long as sent.
    const QByteArray chunks = "1000\r\n" + body.left(4096) + "\r\n1000\r\n" + body.left(100);
    // Both framings, the chunks whole and short of the length: not taken.
    add("chunked, shorter than its Content-Length",
        {.body = "5\r\nabcde\r\n0\r\n\r\n",
         .headers = {{"Transfer-Encoding", "chunked"}, {"Content-Length", "100"}},
         .noLength = true},
        "", 4, "failed: announced its length");
    add("chunked, cut mid-chunk",
        {.body = chunks, .headers = {{"Transfer-Encoding", "chunked"}}, .noLength = true}, "", 4,
        "failed: before the whole body");
    add("short body",
        {.body = body,
         .headers = {{"Content-Length", QByteArray::number(2 * body.size())}},
         .noLength = true},
        "", 4, "failed: ended after");
    add("404", {.status = 404, .body = "<html>Not found</html>"}, "", 4, "failed: HTTP 404");
    add("the reason echoes the URL's query",
        {.status = 403, .statusLine = "HTTP/1.1 403 No sig=s3cr3t-Sig"},
        "path={server}/files/1.wav?sig=s3cr3t-Sig", 4, "failed: HTTP 403 No ...");
    add("stall past the time-out", {.kind = Kind::Stall}, "", 4, "failed: within 1 seconds");
    add("body under 1 KiB/s", {.kind = Kind::Drip, .body = body}, "", 4,
        "failed: within 1 seconds");
    // Answers that are not the file.
    add("202 Accepted", {.status = 202, .body = "Your file is being prepared"}, "", 4,
        "failed: HTTP 202 instead of the file");
    add("204 No Content", {.status = 204, .body = ""}, "", 4, "failed: HTTP 204 instead");
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
    // The disk fails to make the file durable: not received, its file gone.
    add("the volume's and the file's sync fail", whole, "sync fails", 1,
        "told: could not be put on the disk: " + ioErrorText);
    add("a write-back fails", {.body = bytes(9 << 20)}, "write-back fails", 1,
        "told: could not be put on the disk: " + ioErrorText);
    add("a link where a sub-folder should be", whole, "link", 1, "told: is a link, not a folder");
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
    add("file cut before its confirmation", whole, "cut", 1, "told: now holds 100 bytes");
    add("the same job fetched twice", whole, "twice", 2, "received");
}

void tst_Transfer::faultMatrix()
{
    QFETCH(Behaviour, answer);
    QFETCH(QString, local);
    QFETCH(int, requests);
    QFETCH(QString, end);
    Rig rig;
    if (answer.kind == Kind::Stall || answer.kind == Kind::Drip)
        rig.host.inet().setTransferTimeout(1s);
    rig.server.when("/files/1.wav", answer);
    rig.server.when("/files/", MisbehavingServer::answer(body));
    // The job's file goes into folders that do not exist yet.
    rig.tools.gProfile().colDownloadRules = {"Reference", "Job Name"};
    Fields job{{"reference", "2003\\12/31\\"}};
    if (local.contains('='))
        job.insert(local.section('=', 0, 0),
                   local.section('=', 1).replace("{server}", rig.server.base()));
    if (local == "gone" || local == "cut")
        QObject::connect(&rig.tools, &DownloadTools::jobEnded,
                         [local](const QString &, bool received, const QString &path) {
                             if (received && local == "gone")
                                 QFile::remove(path);
                             else if (received)
                                 QFile::resize(path, 100);
                         });
    if (local == "file as folder")
        QVERIFY(writeFile(rig.folder(), "not a folder"));
    // Another user's link in a shared download folder, to a folder of theirs.
    QTemporaryDir outside;
#ifdef Q_OS_WIN
    if (local == "link")
        QSKIP("Qt makes shortcuts, not links, on Windows");
    if (local == "disk full")
        QSKIP("Windows has no file-size limit per process");
#endif
    if (local == "link")
        QVERIFY(QDir().mkpath(rig.folder()) && QFile::link(outside.path(), rig.folder() + "/2003"));
    const auto restoreFlush = qScopeGuard([] { DiskFlush::setFlushCall({}); });
    if (local.endsWith("fails")) {
        const auto failing =
            local == "sync fails" ? DiskFlush::Step::File : DiskFlush::Step::WriteBack;
        DiskFlush::setFlushCall([failing](DiskFlush::Step step, auto, qint64, qint64) {
            return step == failing || step == DiskFlush::Step::Volume ? ioError : 0;
        });
    }
    if (answer.kind == Kind::ResetMidBody && answer.noLength && underWine())
        QSKIP("Wine ends a connection reset by its program with a FIN: the body looks whole");
    QVERIFY(rig.list({"ABC"}, {job}));
#ifdef Q_OS_WIN
    bool ended = rig.transfer(true);
#else
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
#endif
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
    QCOMPARE(rig.files(), local == "file as folder" ? QStringList{"Jobs"}
                          : local == "cut"          ? QStringList{"Jobs/2003/12/31/ABC.wav"}
                                                    : QStringList());
    QCOMPARE(QFileInfo::exists(rig.folder()), local == "file as folder" || local == "gone" ||
                                                  local.endsWith("fails") || local == "link" ||
                                                  local == "cut");
    QCOMPARE(QDir(outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    QCOMPARE(rig.host.statusText(), "Job ABC (1) failed: " + failure);
    QVERIFY2(!failure.isEmpty() && failure.contains(end.section(": ", 1)), qPrintable(failure));
}

void tst_Transfer::resumesAfterAFault_data()
{
    QTest::addColumn<Headers>("first");  // the validators of the cut first answer
    QTest::addColumn<Behaviour>("then"); // every later answer, ranges served from its body
    QTest::addColumn<bool>("asked");     // the second request asks for the rest
    QTest::addColumn<int>("requests");
    const QByteArray changed = bytes(body.size() + 1).mid(1);
    const auto add = [&](const char *name, const Headers &first, const Headers &then, bool asked,
                         int requests, const QByteArray &from = body, bool ignoreIfRange = false) {
        QTest::newRow(name) << first
                            << Behaviour{.body = from,
                                         .headers = then,
                                         .ranges = true,
                                         .ignoreIfRange = ignoreIfRange}
                            << asked << requests;
    };
    const QByteArray date = "Tue, 01 Dec 2026 08:00:00 GMT";
    const Headers v1{{"ETag", "\"v1\""}}, v2{{"ETag", "\"v2\""}}, dated{{"Last-Modified", date}};
    add("ETag, then the rest", v1, v1, true, 2);
    add("Last-Modified, then the rest", dated, dated, true, 2);
    add("changed file: starts over", v1, v2, true, 2, changed);
    add("weak ETag: starts over", {{"ETag", "W/\"v1\""}}, {{"ETag", "W/\"v1\""}}, false, 2);
    add("no validator: starts over", {{"X-None", "1"}}, {{"X-None", "1"}}, false, 2);
    // A service that ignores If-Range sends a part of another file: never
    // spliced, the next attempt starts over.
    add("range of a changed ETag", v1, v2, true, 3, changed, true);
    add("range without the ETag", v1, {}, true, 3, changed, true);
    add("range of a newer Last-Modified", dated,
        {{"Last-Modified", "Wed, 02 Dec 2026 08:00:00 GMT"}}, true, 3, changed, true);
    add("range of a longer file", v1, v1, true, 3, changed + body.left(100000), true);
}

void tst_Transfer::resumesAfterAFault()
{
    QFETCH(Headers, first);
    QFETCH(Behaviour, then);
    QFETCH(bool, asked);
    QFETCH(int, requests);
    Rig rig;
    rig.server.when("/files/1.wav",
                    {.kind = Kind::ResetMidBody, .body = body, .headers = first, .times = 1});
    rig.server.when("/files/1.wav", then);
    QVERIFY(rig.list({"ABC"}));
    QVERIFY(rig.transfer());

    QCOMPARE(readAll(rig.file("ABC.wav")), then.body);
    QCOMPARE(rig.confirmed(), QStringList{"1"});
    QCOMPARE(rig.fetched().size(), requests);
    const QByteArray range = rig.server.requestHeader(1, "Range");
    QCOMPARE(!range.isEmpty(), asked);
    if (asked) {
        // From the first byte missing: what the cut answer delivered.
        const qint64 from = range.mid(6).chopped(1).toLongLong();
        QVERIFY2(from > 0 && from <= body.size() / 2, range.constData());
        QCOMPARE(rig.server.requestHeader(1, "If-Range"), first.first().second);
    }
    if (requests == 3) // the part refused, the whole file asked for again
        QVERIFY(rig.server.requestHeader(2, "Range").isEmpty());
}

void tst_Transfer::partOfTheSameFile_data()
{
    // The first answer: 200000 bytes under `etag` (and Last-Modified "Mon"); the
    // part asked for from byte 100000.
    QTest::addColumn<QByteArray>("etag");
    QTest::addColumn<QByteArray>("etagNow");
    QTest::addColumn<QByteArray>("modifiedNow");
    QTest::addColumn<QString>("range");
    QTest::addColumn<qint64>("partLength");
    QTest::addColumn<bool>("continues");
    const QString rest = "bytes 100000-199999/200000";
    QTest::newRow("the rest") << QByteArray("\"a\"") << QByteArray("\"a\"") << QByteArray() << rest
                              << qint64(100000) << true;
    QTest::newRow("no length announced")
        << QByteArray("\"a\"") << QByteArray("\"a\"") << QByteArray() << rest << qint64(-1) << true;
    QTest::newRow("another total") << QByteArray("\"a\"") << QByteArray("\"a\"") << QByteArray()
                                   << "bytes 100000-299999/300000" << qint64(200000) << false;
    QTest::newRow("not from the first missing byte")
        << QByteArray("\"a\"") << QByteArray("\"a\"") << QByteArray() << "bytes 99999-199999/200000"
        << qint64(100001) << false;
    QTest::newRow("not to the end") << QByteArray("\"a\"") << QByteArray("\"a\"") << QByteArray()
                                    << "bytes 100000-149999/200000" << qint64(50000) << false;
    QTest::newRow("a part length that does not fit")
        << QByteArray("\"a\"") << QByteArray("\"a\"") << QByteArray() << rest << qint64(99999)
        << false;
    QTest::newRow("another ETag") << QByteArray("\"a\"") << QByteArray("\"b\"") << QByteArray()
                                  << rest << qint64(100000) << false;
    QTest::newRow("a weak ETag") << QByteArray("W/\"a\"") << QByteArray("W/\"a\"") << QByteArray()
                                 << rest << qint64(100000) << false;
    QTest::newRow("no ETag, the same date")
        << QByteArray() << QByteArray() << QByteArray("Mon") << rest << qint64(100000) << true;
    QTest::newRow("no ETag, another date")
        << QByteArray() << QByteArray() << QByteArray("Tue") << rest << qint64(100000) << false;
}

void tst_Transfer::partOfTheSameFile()
{
    QFETCH(QByteArray, etag);
    QFETCH(QByteArray, etagNow);
    QFETCH(QByteArray, modifiedNow);
    QFETCH(QString, range);
    QFETCH(qint64, partLength);
    QFETCH(bool, continues);
    const FileValidator first{etag, "Mon"};
    QCOMPARE(first.continuedBy(etagNow, modifiedNow, range, 100000, 200000, partLength), continues);
}

void tst_Transfer::existingFilesAreNeverReplaced_data()
{
    QTest::addColumn<bool>("unnamed");
    QTest::addColumn<int>("umask");     // the files get the mode it leaves of rw-rw-rw-
    QTest::addColumn<QString>("older"); // the file there before, beside the first job's "first"
    QTest::newRow("unnamed temporary files") << true << 022 << "first, and an older dictation";
    QTest::newRow("named temporary files, as on vfat") << false << 007 << "fir5t";
}

void tst_Transfer::existingFilesAreNeverReplaced()
{
    QFETCH(bool, unnamed);
    QFETCH(int, umask);
    QFETCH(QString, older);
#ifdef Q_OS_WIN
    Q_UNUSED(umask); // Windows file modes are not POSIX modes
#else
    const mode_t savedMask = ::umask(mode_t(umask));
    const auto restore = qScopeGuard([savedMask] { ::umask(savedMask); });
#endif
    Rig rig;
    QVERIFY(QDir().mkpath(rig.folder()));
    QVERIFY(writeFile(rig.file("ABC.wav"), older.toUtf8()));
    // Left by a killed run; just made by another run; being written by another run.
    QVERIFY(writeFile(rig.file(".quillet-killed.part"), "old"));
    QVERIFY(writeFile(rig.file(".quillet-recent.part"), "new"));
    JobReception other(rig.file("other.wav"));
    other.setUnnamedFiles(false);
    QVERIFY(other.begin(-1) && other.write("x", 1));
    rig.tools.setUnnamedFiles(unnamed);
    for (const QString &name :
         QDir(rig.folder()).entryList({".quillet-*"}, QDir::Files | QDir::Hidden)) {
        QVERIFY(name == ".quillet-recent.part" || makeOld(rig.file(name)));
    }
    rig.server.when("/files/2.wav", MisbehavingServer::answer("second"));
    rig.server.when("/files/", MisbehavingServer::answer("first"));
    qsizetype parts = 0; // the most hidden files while a body arrives
    QObject::connect(&rig.tools, &DownloadTools::jobProgress, [&] {
        parts = std::max(
            parts, QDir(rig.folder()).entryList({".quillet-*"}, QDir::Files | QDir::Hidden).size());
    });
    // Three jobs of one name: two new files, the third the same as the first.
    QVERIFY(rig.list({"ABC", "ABC", "ABC"}));
    QVERIFY(rig.transfer());
#ifdef Q_OS_WIN
    unnamed = false; // Windows has no unnamed files
#endif
    QCOMPARE(parts, unnamed ? 2 : 3); // another run's, and this job's when named
    QCOMPARE(rig.tools.gColDownloads.Item(3)->gStrDestinationPath,
             QDir::toNativeSeparators(rig.file("ABC (2).wav")));
    QCOMPARE(rig.confirmed(), (QStringList{"1", "2", "3"}));
#ifdef Q_OS_WIN
    // The folder's inherited permissions, as every new file gets.
    QVERIFY(QFileInfo(rig.file("ABC (3).wav")).isWritable());
#else
    struct stat info;
    QVERIFY(::stat(QFile::encodeName(rig.file("ABC (3).wav")).constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 0777), 0666 & ~umask);
#endif
    // Only the killed run's file is gone, and nothing of this run is left; the
    // file that another run writes stays.
    QStringList found;
    for (const QString &file : rig.files())
        found << file + '=' + readWhileWritten(rig.dir.filePath(file));
    found.replaceInStrings(QRegularExpression("\\.quillet-\\w{6}\\.part=x$"), ".quillet-*.part=x");
    found.sort();
    QCOMPARE(found, (QStringList{"Jobs/.quillet-*.part=x", "Jobs/.quillet-recent.part=new",
                                 "Jobs/ABC (2).wav=first", "Jobs/ABC (3).wav=second",
                                 "Jobs/ABC.wav=" + older}));
}

void tst_Transfer::placingNeverReplaces_data()
{
    QTest::addColumn<bool>("unnamed"); // Windows makes named ones only
    QTest::newRow("unnamed temporary file") << true;
    QTest::newRow("named temporary file") << false;
}

void tst_Transfer::placingNeverReplaces()
{
    // Another program made the name after it was looked for: its file stays,
    // and the received one goes under another name.
    QFETCH(bool, unnamed);
    QTemporaryDir dir;
    int error = 0;
    const Files::Handle folder = Files::openFolder(dir.path(), error);
    QVERIFY(folder.isOpen());
    QString temporary;
    Files::Handle file = Files::createTemporary(folder, unnamed, temporary, error);
    QVERIFY2(file.isOpen(), qPrintable(Files::errorText(error)));
    qint64 written = 0;
    QCOMPARE(Files::writeAll(file, "ours", 4, written), 0);
    QVERIFY(writeFile(dir.filePath("ABC.wav"), "theirs"));
    QVERIFY(Files::isNameTaken(Files::place(folder, file, temporary, "ABC.wav")));
    QCOMPARE(Files::place(folder, file, temporary, "ABC (2).wav"), 0);
    QCOMPARE(temporary, QString());
    QCOMPARE(file.close(), 0);
    QCOMPARE(readAll(dir.filePath("ABC.wav")), "theirs");
    QCOMPARE(readAll(dir.filePath("ABC (2).wav")), "ours");
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"ABC (2).wav", "ABC.wav"}));
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
