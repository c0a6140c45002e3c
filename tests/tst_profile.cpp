#include "TestSupport.h"

#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTest>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// The days of the schedule, Sunday to Saturday, as 0 and 1.
QString days(const Profile &profile)
{
    QString text;
    for (quint8 day = 1; day <= 7; ++day)
        text += QLatin1Char(profile.DayOfWeekChecked(day) ? '1' : '0');
    return text;
}

QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> all;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        all.insert(path, readAll(path));
    }
    return all;
}

} // namespace

class tst_Profile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { folder.reset(); }
    void init()
    {
        folder.reset(new TestFolder);
        messages.clear();
    }

    void savedAsRead_data();
    void savedAsRead();
    void failedReading_data();
    void failedReading();
    void failedSave_data();
    void failedSave();

private:
    QString write(const QString &name, const QByteArray &text)
    {
        const QString path = folder->path(name);
        if (!writeFile(path, text))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    std::unique_ptr<TestFolder> folder;
    RecordingMessageSink messages;
};

void tst_Profile::savedAsRead_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("days"); // read, Sunday to Saturday
    QTest::addColumn<QByteArray>("saved");
    const auto same = [](const char *name, const Fields &fields, const QStringList &rules) {
        QTest::newRow(name) << profileFile(fields, rules) << "0111110"
                            << profileFile(fields, rules);
    };
    const auto tail = [](const char *name, const QByteArray &rules, const QStringList &read) {
        QTest::newRow(name) << profileFile({}, {}, rules) << "0111110" << profileFile({}, read);
    };
    const QString awkward = QStringLiteral("  R&D <x> 'a' Zo\u00eb \u6771\u4eac &amp; ");
    same("three rules", {}, {"Job Name", "_", "Open Date/Time (yyyymmdd)"});
    same("no rules, negative interval", {{"pollinterval", "-5"}}, {});
    Fields awkwardFields;
    for (const char *name :
         {"department", "guid", "login", "password", "download_folder", "base_url"})
        awkwardFields.insert(name, awkward);
    same("awkward text in every field but the names", awkwardFields, {awkward, "Job Name"});
    tail("gap after two ends the rule list",
         "<download_rule_1>A</download_rule_1><download_rule_2>B</download_rule_2>"
         "<download_rule_4>D</download_rule_4>",
         {"A", "B"});
    tail("empty second rule is kept and ends the list",
         "<download_rule_1>A</download_rule_1><download_rule_2></download_rule_2>"
         "<download_rule_3>C</download_rule_3>",
         {"A", ""});
    QTest::newRow("another order, no indentation, LF, below a root, a second first_name")
        << QByteArray("<?xml version=\"1.0\"?><root><other/><profile>"
                      "<base_url>https://example.test/remote_tools/</base_url>"
                      "<pollinterval> 15 </pollinterval><first_name>Ann</first_name>"
                      "<first_name>Other</first_name><last_name>Lee</last_name>"
                      "<department>Typing</department><guid>G-1</guid><login>ann</login>"
                      "<password>pw</password><saturday>1</saturday><friday>0</friday>"
                      "<thursday>0</thursday><wednesday>0</wednesday><tuesday>0</tuesday>"
                      "<monday>0</monday><sunday>0</sunday><download_folder>C:\\Jobs"
                      "</download_folder><download_rule_2>Reference</download_rule_2>"
                      "<download_rule_1>Job Name</download_rule_1>\n</profile></root>")
        << "0000001" << profileFile({}, {"Job Name", "Reference"});
}

void tst_Profile::savedAsRead()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, days);
    QFETCH(QByteArray, saved);
    // Read over another profile: the other's rules go.
    Profile profile(messages);
    QVERIFY(profile.LoadProfileFromXMLFile(write("old.xml", profileFile({}, {"old rule"}))));
    const QString path = write("in.xml", content);
    QVERIFY(profile.LoadProfileFromXMLFile(path));
    QVERIFY(messages.messages.isEmpty());
    // Day numbers outside 1 (Sunday) to 7 (Saturday) set and read nothing; the days stay as read.
    profile.SetDayOfWeekSchedule(0, true);
    profile.SetDayOfWeekSchedule(8, true);
    QCOMPARE(::days(profile), days);
    QVERIFY(!profile.DayOfWeekChecked(0) && !profile.DayOfWeekChecked(8));

    // The day lines are always written as Monday to Friday, whatever the flags.
    profile.gSunday = profile.gSaturday = true;
    profile.gMonday = false;
    // A new file named after the profile, then the same file replaced: the
    // text as read, readable by its owner only.
    const QString file = folder->profile(QStringLiteral("Ann Lee.xml"));
    for (const QString &target : {QString(), file}) {
        QVERIFY(profile.SaveProfileToXML(target));
        QCOMPARE(readAll(file), saved);
#ifndef Q_OS_WIN // where the folder's access list decides
        QCOMPARE(QFileInfo(file).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
#endif
    }
    // Deleting takes the file read; then, as for a profile never loaded or
    // saved, there is nothing to delete.
    QVERIFY(profile.DeleteProfile());
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(!profile.DeleteProfile() && !Profile(messages).DeleteProfile());
}

void tst_Profile::failedReading_data()
{
    QTest::addColumn<QString>("kind"); // of the file: "file", "none" or "fifo"
    QTest::addColumn<QByteArray>("content");
    // What was read before the failure: 0 nothing, 1 the names and the days
    // before the failing one, 2 the download folder too, 3 the base URL too.
    QTest::addColumn<int>("read");
    const auto add = [](const char *name, const QByteArray &content, int read = 0,
                        const QString &kind = QStringLiteral("file")) {
        QTest::newRow(name) << kind << content << read;
    };
    const auto broken = [](Fields fields) {
        fields.insert("sunday", "1");
        return profileFile(fields, {"Z"});
    };
    add("day that is no Boolean", broken({{"wednesday", "sometimes"}}), 1);
    add("missing base URL", broken({{"base_url", "-"}}), 2);
    add("missing poll interval", broken({{"pollinterval", "-"}}), 3);
    add("poll interval out of range", broken({{"pollinterval", "2147483648"}}), 3);
    add("missing file", {}, 0, "none");
    add("FIFO", {}, 0, "fifo");
    add("not well-formed", profileFile().replace("</guid>", "</gu>"));
    add("no profile element", "<settings><a/></settings>");
    add("entity bomb",
        "<!DOCTYPE p [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
        "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;"
        "&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\"><!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;"
        "&e;&e;&e;\">]><profile><first_name>&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;</first_name></profile>");
    add("60,000 levels", profileFile().replace("Typing", QByteArray("<a>").repeated(60000) +
                                                             QByteArray("</a>").repeated(60000)));
    add("larger than 4 MiB", profileFile() + QByteArray(4 << 20, ' '));
}

void tst_Profile::failedReading()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(int, read);
    Profile profile(messages);
    QVERIFY(profile.LoadProfileFromXMLFile(write("1.xml", profileFile({{"first_name", "Bo"},
                                                                       {"download_folder", "D1"},
                                                                       {"base_url", "B1"},
                                                                       {"pollinterval", "30"}},
                                                                      {"A"}))));
    const QString path = folder->path("2.xml");
    if (kind == "file")
        write("2.xml", content);
    else if (kind == "fifo") {
#ifdef Q_OS_WIN
        QSKIP("Windows has no FIFOs in folders");
#else
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
    }

    QVERIFY(!profile.LoadProfileFromXMLFile(path));
    QCOMPARE(messages.texts(), QStringList{"Error Loding User Profile"});
    // Under it, the file and the reason.
    QCOMPARE(messages.messages.first().detail,
             QDir::toNativeSeparators(path) + ": " + profile.loadError());
    QVERIFY(!profile.loadError().isEmpty());
    QCOMPARE(profile.gStrProfilePath, path);
    // The fields before the failure are read, the ones after it are not.
    QCOMPARE(profile.gFirstName, read >= 1 ? "Ann" : "Bo");
    QCOMPARE(profile.gSunday, read >= 1);
    QCOMPARE(profile.gStrDownloadFolder, read >= 2 ? "C:\\Jobs" : "D1");
    QCOMPARE(profile.gStrBaseURL, read >= 3 ? "https://example.test/remote_tools/" : "B1");
    QCOMPARE(profile.gLngPollInterval, 30);
    QCOMPARE(profile.colDownloadRules, QStringList{"A"});
}

void tst_Profile::failedSave_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("target"); // below the test folder; empty: a new profile's file
    QTest::addColumn<QString>("password");
    const auto add = [](const char *name, const QString &first, const QString &target = {},
                        const QString &password = {}) {
        QTest::newRow(name) << first << target << password;
    };
    for (const char *name :
         {"../x", "L\\ee", "Lee:1", "A*", "Ann?", "\"Ann\"", "<Ann>", "|Lee", "Ann\t"})
        add(name, QString::fromUtf8(name));
    add("another profile's file", "Bo");
    add("missing folder", "Ann", "missing/sub/p.xml");
    add("a value no XML file can hold", "Ann", "p.xml", "bad\x01value");
    add("short write, as on a full disk", "Ann", "p.xml", QString(100000, QLatin1Char('x')));
}

void tst_Profile::failedSave()
{
    QFETCH(QString, first);
    QFETCH(QString, target);
    QFETCH(QString, password);
    write("p.xml", profileFile());
    QVERIFY(QDir().mkpath(folder->profiles()));
    QVERIFY(writeFile(folder->profile("Bo Lee.xml"), "someone else's profile"));
    const QMap<QString, QByteArray> before = snapshot(folder->path());

    Profile profile(messages);
    profile.gFirstName = first;
    profile.gLastName = QStringLiteral("Lee");
    profile.gPassword = password;
    const QString path = target.isEmpty() ? QString() : folder->path(target);
#ifdef Q_OS_WIN
    // The other rows fail before the size matters.
    if (QByteArray(QTest::currentDataTag()) == "short write, as on a full disk")
        QSKIP("Windows has no file-size limit per process");
    QVERIFY2(!profile.SaveProfileToXML(path), "the save should have failed");
#else
    // Saved by a child process that may write no more than 4 KiB to a file.
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(profile.SaveProfileToXML(path) ? 1 : 0);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the save should have failed");
#endif
    // No file written, replaced or left behind, and no folder made.
    QCOMPARE(snapshot(folder->path()), before);
}

QTEST_GUILESS_MAIN(tst_Profile)
#include "tst_profile.moc"
