#include "MisbehavingServer.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>

#include <sys/resource.h>
#include <sys/stat.h>

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

QByteArray job(const QByteArray &id, const QByteArray &name, const QByteArray &path)
{
    return jobElement(QString::fromUtf8(id), {{"job_name", QString::fromUtf8(name)},
                                              {"path", QString::fromUtf8(path)},
                                              {"reference", "R1"},
                                              {"priority", "2"}});
}

// An index of the jobs `names` (ids 1, 2, …) with their files on `server`.
QByteArray served(const MisbehavingServer &server, const QList<QByteArray> &names)
{
    QList<QByteArray> jobs;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QByteArray id = QByteArray::number(i + 1);
        jobs << job(id, names.at(i), (server.base() + "/files/" + id + ".wav").toUtf8());
    }
    return jobIndex(jobs);
}

} // namespace

class tst_Cli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void showsProfileWithoutPassword();
    void listsJobs();
    void listFitsTheTerminal_data();
    void listFitsTheTerminal();
    void failedReadingListsEarlierJobs();
    void profileThatCannotBeLoaded_data();
    void profileThatCannotBeLoaded();
    void failedCheckHidesThePassword_data();
    void failedCheckHidesThePassword();
    void fetchesFromTheDemoService();
    void twoFetchesIntoOneFolder();
    void fetchStopsCleanlyOnSigterm();
    void fetchWithAFullDisk();
    void watchCountsDownAndPolls_data();
    void watchCountsDownAndPolls();
    void watchEndsAfterTheRunningJob();
    void badArguments_data();
    void badArguments();

private:
    void start(QProcess &process, const QStringList &arguments,
               const QString &program = QStringLiteral(QUILLET_TRANSFER));
    Run run(const QStringList &arguments,
            const QString &program = QStringLiteral(QUILLET_TRANSFER));
    void pointProfileAt(const QString &base, int interval = 5);

    std::unique_ptr<TestFolder> m_folder;
    QString m_profile;
    std::function<void()> m_childSetup;
    // Called while the tool runs until it returns true.
    std::function<bool(QProcess &)> m_whileRunning;
};

void tst_Cli::init()
{
    m_childSetup = nullptr;
    m_whileRunning = nullptr;
    m_folder = std::make_unique<TestFolder>();
    QDir().mkpath(m_folder->profiles());
    m_profile = m_folder->profile("Ann Smith.xml");
    pointProfileAt(QStringLiteral("http://127.0.0.1:9"));
}

void tst_Cli::start(QProcess &process, const QStringList &arguments, const QString &program)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUILLET_PROFILES_FOLDER"), m_folder->profiles());
    // watch: a minute of 30 ms.
    environment.insert(QStringLiteral("QUILLET_WATCH_MINUTE_MS"), QStringLiteral("30"));
    process.setProcessEnvironment(environment);
    if (m_childSetup)
        process.setChildProcessModifier(m_childSetup);
    process.start(program, arguments);
}

Run tst_Cli::run(const QStringList &arguments, const QString &program)
{
    QProcess process;
    start(process, arguments, program);
    Run result;
    // The event loop runs meanwhile: test servers in this process answer.
    const bool ended = QTest::qWaitFor(
        [&] {
            if (m_whileRunning && m_whileRunning(process))
                m_whileRunning = nullptr;
            return process.state() == QProcess::NotRunning;
        },
        60000);
    if (!ended || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.status = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void tst_Cli::showsProfileWithoutPassword()
{
    // By path and by name.
    for (const QString &profile : {m_profile, QStringLiteral("Ann Smith")}) {
        const Run result = run({"profile", profile});
        QCOMPARE(result.status, 0);
        QVERIFY(result.out.contains(QLatin1String("Ann Smith.xml")));
        QVERIFY(!result.out.contains(QLatin1String("Zq9")));
        QVERIFY(result.out.contains(QRegularExpression("Password:\\s+\\*\\*\\*\n")));
        QVERIFY(result.out.contains(QRegularExpression("Login:\\s+ann\n")));
        QVERIFY(result.out.contains(QLatin1String("1. Reference")));
        QVERIFY(result.out.contains(QLatin1String("3. Job Name")));
        QCOMPARE(result.err, QString());
    }
}

void tst_Cli::listsJobs()
{
    const QString index = m_folder->path("index.xml");
    QVERIFY(writeFile(index, jobIndex({job("0042", "ABC", "https://jobs.example/f/42.wav"),
                                       job("43", "Re: notes?", "https://jobs.example/f/43.dss")})));
    const Run result = run({"list", "Ann Smith", "--index", index, "--json"});
    QCOMPARE(result.status, 0);
    QCOMPARE(result.err, QString());
    QJsonParseError error;
    const QJsonObject document = QJsonDocument::fromJson(result.out.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonArray jobs = document.value("jobs").toArray();
    QCOMPARE(jobs.size(), 2);
    const QJsonObject first = jobs.at(0).toObject();
    QCOMPARE(first.value("id").toString(), QStringLiteral("42"));
    QCOMPARE(first.value("name").toString(), QStringLiteral("ABC"));
    QCOMPARE(first.value("reference").toString(), QStringLiteral("R1"));
    QCOMPARE(first.value("open_time").toString(), QStringLiteral("2003-12-31T23:59:59"));
    QVERIFY(first.value("priority").isDouble());
    QCOMPARE(first.value("priority").toInt(), 2);
    QCOMPARE(first.value("source_url").toString(), QStringLiteral("https://jobs.example/f/42.wav"));
    QCOMPARE(first.value("destination").toString(), m_folder->path("Jobs/R1/ABC.wav"));
    QCOMPARE(jobs.at(1).toObject().value("destination").toString(),
             m_folder->path("Jobs/R1/Re_ notes_.dss"));
    QCOMPARE(document.value("messages").toArray().size(), 0);
    // Every field that the index fills, and the record's length and template.
    const QJsonObject fields{{"department", "Cardiology"},
                             {"dictator", "Dr Ann Smith"},
                             {"dictator_first_name", "Ann"},
                             {"dictator_last_name", "Smith"},
                             {"demographics", QJsonArray{"d1", "d2", "d3"}},
                             {"length", 0},
                             {"template", ""}};
    for (auto it = fields.begin(); it != fields.end(); ++it)
        QCOMPARE(first.value(it.key()), it.value());

    // As text: a heading, then a row a job.
    const QStringList lines =
        run({"list", m_profile, "--index", index}).out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0).split('\t').size(), 7);
    QCOMPARE(lines.at(1).split('\t'),
             (QStringList{"42", "2", "ABC", "R1", "2003-12-31T23:59:59",
                          "https://jobs.example/f/42.wav", m_folder->path("Jobs/R1/ABC.wav")}));
}

void tst_Cli::listFitsTheTerminal_data()
{
    QTest::addColumn<int>("columns"); // 0: piped
    QTest::addColumn<QString>("row");
    QTest::newRow("piped: tab-separated") << 0 << "42\t2\tABC\tR1\t2003-12-31T23:59:59\t";
    QTest::newRow("wide terminal: aligned, whole")
        << 250
        << "42  2         ABC                R1         2003-12-31T23:59:59  "
           "https://jobs.example/files/42.wav  ";
    QTest::newRow("narrow terminal: cut to fit")
        << 70 << "42  2         ABC        R1         2003-12-3…  https://j…  ";
}

void tst_Cli::listFitsTheTerminal()
{
    QFETCH(int, columns);
    QFETCH(QString, row);
    const QString index = m_folder->path("index.xml");
    QVERIFY(writeFile(index,
                      jobIndex({job("42", "ABC", "https://jobs.example/files/42.wav"),
                                job("43", "Re:&#10;&#155;[2J", "https://jobs.example/43.wav")})));
    QStringList command;
    for (const QString &word : {QStringLiteral(QUILLET_TRANSFER), QStringLiteral("list"), m_profile,
                                QStringLiteral("--index"), index})
        command << "'" + word + "'";
    // On a terminal of `columns` columns: script(1)'s pseudo-terminal.
    const QString shell =
        QStringLiteral("stty cols %1 rows 40; exec %2").arg(columns).arg(command.join(' '));
    const Run result = columns ? run({"-qec", shell, "/dev/null"}, QStringLiteral("script"))
                               : run({"list", m_profile, "--index", index});
    QCOMPARE(result.status, 0);
    const QStringList lines = result.out.split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines.at(1).startsWith(row), qPrintable(lines.at(1)));
    for (const QString &line : lines) {
        if (columns)
            QVERIFY2(line.size() <= columns, qPrintable(line));
        // No control code of the service reaches the output.
        QVERIFY(!line.contains(QChar(0x9b)));
    }
}

void tst_Cli::failedReadingListsEarlierJobs()
{
    const QString index = m_folder->path("index.xml");
    QVERIFY(writeFile(index, jobIndex({job("1", "A", "https://jobs.example/1.wav"),
                                       job("2", "B", "https://jobs/no-dot"),
                                       job("3", "C", "https://jobs.example/3.wav")})));
    const Run result = run({"list", m_profile, "--index", index, "--json"});
    QCOMPARE(result.status, 1);
    QCOMPARE(result.err, "Error: " + invalidIndex + "\n");
    const QJsonObject document = result.json();
    const QJsonArray jobs = document.value("jobs").toArray();
    QCOMPARE(jobs.size(), 1);
    QCOMPARE(jobs.at(0).toObject().value("id").toString(), QStringLiteral("1"));
    const QJsonArray messages = document.value("messages").toArray();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.at(0).toObject().value("title").toString(), QStringLiteral("Error"));
    QCOMPARE(messages.at(0).toObject().value("text").toString(), invalidIndex);
}

void tst_Cli::profileThatCannotBeLoaded_data()
{
    QTest::addColumn<QString>("profile"); // in the Profiles folder
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::newRow("cut XML") << "Broken.xml" << QByteArray("<profile><first_name>x</first_name>")
                             << "not well-formed XML (line 1: Premature end of document.)";
    QTest::newRow("field missing")
        << "Short.xml" << QByteArray("<profile></profile>") << "<first_name> is missing";
    QTest::newRow("FIFO") << "fifo" << QByteArray() << "not a regular file";
    QTest::newRow("no such file or name") << "" << QByteArray()
                                          << "No such file or directory; nor is there a profile "
                                             "of that name in ";
}

void tst_Cli::profileThatCannotBeLoaded()
{
    QFETCH(QString, profile);
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    QString path = profile.isEmpty() ? QStringLiteral("No Such") : m_folder->profile(profile);
    if (profile == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (!profile.isEmpty())
        QVERIFY(writeFile(path, content));
    const Run result = run({"profile", path});
    QCOMPARE(result.status, 2);
    QVERIFY2(result.err.startsWith("Error: Error Loding User Profile\nquillet-transfer: cannot "
                                   "read the profile " +
                                   path + ": " + reason),
             qPrintable(result.err));
}

void tst_Cli::failedCheckHidesThePassword_data()
{
    QTest::addColumn<int>("status"); // 0: no connection
    QTest::addColumn<QString>("message");
    const QString unreachable = QStringLiteral("Error: The job index could not be retrieved from");
    QTest::newRow("no connection") << 0 << unreachable;
    for (const int status : {400, 401, 403, 407, 418, 502})
        QTest::addRow("HTTP %d", status)
            << status
            << QStringLiteral("Error: %1\nError: The service answered HTTP %2: Login failed PW=*** "
                              "PW=***\n")
                   .arg(invalidIndex)
                   .arg(status);
}

void tst_Cli::failedCheckHidesThePassword()
{
    QFETCH(int, status);
    QFETCH(QString, message);
    MisbehavingServer server;
    // An error page that echoes the password, plain and encoded.
    server.when("job_index.asp",
                MisbehavingServer::answer(
                    "<html><p>Login failed</p>\nPW=Zq9 x&y#w PW=Zq9%20x%26y%23w</html>", status));
    pointProfileAt(status == 0
                       ? QStringLiteral("http://127.0.0.1:%1").arg(MisbehavingServer::closedPort())
                       : server.base());

    for (const QStringList &command :
         {QStringList{"list", m_profile, "--json"}, QStringList{"fetch", m_profile, "--json"},
          QStringList{"fetch", m_profile}}) {
        const Run result = run(command);
        QCOMPARE(result.status, 1);
        QVERIFY2(result.err.startsWith(message), qPrintable(result.err));
        if (command.size() == 2) {
            // No table, not even its header.
            QCOMPARE(result.out, QString());
            continue;
        }
        // The password holds a blank, & and #: no form of it, encoded or not.
        QVERIFY2(!result.err.contains(QLatin1String("Zq9")), qPrintable(result.err));
        QVERIFY2(!result.out.contains(QLatin1String("Zq9")), qPrintable(result.out));
        const QJsonObject document = result.json();
        QCOMPARE(document.value("jobs").toArray().size(), 0);
        QVERIFY(!document.value("messages").toArray().isEmpty());
    }
    if (status != 0)
        QCOMPARE(server.targets.size(), 3);
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

void tst_Cli::fetchesFromTheDemoService()
{
    const QString profile = m_folder->path("demo.xml");
    QProcess service;
    service.start(QStringLiteral(QUILLET_DEMO_SERVICE),
                  {"--port", "0", "--jobs", "3", "--profile-out", profile, "--download-folder",
                   m_folder->path("Demo Jobs")});
    QVERIFY(service.waitForReadyRead(20000));

    const Run result = run({"fetch", profile, "--json"});
    QCOMPARE(result.status, 0);
    QVERIFY(result.err.contains(QLatin1String("All jobs have been updated on server!")));
    QVERIFY(result.err.contains(QLatin1String("3 of 3 jobs received, 0 failed, 3 confirmed.")));
    const QJsonArray jobs = result.jobs();
    QCOMPARE(jobs.size(), 3);
    for (const QJsonValue &value : jobs) {
        const QJsonObject job = value.toObject();
        QCOMPARE(job.value("downloaded").toBool(), true);
        QCOMPARE(job.value("confirmed").toBool(), true);
        QVERIFY(job.value("error").isNull());
        QVERIFY(readAll(job.value("destination").toString()).startsWith("RIFF"));
    }
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
    QByteArray index = "<jobs>";
    QList<QByteArray> bodies;
    for (int i = 1; i <= 5; ++i) {
        const QByteArray id = QByteArray::number(i);
        bodies << QByteArray(20000 + i, char('a' + i));
        index += job(id, "J" + id, (server.base() + "/files/" + id + ".wav").toUtf8());
        // Both programs get each file at the same moment and put it in place at once.
        MisbehavingServer::Behaviour file = MisbehavingServer::answer(bodies.last());
        file.together = 2;
        server.when("/files/" + id + ".wav", file);
    }
    server.when("job_index.asp", MisbehavingServer::answer(index + "</jobs>"));
    server.when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));

    QProcess second;
    m_whileRunning = [&](QProcess &) {
        start(second, {"fetch", m_profile});
        return true;
    };
    const Run first = run({"fetch", m_profile});
    QVERIFY(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 60000));
    QCOMPARE(first.status, 0);
    QCOMPARE(second.exitCode(), 0);
    // Each job once, whole: no empty or partial file, no copy.
    const QDir folder(m_folder->path("Jobs/R1"));
    QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden),
             (QStringList{"J1.wav", "J2.wav", "J3.wav", "J4.wav", "J5.wav"}));
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(readAll(folder.filePath(QStringLiteral("J%1.wav").arg(i))), bodies.at(i - 1));
}

void tst_Cli::fetchStopsCleanlyOnSigterm()
{
    MisbehavingServer server;
    pointProfileAt(server.base());
    server.when("job_index.asp", MisbehavingServer::answer(served(server, {"A", "B"})));
    server.when("/files/2.wav", MisbehavingServer::of(MisbehavingServer::Kind::Stall));
    server.when("/files/", MisbehavingServer::answer(QByteArray(5000, 'a')));
    server.when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));

    m_whileRunning = [&server](QProcess &process) {
        if (!server.targets.contains(QStringLiteral("/files/2.wav")))
            return false;
        process.terminate();
        return true;
    };
    const Run result = run({"fetch", m_profile, "--json"});
    QCOMPARE(result.status, 1);
    const QJsonArray jobs = result.jobs();
    QCOMPARE(jobs.size(), 2);
    QCOMPARE(jobs.at(0).toObject().value("confirmed").toBool(), true);
    QCOMPARE(jobs.at(1).toObject().value("downloaded").toBool(), false);
    QCOMPARE(jobs.at(1).toObject().value("confirmed").toBool(), false);
    const QStringList confirmations = server.targets.filter("job_status_update.asp");
    QCOMPARE(confirmations.size(), 1);
    QVERIFY(confirmations.first().contains(QLatin1String("ID=1&")));
    QCOMPARE(QDir(m_folder->path("Jobs/R1")).entryList(QDir::Files | QDir::Hidden),
             QStringList{"A.wav"});
}

void tst_Cli::fetchWithAFullDisk()
{
    MisbehavingServer server;
    pointProfileAt(server.base());
    server.when("job_index.asp", MisbehavingServer::answer(served(server, {"A"})));
    server.when("/files/", MisbehavingServer::answer(QByteArray(300 * 1024, 'a')));
    server.when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));
    // Files of the tool may not grow past 64 KiB, as on a full disk.
    m_childSetup = [] {
        struct rlimit limit = {64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
    const Run result = run({"fetch", m_profile, "--json"});
    QCOMPARE(result.status, 1);
    const QJsonObject job = result.jobs().at(0).toObject();
    QCOMPARE(job.value("downloaded").toBool(), false);
    QVERIFY2(job.value("error").toString().contains(QLatin1String("could not be written")),
             qPrintable(job.value("error").toString()));
    QVERIFY(result.err.contains(QLatin1String("Failed 1 A: ")));
    QCOMPARE(QDir(m_folder->path("Jobs/R1")).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(server.targets.filter("job_status_update.asp"), QStringList());
}

namespace {

// What the running tool has written so far, without taking it.
QString written(QProcess &process, QProcess::ProcessChannel channel)
{
    process.setReadChannel(channel);
    return QString::fromUtf8(process.peek(1 << 20));
}

} // namespace

void tst_Cli::watchCountsDownAndPolls_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("countdown"); // before the first check
    QTest::newRow("first check after a poll interval")
        << QStringList()
        << QStringList{"1 Minutes Remaining Until Next Poll",
                       "0 Minutes Remaining Until Next Poll"};
    QTest::newRow("--now: first check at start") << QStringList{"--now"} << QStringList();
}

void tst_Cli::watchCountsDownAndPolls()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, countdown);
    MisbehavingServer server;
    pointProfileAt(server.base(), 2);
    auto once = MisbehavingServer::answer(served(server, {"A"}));
    once.times = 1;
    server.when("job_index.asp", once);
    server.when("job_index.asp", MisbehavingServer::answer("<jobs/>"));
    server.when("/files/", MisbehavingServer::answer("RIFF-one"));
    server.when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));

    // After the second poll's countdown has begun: stop.
    m_whileRunning = [](QProcess &process) {
        if (written(process, QProcess::StandardOutput).count("Checking for jobs") < 2 ||
            !written(process, QProcess::StandardOutput)
                 .endsWith(QLatin1String("1 Minutes Remaining Until Next Poll\n")))
            return false;
        process.terminate();
        return true;
    };
    const Run result = run(QStringList{"watch", m_profile} + options);
    QCOMPARE(result.status, 0);
    QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
    for (QString &line : lines) {
        // The poll's time of day varies.
        if (line.endsWith(QLatin1String(" Checking for jobs")))
            line = QStringLiteral("Checking for jobs");
    }
    const QStringList expected =
        QStringList{"Watching for jobs of Ann Smith: a check every 3 minutes."} + countdown +
        QStringList{"Checking for jobs",
                    "1 jobs listed",
                    "1 of 1 jobs received, 0 failed, 1 confirmed.",
                    "1 Minutes Remaining Until Next Poll",
                    "0 Minutes Remaining Until Next Poll",
                    "Checking for jobs",
                    "0 jobs listed",
                    "1 Minutes Remaining Until Next Poll"};
    QCOMPARE(lines, expected);
    QVERIFY(result.err.contains(QLatin1String("Stopped.")));
    QCOMPARE(readAll(m_folder->path("Jobs/R1/A.wav")), QByteArray("RIFF-one"));
    // The poll's messages are not shown.
    QVERIFY(!result.err.contains(QLatin1String("All jobs have been updated")));
}

void tst_Cli::watchEndsAfterTheRunningJob()
{
    MisbehavingServer server;
    pointProfileAt(server.base(), 0);
    server.when("job_index.asp", MisbehavingServer::answer(served(server, {"A", "B"})));
    server.when("/files/1.wav", MisbehavingServer::of(MisbehavingServer::Kind::Stall));
    server.when("/files/", MisbehavingServer::answer("RIFF-two"));
    server.when("job_status_update.asp", MisbehavingServer::answer("Update Sucessful"));

    // The signal comes while job 1 runs; job 1 is answered only once the
    // tool has said that it stops after it.
    int stage = 0;
    m_whileRunning = [&](QProcess &process) {
        if (stage == 0 && server.targets.contains(QStringLiteral("/files/1.wav"))) {
            process.terminate();
            stage = 1;
        }
        if (stage == 1 && written(process, QProcess::StandardError)
                              .contains(QLatin1String("Stopping after the running job"))) {
            server.releaseStalled("RIFF-one");
            return true;
        }
        return false;
    };
    const Run result = run({"watch", m_profile});
    QCOMPARE(result.status, 0);
    QVERIFY(result.err.contains(QLatin1String("Stopped.")));
    QCOMPARE(readAll(m_folder->path("Jobs/R1/A.wav")), QByteArray("RIFF-one"));
    QVERIFY(!server.targets.contains(QStringLiteral("/files/2.wav")));
    QCOMPARE(server.targets.filter(QStringLiteral("job_status_update.asp")).size(), 1);
    QVERIFY(
        server.targets.filter(QStringLiteral("job_status_update.asp")).first().contains("ID=1&"));
}

void tst_Cli::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList();
    QTest::newRow("unknown command") << QStringList{"send", "Ann Smith"};
    QTest::newRow("no profile") << QStringList{"profile"};
    QTest::newRow("surplus argument") << QStringList{"profile", "Ann Smith", "more"};
    QTest::newRow("unknown option") << QStringList{"list", "Ann Smith", "--index", "x", "--all"};
    QTest::newRow("index without file") << QStringList{"list", "Ann Smith", "--index"};
    QTest::newRow("profile takes no json") << QStringList{"profile", "Ann Smith", "--json"};
    QTest::newRow("watch takes no json") << QStringList{"watch", "Ann Smith", "--json"};
    QTest::newRow("fetch takes no index") << QStringList{"fetch", "Ann Smith", "--index", "x"};
    QTest::newRow("index file missing")
        << QStringList{"list", "Ann Smith", "--index", "/nonexistent/i.xml"};
}

void tst_Cli::badArguments()
{
    QFETCH(QStringList, arguments);
    const Run result = run(arguments);
    QCOMPARE(result.status, 2);
    QVERIFY(!result.err.isEmpty());
    QCOMPARE(result.out, QString());
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
