#include "MisbehavingServer.h"
#include "TestSupport.h"
#include "profiles/ProfileLock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>
#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;

    QJsonObject json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
    QJsonArray jobs() const { return json().value("jobs").toArray(); }
};

const QString invalidIndex =
    QStringLiteral("Page contained invalid XML data, please check your profile settings!");

// An index of the jobs `names` (ids 1, 2, …, reference R1, priority 2) with
// their files at `base`/files/ID.wav, then `more`.
QByteArray served(const QString &base, const QStringList &names, const QByteArray &more = {})
{
    QList<QByteArray> jobs;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString id = QString::number(i + 1);
        jobs << jobElement(id, {{"job_name", names.at(i)},
                                {"path", base + "/files/" + id + ".wav"},
                                {"reference", "R1"},
                                {"priority", "2"}});
    }
    return jobIndex(jobs << more);
}

// What the running tool has written so far, without taking it.
QString written(QProcess &process, QProcess::ProcessChannel channel)
{
    process.setReadChannel(channel);
    return QString::fromUtf8(process.peek(1 << 20));
}

// The tool with `arguments` as a shell command.
QString shellCommand(const QStringList &arguments)
{
    QString command = QStringLiteral("'" QUILLET_TRANSFER "'");
    for (const QString &argument : arguments)
        command += " '" + argument + "'";
    return command;
}

// The cells a terminal gives `text`: two for CJK ideographs and kana.
qsizetype cells(const QString &text)
{
    return text.size() + text.count(QRegularExpression("[\\x{3000}-\\x{9FFF}]"));
}

// The tool with `arguments` in a pseudo-terminal of `columns` columns (script(1)'s).
QStringList onTerminal(int columns, const QStringList &arguments, const QString &term = "xterm")
{
    return {"-qec",
            QStringLiteral("stty cols %1 rows 40; TERM=%2 exec ").arg(columns).arg(term) +
                shellCommand(arguments),
            "/dev/null"};
}

// Sends `signal` to the running tool.
void sendSignal(QProcess &process, int signal)
{
#ifdef Q_OS_WIN
    Q_UNUSED(process);
    qFatal("no POSIX signal %d on Windows", signal);
#else
    ::kill(pid_t(process.processId()), signal);
#endif
}

// A program's output as lines end on Linux: Windows consoles end them with CR LF.
QString outputText(const QByteArray &output)
{
    QString text = QString::fromUtf8(output);
#ifdef Q_OS_WIN
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
#endif
    return text;
}

} // namespace

class tst_Cli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void commandLine_data();
    void commandLine();
    void listFitsTheTerminal_data();
    void listFitsTheTerminal();
    void fetchesFromTheDemoService();
    void twoFetchesIntoOneFolder();
    void fetchWithAFullDiskAndASignal();
    void fetchOnATerminal_data();
    void fetchOnATerminal();
    void signalDuringConfirmation_data();
    void signalDuringConfirmation();
    void watch_data();
    void watch();
    void secretsAndServiceTexts_data();
    void secretsAndServiceTexts();

private:
    Run run(const QStringList &arguments,
            const QString &program = QStringLiteral(QUILLET_TRANSFER));
    // The tool with each list of arguments, all at once.
    QList<Run> runTogether(const QList<QStringList> &argumentLists,
                           const QString &program = QStringLiteral(QUILLET_TRANSFER));
    void pointProfileAt(const QString &base, int interval = 5);

    std::unique_ptr<TestFolder> m_folder;
    QString m_profile;
    // Called while the tool runs until it returns true.
    std::function<bool(QProcess &)> m_whileRunning;
    // watch: the length of a minute, in ms.
    int m_minuteMs = 30;
    QTemporaryDir m_certificateFolder;
    bool m_certificates = false;
};

void tst_Cli::initTestCase()
{
    // The test authority is trusted as an office's own would be.
    m_certificates = MisbehavingServer::makeCertificates(m_certificateFolder.path());
    qunsetenv("CURL_CA_BUNDLE"); // it comes first
    qputenv("SSL_CERT_FILE", QFile::encodeName(m_certificateFolder.filePath("ca.pem")));
}

void tst_Cli::init()
{
    m_whileRunning = nullptr;
    m_minuteMs = 30;
    m_folder = std::make_unique<TestFolder>();
    QDir().mkpath(m_folder->profiles());
    m_profile = m_folder->profile("Ann Smith.xml");
    pointProfileAt(QStringLiteral("http://127.0.0.1:9"));
}

Run tst_Cli::run(const QStringList &arguments, const QString &program)
{
    return runTogether({arguments}, program).first();
}

QList<Run> tst_Cli::runTogether(const QList<QStringList> &argumentLists, const QString &program)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUILLET_PROFILES_FOLDER"), m_folder->profiles());
    environment.insert(QStringLiteral("QUILLET_WATCH_MINUTE_MS"), QString::number(m_minuteMs));
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const QStringList &arguments : argumentLists) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->setProcessEnvironment(environment);
        processes.back()->start(program, arguments);
    }
    // The event loop runs meanwhile: test servers in this process answer.
    const bool ended = QTest::qWaitFor(
        [&] {
            if (m_whileRunning && m_whileRunning(*processes.front()))
                m_whileRunning = nullptr;
            return std::all_of(processes.begin(), processes.end(), [](const auto &process) {
                return process->state() == QProcess::NotRunning;
            });
        },
        60000);
    QList<Run> results;
    for (const std::unique_ptr<QProcess> &process : processes) {
        Run result;
        if (ended && process->exitStatus() == QProcess::NormalExit) {
            result.status = process->exitCode();
            result.out = outputText(process->readAllStandardOutput());
            result.err = outputText(process->readAllStandardError());
        }
        results << result;
    }
    return results;
}

void tst_Cli::pointProfileAt(const QString &base, int interval)
{
    QVERIFY(writeFile(m_profile, profileFile({{"last_name", "Smith"},
                                              {"password", "Zq9 x&y#w"},
                                              {"download_folder", m_folder->path("Jobs")},
                                              {"pollinterval", QString::number(interval)},
                                              {"base_url", base + "/remote_tools/"}},
                                             {"Reference", "\\", "Job Name"})));
}

void tst_Cli::commandLine_data()
{
    QTest::addColumn<QString>("arguments"); // P: the profile Ann Smith, B: the profile Bad.xml
    QTest::addColumn<QByteArray>("file");   // written as Bad.xml first; "FIFO": a FIFO
    QTest::addColumn<int>("answer");        // the HTTP status of the index; 0: no connection
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");  // the start of a line of the error output, or nothing
    QTest::addColumn<QString>("output"); // a pattern for the whole output
    const auto refused = [](const char *name, const char *arguments, const QString &error,
                            const QByteArray &file = {}) {
        QTest::newRow(name) << QString(arguments) << file << 0 << 2 << error << QString();
    };
    // A JSON report of no job and its messages, the first of them an error.
    const QString noJob =
        QRegularExpression::escape(
            "{\n  \"jobs\": [],\n  \"messages\": [\n    {\"title\": \"Error\", ") +
        ".*";
    QTest::newRow("profile by name, password hidden")
        << "profile Ann_Smith" << QByteArray() << 0 << 0 << QString()
        << "Profile file: +.+[/\\\\]Ann Smith\\.xml\n(.*\n){4}Login: +ann\nPassword: +\\*\\*\\*\n"
           "(.*\n){4}Download rules: +1\\. Reference\n +2\\. \\\\\n +3\\. Job Name\n";
    refused("nothing", "", "Usage: quillet-transfer [-q] COMMAND PROFILE");
    // A usage error is one line.
    refused("unknown command", "send P", "quillet-transfer: unknown command send; see --help\n");
    refused("surplus argument", "profile P more",
            "quillet-transfer: unexpected argument more; see --help\n");
    refused("unknown option", "fetch -x P", "quillet-transfer: unknown option -x; see --help\n");
    refused("index without file", "list P --index",
            "quillet-transfer: --index needs a file; see --help\n");
    refused("empty --index=", "list P --index=",
            "quillet-transfer: --index needs a file; see --help\n");
    refused("profile takes no json", "profile P --json",
            "quillet-transfer: profile takes no such option; see --help\n");
    // The system's words for a missing file, and for a missing folder on its path.
#ifdef Q_OS_WIN
    const QString noFile = "File not found", noFolder = "Path not found";
#else
    const QString noFile = "No such file or directory", noFolder = noFile;
#endif
    refused("--index=FILE", "list P --index=/nonexistent/i.xml",
            "quillet-transfer: cannot read the job index /nonexistent/i.xml: " + noFolder);
    refused("-- ends the options", "-q profile -- -x",
            "quillet-transfer: cannot read the profile -x: " + noFile);
    // Why a profile cannot be read.
    const QString profile = QStringLiteral("quillet-transfer: cannot read the profile ");
    refused("cut XML", "profile B",
            profile + "B: not well-formed XML (line 1: Premature end of document.)",
            "<profile><first_name>x</first_name>");
    refused("field missing", "profile B", profile + "B: <first_name> is missing",
            "<profile></profile>");
    refused("FIFO", "profile B", profile + "B: not a regular file", "FIFO");
    refused("no such file or name", "profile No_Such",
            profile + "No Such: " + noFile + "; nor is there a profile of that name");
    // A failed check: told, without the password, which holds a blank, & and
    // #, in no form; an error page echoes it, plain and encoded.
    const QString cannot = "The job index could not be retrieved from http://127.0.0.1:9/"
                           "remote_tools/job_index.asp?SessionID=G-1&LG=***&PW=***\n";
    QTest::newRow("no connection: list -q --json, the failure told")
        << "list -q P --json" << QByteArray() << 0 << 1 << "Error: " + cannot << noJob;
    const QString page = "Error: " + invalidIndex +
                         "\nError: The service answered HTTP %1: Login failed PW=*** PW=***\n";
    QTest::newRow("HTTP 401: fetch, no table")
        << "fetch P" << QByteArray() << 401 << 1 << page.arg(401) << QString();
    QTest::newRow("HTTP 502: fetch --json")
        << "fetch P --json" << QByteArray() << 502 << 1 << page.arg(502) << noJob;
}

void tst_Cli::commandLine()
{
    QFETCH(QString, arguments);
    QFETCH(QByteArray, file);
    QFETCH(int, answer);
    QFETCH(int, status);
    QFETCH(QString, error);
    QFETCH(QString, output);
    MisbehavingServer server;
    server.when("job_index.asp",
                MisbehavingServer::answer(
                    "<html><p>Login failed</p>\nPW=Zq9 x&y#w PW=Zq9%20x%26y%23w</html>", answer));
    if (answer)
        pointProfileAt(server.base());
    const QString bad = m_folder->profile("Bad.xml");
    if (file == "FIFO") {
#ifdef Q_OS_WIN
        QSKIP("Windows has no FIFOs in folders");
#else
        QCOMPARE(::mkfifo(QFile::encodeName(bad).constData(), 0600), 0);
#endif
    } else if (!file.isEmpty())
        QVERIFY(writeFile(bad, file));
    QStringList words = arguments.split(' ', Qt::SkipEmptyParts);
    for (QString &word : words)
        word = word == "P" ? m_profile : word == "B" ? bad : word.replace('_', ' ');
    const Run result = run(words);
    QCOMPARE(result.status, status);
    error.replace("profile B", "profile " + bad);
    QVERIFY2(error.isEmpty() ? result.err.isEmpty()
                             : result.err.startsWith(error) || result.err.contains('\n' + error),
             qPrintable(result.err));
    if (error.endsWith("; see --help\n"))
        QCOMPARE(result.err.count('\n'), 1);
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(output),
                                QRegularExpression::DotMatchesEverythingOption)
                 .match(result.out)
                 .hasMatch(),
             qPrintable(result.out));
    QVERIFY(!(result.out + result.err).contains(QLatin1String("Zq9")));
}

void tst_Cli::secretsAndServiceTexts_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("base");        // {host}: the test server's host and port
    QTest::addColumn<QByteArray>("page");     // the page that gives this answer once
    QTest::addColumn<int>("answer");          // its HTTP status
    QTest::addColumn<QByteArray>("index");    // its body, or the Location of a 3xx
    QTest::addColumn<QString>("shown");       // a part of the output
    QTest::addColumn<QString>("certificate"); // of an https server (self-signed, wrong host)
    QTest::addColumn<QByteArray>("statusLine");
    const QByteArray sent = ServiceUrls::queryValue(hardPassword).toUtf8();
    const QString http = "http://{host}";
    const auto row = [](const QByteArray &name, const QString &base, int answer,
                        const QByteArray &index, const QString &shown,
                        const QString &password = hardPassword, const char *certificate = "",
                        const QByteArray &line = {}, const QByteArray &page = "job_index.asp") {
        QTest::newRow(name) << QString(name).section(": ", 1) << password << base << page << answer
                            << index << shown << QString(certificate) << line;
    };
    const auto denied = [&](const char *name, const QByteArray &echo) {
        row(name, http, 401, "<html><p>Denied: " + echo + "</p></html>", "Denied: ***");
    };
    denied("echoed as sent: fetch --json", sent);
    denied("echoed as typed, markup in it: fetch", hardPassword.toUtf8());
    denied("echoed HTML-escaped: fetch", "Gr&#xFC;&amp;&szlig;e 50%+&lt;b&#62;x");
    denied("echoed form-encoded: fetch --json", "Gr%c3%bc%26%C3%9Fe+50%25%2b%3cb%3ex");
    denied("echoed across the 4096-character cut: fetch",
           QByteArray(4073, ' ') + hardPassword.toUtf8());
    const QByteArray signedUrl = oneJobIndex("A", "{server}/1.wav?PW=" + sent + "&sig=" + sent);
    row("job URL with the password: list", http, 200, signedUrl, "1.wav?PW=***&sig=***");
    row("job URL with the password: list --json", http, 200, signedUrl, "PW=***&sig=***");
    row("ftp job URL refused: fetch --json", http, 200, oneJobIndex("A", "ftp://h/1.wav?s=" + sent),
        "1.wav?s=***");
    row("user:password@ in the base URL: profile",
        "http://ann:" + QUrl::toPercentEncoding(hardPassword) + "@{host}", 200, {},
        "http://***@127.0.0.1");
    row("redirected to a host named as the password: list", http, 302,
        "http://hunter2x.localhost:" + QByteArray::number(MisbehavingServer::closedPort()),
        "***.localhost", "hunter2x");
    const QByteArray forged =
        oneJobIndex("A{LF}Received 77 -> y{CSI}2J{RLO}vaw.exe", "{server}/1.wav");
    row("job names forge lines: fetch", http, 200, forged, "A\uFFFDReceived 77");
    row("job names forge lines: list --json", http, 200, forged, "2J\uFFFDvaw");
    row("plain http to another machine: profile", "http://jobs.quillet.example", 200, {},
        "quillet-transfer: " + ServiceUrls::inClearText() + '\n');
    // The https service redirects to {plain}, which must get nothing.
    for (const char *line : {"302 Found", " 302 Found", "302\tFound", "302Found"}) {
        row("https to http, index, " + QByteArray(line) + ": list", "https://{host}", 302,
            "{plain}/moved", "to an insecure address", hardPassword, "good", line);
        row("https to http, status, " + QByteArray(line) + ": fetch", "https://{host}", 302,
            "{plain}/moved", "1 of 1 jobs received, 0 failed, 0 confirmed", hardPassword, "good",
            line, "job_status_update.asp");
    }
    row("https to https followed: list", "https://{host}", 301, "{server}/moved/job_index.asp",
        "/1.wav\t", hardPassword, "good", "301  Moved");
    row("self-signed certificate: list", "https://{host}", 200, {}, "self-signed certificate",
        hardPassword, "self");
    row("certificate of another host: list", "https://{host}", 200, {}, "certificate subject name",
        hardPassword, "wrong");
}

void tst_Cli::secretsAndServiceTexts()
{
    QFETCH(QString, command);
    QFETCH(QString, password);
    QFETCH(QString, base);
    QFETCH(QByteArray, page);
    QFETCH(int, answer);
    QFETCH(QByteArray, index);
    QFETCH(QString, shown);
    QFETCH(QString, certificate);
    QFETCH(QByteArray, statusLine);
    if (!certificate.isEmpty() && !m_certificates)
        QSKIP("the openssl tool could not make the test certificates");
    if ((certificate == "self" || certificate == "wrong") && underWine())
        QSKIP("Wine's Schannel accepts an untrusted self-signed certificate or another host's");
    if (!certificate.isEmpty() && underWine())
        QSKIP("this test's TLS server cannot run on Wine's Schannel (the handshake fails)");
    MisbehavingServer plain,
        server(certificate.isEmpty()
                   ? QSslConfiguration()
                   : MisbehavingServer::certificate(m_certificateFolder.path(), certificate));
    const QString host = server.base().section("//", 1);
    index.replace("{server}", server.base().toUtf8()).replace("{plain}", plain.base().toUtf8());
    server.when(page, {.status = answer,
                       .body = index,
                       .headers = {{"Location", answer / 100 == 3 ? index : ""}},
                       .times = 1,
                       .statusLine = statusLine.isEmpty() ? "" : "HTTP/1.1 " + statusLine});
    server.when("job_index.asp",
                MisbehavingServer::answer(oneJobIndex("A", server.base() + "/1.wav")));
    QVERIFY(writeFile(m_profile, profileFile({{"password", password},
                                              {"download_folder", m_folder->path("Jobs")},
                                              {"base_url", base.replace("{host}", host) + '/'}})));
    QStringList arguments = command.split(' ');
    arguments.insert(1, m_profile);
    const Run result = run(arguments);
    const QString all = result.out + result.err;
    QVERIFY2(all.contains(shown) && !showsPassword(all, password), qPrintable(all));
    QCOMPARE(plain.targets, QStringList()); // nothing went out in clear
    // No line of the service's, no control code, no override.
    QVERIFY2(!QRegularExpression("(^|\n)Received 77|[\\x{80}-\\x{9f}\\x{202a}-\\x{202e}\r]")
                  .match(all)
                  .hasMatch(),
             qPrintable(all));
}

void tst_Cli::listFitsTheTerminal_data()
{
    QTest::addColumn<int>("columns"); // 0: piped
    QTest::addColumn<QString>("row"); // the first job's, or its start; %1: its file
    QTest::newRow("piped: tab-separated")
        << 0 << "1\t2\tABC\tR1\t2003-12-31T23:59:59\thttps://jobs.example/files/1.wav\t%1";
    QTest::newRow("narrow terminal: cut to fit")
        << 70 << "1   2         ABC        R1         2003-12-3…  https://j…  ";
}

void tst_Cli::listFitsTheTerminal()
{
    QFETCH(int, columns);
    QFETCH(QString, row);
#ifdef Q_OS_WIN
    if (columns)
        QSKIP("no POSIX pseudo-terminal (script(1)) on Windows");
#endif
    const QString index = m_folder->path("index.xml");
    QVERIFY(writeFile(
        index, served("https://jobs.example", {"ABC", "Re:&#10;&#155;[2J", "日本語のファイル名"})));
    const QStringList list{"list", m_profile, "--index", index};
    // On a terminal of `columns` columns: script(1)'s pseudo-terminal.
    const Run result = columns ? run(onTerminal(columns, list), "script") : run(list);
    QCOMPARE(result.status, 0);
    const QStringList lines = result.out.split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    // A heading of seven columns, then a row a job.
    QCOMPARE(lines.at(0).split(QRegularExpression(columns ? " {2,}" : "\t")).size(), 7);
    row.replace("%1", QDir::toNativeSeparators(m_folder->path("Jobs/R1/ABC.wav")));
    QVERIFY2(columns ? lines.at(1).startsWith(row) : lines.at(1) == row, qPrintable(lines.at(1)));
    for (const QString &line : lines) {
        if (columns)
            QVERIFY2(cells(line) <= columns, qPrintable(line));
        // No control code of the service reaches the output.
        QVERIFY(!line.contains(QChar(0x9b)));
    }
    if (columns)
        return;
    // --json: every other field that the index fills, and the record's length and template.
    const Run json = run(list + QStringList{"--json"});
    QCOMPARE(json.status, 0);
    QCOMPARE(json.err, QString());
    QCOMPARE(json.jobs().size(), 3);
    QJsonObject first = json.jobs().at(0).toObject();
    QCOMPARE(first.take("destination").toString(),
             QDir::toNativeSeparators(m_folder->path("Jobs/R1/ABC.wav")));
    const QByteArray fields =
        R"({"demographics":["d1","d2","d3"],"department":"Cardiology",)"
        R"("dictator":"Dr Ann Smith","dictator_first_name":"Ann","dictator_last_name":"Smith",)"
        R"("id":"1","length":0,"name":"ABC","open_time":"2003-12-31T23:59:59","priority":2,)"
        R"("reference":"R1","source_url":"https://jobs.example/files/1.wav","template":""})";
    QCOMPARE(QJsonDocument(first).toJson(QJsonDocument::Compact), fields);
    QCOMPARE(json.json().value("messages").toArray(), QJsonArray());
}

void tst_Cli::fetchesFromTheDemoService()
{
    const QString profile = m_folder->path("demo.xml");
    QProcess service;
    service.start(QStringLiteral(QUILLET_DEMO_SERVICE),
                  {"--port", "0", "--jobs", "3", "--profile-out", profile, "--download-folder",
                   m_folder->path("Demo Jobs")});
    QVERIFY(service.waitForReadyRead(20000));

    // Quiet: the summary alone on standard error.
    const Run result = run({"fetch", "--quiet", profile});
    QCOMPARE(result.status, 0);
    QCOMPARE(result.err, QStringLiteral("3 of 3 jobs received, 0 failed, 3 confirmed.\n"));
    // A heading, then a row a job: received and confirmed, without an error.
    const QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines.at(1).contains(QRegularExpression("^1001\t.*\tyes\tyes\t.*\\.wav\t$")),
             qPrintable(lines.at(1)));
    // Confirmed jobs leave the index: a second fetch finds nothing to do.
    const Run again = run({"fetch", profile});
    service.kill();
    service.waitForFinished();
    QCOMPARE(again.status, 0);
    QCOMPARE(again.err, QStringLiteral("No jobs are waiting.\n"));
    QCOMPARE(again.out, QString());
}

void tst_Cli::twoFetchesIntoOneFolder()
{
    MisbehavingServer server;
    pointProfileAt(server.base());
    server.when("job_index.asp",
                MisbehavingServer::answer(served(server.base(), {"J1", "J2", "J3", "J4", "J5"})));
    server.when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));
    QList<QByteArray> bodies;
    for (int i = 1; i <= 5; ++i) {
        bodies << QByteArray(20000 + i, char('a' + i));
        // Both programs get each file at the same moment and put it in place at once.
        server.when("/files/" + QByteArray::number(i) + ".wav",
                    {.body = bodies.last(), .together = 2});
    }

    // Two fetches at once, of two profiles with one folder: the status is 0
    // when both end with 0.
    const QString twin = m_folder->profile("Ann Twin.xml");
    QVERIFY(QFile::copy(m_profile, twin));
    const QList<Run> both = runTogether({{"fetch", m_profile}, {"fetch", twin}});
    QCOMPARE(both.at(0).status, 0);
    QCOMPARE(both.at(1).status, 0);
    // Each job once, whole: no empty or partial file, no copy.
    const QDir folder(m_folder->path("Jobs/R1"));
    QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden),
             (QStringList{"J1.wav", "J2.wav", "J3.wav", "J4.wav", "J5.wav"}));
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(readAll(folder.filePath(QStringLiteral("J%1.wav").arg(i))), bodies.at(i - 1));

    // A profile that another program polls is neither checked nor fetched.
    const ProfileLock window(m_profile);
    const qsizetype requests = server.targets.size();
    for (const char *command : {"fetch", "watch"}) {
        const Run refused = run({command, m_profile});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains("Error: The profile of Ann Smith is in use by another "
                                      "program on this computer."),
                 qPrintable(refused.err));
    }
    QCOMPARE(server.targets.size(), requests);
}

void tst_Cli::fetchWithAFullDiskAndASignal()
{
#ifdef Q_OS_WIN
    QSKIP("Windows has no file-size limit per process, and no SIGTERM");
#endif
    MisbehavingServer server;
    pointProfileAt(server.base());
    server.when("job_index.asp",
                MisbehavingServer::answer(served(server.base(), {"A", "B", "C", "D"})));
    server.when("/files/2.wav", MisbehavingServer::answer(QByteArray(300 * 1024, 'b')));
    server.when("/files/3.wav", MisbehavingServer::of(MisbehavingServer::Kind::Stall));
    server.when("/files/", MisbehavingServer::answer("RIFF"));
    server.when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));
    // The signal comes while job C is requested.
    m_whileRunning = [&server](QProcess &process) {
        if (!server.targets.contains(QStringLiteral("/files/3.wav")))
            return false;
        process.terminate();
        return true;
    };
    // Files of the tool may not grow past 64 KiB, as on a full disk.
    const Run result =
        run({"-c", "ulimit -f 128; exec " + shellCommand({"fetch", m_profile, "--json"})}, "sh");
    // A is received and confirmed, B fails on the full disk and C follows,
    // the signal cancels C, and D is not tried.
    QCOMPARE(result.status, 143);
    for (const char *line : {"Failed 2 B: ",
                             "Stopping: the running job is cancelled, received "
                             "jobs are confirmed.\n",
                             "1 of 4 jobs received, 1 failed, 1 confirmed.\n"})
        QVERIFY2(result.err.contains(QLatin1String(line)), qPrintable(result.err));
    const QJsonArray jobs = result.jobs();
    QCOMPARE(jobs.size(), 4);
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const QJsonObject job = jobs.at(i).toObject();
        QCOMPARE(job.value("downloaded").toBool(), i == 0);
        QCOMPARE(job.value("confirmed").toBool(), i == 0);
        QCOMPARE(job.value("error").isNull(), i != 1);
    }
    QVERIFY(jobs.at(1).toObject().value("error").toString().contains("could not be written"));
    QCOMPARE(QDir(m_folder->path("Jobs/R1")).entryList(QDir::Files | QDir::Hidden),
             QStringList{"A.wav"});
}

void tst_Cli::fetchOnATerminal_data()
{
    QTest::addColumn<QString>("term");
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("progress");
    QTest::newRow("40 columns: the progress line fits")
        << QString("xterm") << QString("--json") << true;
    QTest::newRow("TERM=dumb: no control sequence")
        << QString("dumb") << QString("--json") << false;
    QTest::newRow("quiet: no progress, no job line") << QString("xterm") << QString("-q") << false;
}

void tst_Cli::fetchOnATerminal()
{
    QFETCH(QString, term);
    QFETCH(QString, option);
    QFETCH(bool, progress);
#ifdef Q_OS_WIN
    QSKIP("no POSIX pseudo-terminal (script(1)) on Windows");
#endif
    MisbehavingServer server;
    pointProfileAt(server.base());
    server.when("job_index.asp", MisbehavingServer::answer(served(
                                     server.base(), {QString(200, 'N'), "日本語のファイル名"})));
    server.when("/files/", MisbehavingServer::answer(QByteArray(256 * 1024, 'x')));
    server.when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));
    const Run result = run(onTerminal(40, {"fetch", m_profile, option}, term), "script");
    QCOMPARE(result.status, 0);
    QCOMPARE(result.out.contains(QChar(0x1b)), progress);
    QCOMPARE(result.out.contains("Received 2 "), option != "-q");
    // What each redraw replaces fits in one row: nothing is left behind.
    qsizetype redrawn = 0;
    for (const QString &line : result.out.split("\r\n")) {
        const QStringList drawn = line.split("\r\x1b[K");
        for (qsizetype i = 1; i + 1 < drawn.size(); ++i, ++redrawn)
            QVERIFY2(cells(drawn.at(i)) < 40, qPrintable(drawn.at(i)));
    }
    QCOMPARE(redrawn > 0, progress);
}

void tst_Cli::signalDuringConfirmation_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("count"); // signals while the confirmation is held
    QTest::newRow("fetch, SIGINT: the confirmation finishes") << "fetch" << SIGINT << 1;
    QTest::newRow("fetch, two SIGINTs: it ends") << "fetch" << SIGINT << 2;
    QTest::newRow("watch, two SIGTERMs: it ends") << "watch" << SIGTERM << 2;
}

void tst_Cli::signalDuringConfirmation()
{
    QFETCH(QString, command);
    QFETCH(int, signal);
    QFETCH(int, count);
#ifdef Q_OS_WIN
    QSKIP("no POSIX signals on Windows");
#endif
    MisbehavingServer server;
    pointProfileAt(server.base());
    server.when("job_index.asp", MisbehavingServer::answer(served(server.base(), {"A"})));
    server.when("/files/", MisbehavingServer::answer("RIFF"));
    server.when("job_status_update.asp", MisbehavingServer::of(MisbehavingServer::Kind::Stall));
    // The first signal once the confirmation is asked for; once the tool has
    // said that it goes on, the second or the answer.
    int sent = 0;
    m_whileRunning = [&](QProcess &process) {
        if (server.targets.filter("job_status_update").isEmpty())
            return false;
        const bool told = written(process, QProcess::StandardError)
                              .contains("Stopping once the received jobs are confirmed.");
        if (sent == 0 || (told && sent < count))
            sendSignal(process, signal), ++sent;
        else if (told)
            server.releaseStalled("Update Sucessful");
        return told && (sent == 2 || count == 1);
    };
    const Run result =
        run(QStringList{command, m_profile, "--now"}.mid(0, command == "watch" ? 3 : 2));
    QCOMPARE(result.status, 128 + signal);
    QVERIFY(QFile::exists(m_folder->path("Jobs/R1/A.wav")));
    QVERIFY2(
        result.err.contains("\n1 received job is not confirmed; the next check confirms it.\n") ==
            (count != 1),
        qPrintable(result.err));
}

void tst_Cli::watch_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("jobs"); // of the first check; B's file waits for the signal
    QTest::addColumn<QString>("out");      // the checks without their time of day
    QTest::addColumn<QString>("err");      // %1: the download folder
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("journal"); // standard error is the journal's stream
    const QString every = "Watching for jobs of Ann Smith: a check every 2 minutes.\n";
    const QString zero = "0 Minutes Remaining Until Next Poll\n";
    QTest::newRow("first check after a poll interval; a signal while waiting ends it at once")
        << QStringList() << QStringList{"A"}
        << every + zero + "Checking for jobs\n1 jobs listed\n" +
               "1 of 1 jobs received, 0 failed, 1 confirmed.\n" + zero +
               "Checking for jobs\n0 jobs listed\n" + zero
        << "Received 1 A -> %1/A.wav\nStopped.\n"
        << SIGINT << false;
    QTest::newRow("--now: first check at start; a signal during a job ends it after that job")
        << QStringList{"--now"} << QStringList{"A", "B", "C"}
        << every +
               "Checking for jobs\n3 jobs listed\n2 of 3 jobs received, 0 failed, 2 confirmed.\n"
        << "Received 1 A -> %1/A.wav\nStopping after the running job; received jobs are "
           "confirmed. Signal again to cancel the running job.\nReceived 2 B -> %1/B.wav\n"
           "Stopped.\n"
        << SIGTERM << false;
    // In the journal, lines carry their priority, and no countdown is written.
    QTest::newRow("journal: priorities")
        << QStringList{"--now"} << QStringList{"../../Z", "B", "C"}
        << every +
               "Checking for jobs\n3 jobs listed\n1 of 3 jobs received, 1 failed, 1 confirmed.\n"
        << "<3>Failed 1 ../../Z: The file name %1/../../Z.wav would lead out of the download "
           "folder %2.\n<4>Stopping after the running job; received jobs are "
           "confirmed. Signal again to cancel the running job.\n<6>Received 2 B -> %1/B.wav\n"
           "<4>Stopped.\n"
        << SIGTERM << true;
}

void tst_Cli::watch()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, jobs);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(int, signal);
    QFETCH(bool, journal);
#ifdef Q_OS_WIN
    QSKIP("no POSIX signals on Windows");
#endif
    MisbehavingServer server;
    pointProfileAt(server.base(), 1);
    auto first = MisbehavingServer::answer(served(server.base(), jobs));
    first.times = 1;
    server.when("job_index.asp", first);
    server.when("job_index.asp", MisbehavingServer::answer("<jobs/>"));
    server.when("/files/2.wav", MisbehavingServer::of(MisbehavingServer::Kind::Stall));
    server.when("/files/", MisbehavingServer::answer("RIFF"));
    server.when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));

    // The signal comes while job B is requested, or else once the second
    // check's countdown has begun; B is answered once the tool has said that
    // it stops after it.
    bool signalled = false;
    // A minute long enough for the signal to come within it on a busy machine.
    m_minuteMs = 250;
    m_whileRunning = [&](QProcess &process) {
        const QString written = ::written(process, QProcess::StandardOutput);
        if (!signalled && (server.targets.contains(QStringLiteral("/files/2.wav")) ||
                           (written.count("Checking for jobs") == 2 &&
                            written.endsWith(QLatin1String("Next Poll\n"))))) {
            sendSignal(process, signal);
            signalled = true;
        }
        if (!signalled || !::written(process, QProcess::StandardError)
                               .contains(QLatin1String("Stopping after the running job")))
            return false;
        server.releaseStalled("RIFF");
        return true;
    };
    const QString watch = shellCommand(QStringList{"watch", m_profile} + options);
    const QString stream = "export JOURNAL_STREAM=$(stat -L -c %d:%i /proc/self/fd/2); ";
    const Run result = run({"-c", (journal ? stream : QString()) + "exec " + watch}, "sh");
    QCOMPARE(result.status, 128 + signal);
    static const QRegularExpression timeOfDay("^\\S+ \\S+ (?=Checking)",
                                              QRegularExpression::MultilineOption);
    QCOMPARE(QString(result.out).remove(timeOfDay), out);
    // The jobs' lines, and none of the poll's messages.
    QCOMPARE(result.err,
             err.replace("%1", m_folder->path("Jobs/R1")).replace("%2", m_folder->path("Jobs")));
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
