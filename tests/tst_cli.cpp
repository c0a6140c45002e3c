#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

const QString invalidIndex =
    QStringLiteral("Page contained invalid XML data, please check your profile settings!");

QByteArray job(const char *id, const char *name, const char *path)
{
    return QByteArray("<job job_id=\"") + id + "\" job_name=\"" + name +
           "\" open_time=\"2003-12-31 23:59:59\" department_name=\"Cardiology\" dictator=\"Dr A\" "
           "reference=\"R1\" demographic_1=\"\" demographic_2=\"\" demographic_3=\"\" path=\"" +
           path + "\" priority=\"2\" dictator_first_name=\"Ann\" dictator_last_name=\"Smith\"/>";
}

} // namespace

class tst_Cli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void showsProfileWithoutPassword();
    void findsProfileByName();
    void listsJobsAsJson();
    void listsJobsAsText();
    void failedReadingListsEarlierJobs();
    void profileThatCannotBeLoaded();
    void listsJobsOfTheService();
    void failedCheckHidesThePassword();
    void badArguments_data();
    void badArguments();

private:
    Run run(const QStringList &arguments);
    QString writeProfile(const QString &folder);

    std::unique_ptr<TestFolder> m_folder;
    QString m_profile;
};

void tst_Cli::init()
{
    m_folder = std::make_unique<TestFolder>();
    QDir().mkpath(m_folder->profiles());
    m_profile = writeProfile(m_folder->profiles());
}

QString tst_Cli::writeProfile(const QString &folder)
{
    const QString downloads = m_folder->path("Jobs");
    const QByteArray text = "<profile>\r\n <first_name>Ann</first_name>\r\n"
                            " <last_name>Smith</last_name>\r\n <department>Typing</department>\r\n"
                            " <guid>G-1</guid>\r\n <login>ann</login>\r\n"
                            " <password>s3cr&amp;t</password>\r\n <sunday>False</sunday>\r\n"
                            " <monday>True</monday>\r\n <tuesday>True</tuesday>\r\n"
                            " <wednesday>True</wednesday>\r\n <thursday>True</thursday>\r\n"
                            " <friday>True</friday>\r\n <saturday>False</saturday>\r\n"
                            " <download_folder>" +
                            downloads.toUtf8() +
                            "</download_folder>\r\n <pollinterval>5</pollinterval>\r\n"
                            " <base_url>http://127.0.0.1:9/remote_tools/</base_url>\r\n"
                            " <download_rule_1>Reference</download_rule_1>\r\n"
                            " <download_rule_2>\\</download_rule_2>\r\n"
                            " <download_rule_3>Job Name</download_rule_3>\r\n</profile>";
    const QString path = folder + QStringLiteral("/Ann Smith.xml");
    if (!writeFile(path, text))
        qFatal("cannot write the test profile");
    return path;
}

Run tst_Cli::run(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUILLET_PROFILES_FOLDER"), m_folder->profiles());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUILLET_TRANSFER), arguments);
    Run result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.status = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void tst_Cli::showsProfileWithoutPassword()
{
    const Run result = run({"profile", m_profile});
    QCOMPARE(result.status, 0);
    QVERIFY(!result.out.contains(QLatin1String("s3cr")));
    QVERIFY(result.out.contains(QRegularExpression("Password:\\s+\\*\\*\\*\n")));
    QVERIFY(result.out.contains(QRegularExpression("Login:\\s+ann\n")));
    QVERIFY(result.out.contains(QLatin1String("1. Reference")));
    QVERIFY(result.out.contains(QLatin1String("3. Job Name")));
    QCOMPARE(result.err, QString());
}

void tst_Cli::findsProfileByName()
{
    const Run result = run({"profile", "Ann Smith"});
    QCOMPARE(result.status, 0);
    QVERIFY(result.out.contains(QLatin1String("Ann Smith.xml")));
}

void tst_Cli::listsJobsAsJson()
{
    const QString index = m_folder->path("index.xml");
    QVERIFY(writeFile(index, "<?xml version=\"1.0\"?><jobs><user_id>3</user_id>" +
                                 job("0042", "ABC", "https://jobs.example/f/42.wav") +
                                 job("43", "Re: notes?", "https://jobs.example/f/43.dss") +
                                 "</jobs>"));
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
}

void tst_Cli::listsJobsAsText()
{
    const QString index = m_folder->path("index.xml");
    QVERIFY(writeFile(index, "<jobs>" + job("7", "ABC", "https://jobs.example/7.wav") + "</jobs>"));
    const Run result = run({"list", m_profile, "--index", index});
    QCOMPARE(result.status, 0);
    const QStringList lines = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0).split(QLatin1Char('\t')).size(), 7);
    QCOMPARE(lines.at(1).split(QLatin1Char('\t')),
             (QStringList{"7", "2", "ABC", "R1", "2003-12-31T23:59:59",
                          "https://jobs.example/7.wav", m_folder->path("Jobs/R1/ABC.wav")}));
}

void tst_Cli::failedReadingListsEarlierJobs()
{
    const QString index = m_folder->path("index.xml");
    QVERIFY(writeFile(index, "<jobs>" + job("1", "A", "https://jobs.example/1.wav") +
                                 job("2", "B", "https://jobs/no-dot") +
                                 job("3", "C", "https://jobs.example/3.wav") + "</jobs>"));
    const Run result = run({"list", m_profile, "--index", index, "--json"});
    QCOMPARE(result.status, 1);
    QCOMPARE(result.err, "Error: " + invalidIndex + "\n");
    const QJsonObject document = QJsonDocument::fromJson(result.out.toUtf8()).object();
    const QJsonArray jobs = document.value("jobs").toArray();
    QCOMPARE(jobs.size(), 1);
    QCOMPARE(jobs.at(0).toObject().value("id").toString(), QStringLiteral("1"));
    const QJsonArray messages = document.value("messages").toArray();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.at(0).toObject().value("title").toString(), QStringLiteral("Error"));
    QCOMPARE(messages.at(0).toObject().value("text").toString(), invalidIndex);
}

void tst_Cli::profileThatCannotBeLoaded()
{
    QVERIFY(writeFile(m_folder->profile("Broken.xml"), "<profile><first_name>x</first_name>"));
    for (const QString &profile : {m_folder->profile("Broken.xml"), QStringLiteral("No Such")}) {
        const Run result = run({"profile", profile});
        QCOMPARE(result.status, 2);
        QCOMPARE(result.err, QStringLiteral("Error: Error Loding User Profile\n"));
    }
}

void tst_Cli::listsJobsOfTheService()
{
    const QString profile = m_folder->path("demo.xml");
    QProcess service;
    service.start(QStringLiteral(QUILLET_DEMO_SERVICE),
                  {"--port", "0", "--jobs", "5", "--profile-out", profile, "--download-folder",
                   m_folder->path("Demo Jobs")});
    QVERIFY(service.waitForReadyRead(20000));
    const QString banner = QString::fromUtf8(service.readLine());
    QVERIFY2(banner.contains(QLatin1String("http://127.0.0.1:")), qPrintable(banner));

    const Run result = run({"list", profile, "--json"});
    service.kill();
    service.waitForFinished();
    QCOMPARE(result.status, 0);
    QCOMPARE(result.err, QString());
    const QJsonArray jobs =
        QJsonDocument::fromJson(result.out.toUtf8()).object().value("jobs").toArray();
    QCOMPARE(jobs.size(), 5);
    for (const QJsonValue &job : jobs) {
        QVERIFY(job.toObject()
                    .value("source_url")
                    .toString()
                    .startsWith(banner.section(QLatin1Char(' '), 5, 5)));
        QVERIFY(job.toObject()
                    .value("destination")
                    .toString()
                    .startsWith(m_folder->path("Demo Jobs/")));
    }
}

void tst_Cli::failedCheckHidesThePassword()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    QByteArray text = readAll(m_profile);
    text.replace("http://127.0.0.1:9/", "http://127.0.0.1:" + QByteArray::number(port) + "/");
    QVERIFY(writeFile(m_profile, text));

    const Run result = run({"list", m_profile, "--json"});
    QCOMPARE(result.status, 1);
    QVERIFY(
        result.err.startsWith(QLatin1String("Error: The job index could not be retrieved from")));
    QVERIFY(result.err.contains(QLatin1String("&PW=***")));
    QVERIFY(!result.err.contains(QLatin1String("s3cr")));
    QVERIFY(!result.out.contains(QLatin1String("s3cr")));
    const QJsonObject document = QJsonDocument::fromJson(result.out.toUtf8()).object();
    QCOMPARE(document.value("jobs").toArray().size(), 0);
    QCOMPARE(document.value("messages").toArray().size(), 1);
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
