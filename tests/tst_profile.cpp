#include "TestSupport.h"

#include "platform/Paths.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString loadError = QStringLiteral("Error Loding User Profile");

QByteArray profileXml(const QByteArray &extra = QByteArray(), const QByteArray &skip = QByteArray())
{
    QList<QByteArray> lines = {
        "<first_name>Ann</first_name>",
        "<last_name>Lee</last_name>",
        "<department>Typing</department>",
        "<guid>G-1</guid>",
        "<login>ann</login>",
        "<password>pw</password>",
        "<sunday>true</sunday>",
        "<monday>False</monday>",
        "<tuesday>1</tuesday>",
        "<wednesday>0</wednesday>",
        "<thursday>TRUE</thursday>",
        "<friday>-1</friday>",
        "<saturday>false</saturday>",
        "<download_folder>C:\\Jobs</download_folder>",
        "<pollinterval>30</pollinterval>",
        "<base_url>https://example.test/remote_tools/</base_url>",
    };
    QByteArray xml = "<profile>\n";
    for (const QByteArray &line : lines) {
        if (!skip.isEmpty() && line.startsWith("<" + skip + ">"))
            continue;
        xml += "  " + line + "\n";
    }
    return xml + extra + "</profile>";
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

    // File format
    void newProfileFileNameAndExactText();
    void dayLinesAreFixed();
    void noRulesEndsAfterBaseUrl();
    void roundTripOfAwkwardText();

    // Reading tolerance
    void readerAcceptsVariations();
    void dayFlagValues_data();
    void dayFlagValues();

    // Rule list
    void ruleList_data();
    void ruleList();
    void secondLoadReplacesRules();
    void failedSecondLoadKeepsRules();

    // Failures
    void missingPollIntervalLeavesPartialRecord();
    void unreadableFilesFailAtFirstField_data();
    void unreadableFilesFailAtFirstField();
    void emptyPathChangesNothing();
    void dayNumbersOutsideTheWeek();

    // Saving safely
    void loadedProfileKeepsItsFile();
    void saveIntoMissingFolderFails();
    void newProfileNeverOverwrites();
    void namesThatCannotBeFileNames_data();
    void namesThatCannotBeFileNames();
    void failedSaveLeavesOldFileIntact();
    void shortWriteLeavesOldFileIntact();
    void fileIsOwnerOnly();
    void deleteProfile();

    // Profiles folder
    void profilesFolderFallsBack();

private:
    std::unique_ptr<TestFolder> folder;
    RecordingMessageSink messages;
};

void tst_Profile::newProfileFileNameAndExactText()
{
    Profile profile(messages);
    profile.gFirstName = QStringLiteral("Ann");
    profile.gLastName = QStringLiteral("Lee");
    profile.gDepartment = QStringLiteral("Cardiology");
    profile.gGUID = QStringLiteral("ABCDE-12345");
    profile.gLogin = QStringLiteral("alee");
    profile.gPassword = QStringLiteral("secret");
    profile.gStrDownloadFolder = QStringLiteral("C:\\Jobs");
    profile.gStrBaseURL = QStringLiteral("https://jobs.example.test/remote_tools/");
    profile.gLngPollInterval = 15;
    profile.colDownloadRules = {QStringLiteral("Job Name"), QStringLiteral("_"),
                                QStringLiteral("Open Date/Time (yyyymmdd)")};

    QVERIFY(profile.SaveProfileToXML(QString()));
    QVERIFY(profile.gStrProfilePath.isEmpty());
    const QString path = folder->profile(QStringLiteral("Ann Lee.xml"));
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));

    const QByteArray expected = "<profile>\r\n"
                                " <first_name>Ann</first_name>\r\n"
                                " <last_name>Lee</last_name>\r\n"
                                " <department>Cardiology</department>\r\n"
                                " <guid>ABCDE-12345</guid>\r\n"
                                " <login>alee</login>\r\n"
                                " <password>secret</password>\r\n"
                                " <sunday>False</sunday>\r\n"
                                " <monday>True</monday>\r\n"
                                " <tuesday>True</tuesday>\r\n"
                                " <wednesday>True</wednesday>\r\n"
                                " <thursday>True</thursday>\r\n"
                                " <friday>True</friday>\r\n"
                                " <saturday>False</saturday>\r\n"
                                " <download_folder>C:\\Jobs</download_folder>\r\n"
                                " <pollinterval>15</pollinterval>\r\n"
                                " <base_url>https://jobs.example.test/remote_tools/</base_url>\r\n"
                                " <download_rule_1>Job Name</download_rule_1>\r\n"
                                " <download_rule_2>_</download_rule_2>\r\n"
                                " <download_rule_3>Open Date/Time (yyyymmdd)</download_rule_3>\r\n"
                                "</profile>";
    QCOMPARE(readAll(path), expected);

    Profile loaded(messages);
    loaded.LoadProfileFromXMLFile(path);
    QVERIFY(messages.messages.isEmpty());
    QCOMPARE(loaded.colDownloadRules, profile.colDownloadRules);
    QCOMPARE(loaded.gLngPollInterval, 15);
    QCOMPARE(loaded.gStrProfilePath, path);
}

void tst_Profile::dayLinesAreFixed()
{
    Profile profile(messages);
    profile.gFirstName = QStringLiteral("Day");
    profile.gLastName = QStringLiteral("Flags");
    profile.gSunday = true;
    profile.gSaturday = true; // Monday to Friday left false
    const QString path = folder->path(QStringLiteral("days.xml"));
    QVERIFY(profile.SaveProfileToXML(path));
    const QByteArray text = readAll(path);
    QVERIFY(text.contains(" <sunday>False</sunday>\r\n"));
    QVERIFY(text.contains(" <saturday>False</saturday>\r\n"));
    for (const char *day : {"monday", "tuesday", "wednesday", "thursday", "friday"})
        QVERIFY(text.contains(QByteArray(" <") + day + ">True</" + day + ">\r\n"));

    Profile loaded(messages);
    loaded.LoadProfileFromXMLFile(path);
    for (quint8 day = 1; day <= 7; ++day)
        QCOMPARE(loaded.DayOfWeekChecked(day), day >= 2 && day <= 6);
}

void tst_Profile::noRulesEndsAfterBaseUrl()
{
    Profile profile(messages);
    profile.gLngPollInterval = -5;
    profile.gStrBaseURL = QStringLiteral("u");
    const QByteArray text = profile.ProfileFileText().toUtf8();
    QVERIFY(text.endsWith(" <base_url>u</base_url>\r\n</profile>"));
    QVERIFY(text.contains(" <pollinterval>-5</pollinterval>\r\n"));
}

void tst_Profile::roundTripOfAwkwardText()
{
    const QString awkward = QStringLiteral("  R&D <x> \"q\" 'a' Zoë 東京 &amp; ");
    Profile profile(messages);
    QString Profile::*fields[] = {&Profile::gFirstName,
                                  &Profile::gLastName,
                                  &Profile::gDepartment,
                                  &Profile::gGUID,
                                  &Profile::gLogin,
                                  &Profile::gPassword,
                                  &Profile::gStrDownloadFolder,
                                  &Profile::gStrBaseURL};
    for (auto field : fields)
        profile.*field = awkward;
    profile.colDownloadRules = {awkward, QStringLiteral("Job Name")};
    const QString path = folder->path(QStringLiteral("awkward.xml"));
    QVERIFY(profile.SaveProfileToXML(path));
    QVERIFY(readAll(path).contains(" <department>  R&amp;D &lt;x&gt; \"q\" 'a' Zo"));

    Profile loaded(messages);
    QVERIFY(loaded.LoadProfileFromXMLFile(path));
    QVERIFY(messages.messages.isEmpty());
    for (auto field : fields)
        QCOMPARE(loaded.*field, awkward);
    QCOMPARE(loaded.colDownloadRules, profile.colDownloadRules);
}

void tst_Profile::readerAcceptsVariations()
{
    // Another element order, no indentation, LF line ends, the profile below
    // a root of its own, and a second first_name that is not read.
    const QByteArray xml = "<?xml version=\"1.0\"?><root><other/><profile>"
                           "<base_url>B</base_url><pollinterval> 45 </pollinterval>"
                           "<first_name>Ann</first_name><first_name>Other</first_name>"
                           "<last_name>Lee</last_name><department>R&amp;D</department>"
                           "<guid>G</guid><login>L</login><password>P</password>"
                           "<saturday>1</saturday><friday>0</friday><thursday>0</thursday>"
                           "<wednesday>0</wednesday><tuesday>0</tuesday><monday>0</monday>"
                           "<sunday>0</sunday><download_folder>D</download_folder>"
                           "<download_rule_2>Reference</download_rule_2>"
                           "<download_rule_1>Job Name</download_rule_1>\n"
                           "</profile></root>";
    const QString path = folder->path(QStringLiteral("variant.xml"));
    QVERIFY(writeFile(path, xml));
    Profile profile(messages);
    QVERIFY(profile.LoadProfileFromXMLFile(path));
    QVERIFY(messages.messages.isEmpty());
    QCOMPARE(profile.gFirstName, QStringLiteral("Ann"));
    QCOMPARE(profile.gDepartment, QStringLiteral("R&D"));
    QCOMPARE(profile.gLngPollInterval, 45);
    QCOMPARE(profile.gStrBaseURL, QStringLiteral("B"));
    QVERIFY(profile.gSaturday);
    QVERIFY(!profile.gMonday);
    QCOMPARE(profile.colDownloadRules,
             QStringList({QStringLiteral("Job Name"), QStringLiteral("Reference")}));
}

void tst_Profile::dayFlagValues_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("expected");
    QTest::newRow("True") << QByteArray("True") << true << true;
    QTest::newRow("tRuE") << QByteArray("tRuE") << true << true;
    QTest::newRow("FALSE") << QByteArray("FALSE") << true << false;
    QTest::newRow("number 7") << QByteArray("7") << true << true;
    QTest::newRow("number 0") << QByteArray("0") << true << false;
    QTest::newRow("empty fails") << QByteArray("") << false << false;
    QTest::newRow("word fails") << QByteArray("sometimes") << false << false;
}

void tst_Profile::dayFlagValues()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(bool, expected);
    QByteArray xml = profileXml("<wednesday>" + text + "</wednesday>", "wednesday");
    const QString path = folder->path(QStringLiteral("day.xml"));
    QVERIFY(writeFile(path, xml));
    Profile profile(messages);
    QCOMPARE(profile.LoadProfileFromXMLFile(path), ok);
    QCOMPARE(messages.texts(), ok ? QStringList() : QStringList{loadError});
    if (ok)
        QCOMPARE(profile.gWednesday, expected);
    else
        QVERIFY(profile.gStrDownloadFolder.isEmpty()); // fields after the failure not read
}

void tst_Profile::ruleList_data()
{
    QTest::addColumn<QByteArray>("rules");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("three in order")
        << QByteArray("<download_rule_1>A</download_rule_1><download_rule_2>B</download_rule_2>"
                      "<download_rule_3>C</download_rule_3>")
        << QStringList{"A", "B", "C"};
    QTest::newRow("gap after two ends the list")
        << QByteArray("<download_rule_1>A</download_rule_1><download_rule_2>B</download_rule_2>"
                      "<download_rule_4>D</download_rule_4>")
        << QStringList{"A", "B"};
    QTest::newRow("empty second rule is kept and ends the list")
        << QByteArray("<download_rule_1>A</download_rule_1><download_rule_2></download_rule_2>"
                      "<download_rule_3>C</download_rule_3>")
        << QStringList{"A", ""};
    QTest::newRow("leading zero is not rule 1")
        << QByteArray("<download_rule_01>A</download_rule_01>") << QStringList{};
    QTest::newRow("none") << QByteArray() << QStringList{};
}

void tst_Profile::ruleList()
{
    QFETCH(QByteArray, rules);
    QFETCH(QStringList, expected);
    const QString path = folder->path(QStringLiteral("rules.xml"));
    QVERIFY(writeFile(path, profileXml(rules)));
    Profile profile(messages);
    QVERIFY(profile.LoadProfileFromXMLFile(path));
    QVERIFY(messages.messages.isEmpty());
    QCOMPARE(profile.colDownloadRules, expected);
}

void tst_Profile::secondLoadReplacesRules()
{
    const QString first = folder->path(QStringLiteral("1.xml"));
    const QString second = folder->path(QStringLiteral("2.xml"));
    QVERIFY(writeFile(first, profileXml("<download_rule_1>A</download_rule_1>"
                                        "<download_rule_2>B</download_rule_2>")));
    QVERIFY(writeFile(second, profileXml("<download_rule_1>Z</download_rule_1>")));
    Profile profile(messages);
    profile.LoadProfileFromXMLFile(first);
    profile.LoadProfileFromXMLFile(second);
    QCOMPARE(profile.colDownloadRules, QStringList{"Z"});
    QCOMPARE(profile.gStrProfilePath, second);
}

void tst_Profile::failedSecondLoadKeepsRules()
{
    const QString first = folder->path(QStringLiteral("1.xml"));
    const QString second = folder->path(QStringLiteral("2.xml"));
    QVERIFY(writeFile(first, profileXml("<download_rule_1>A</download_rule_1>")));
    QVERIFY(writeFile(second, profileXml("<download_rule_1>Z</download_rule_1>", "base_url")));
    Profile profile(messages);
    profile.LoadProfileFromXMLFile(first);
    QVERIFY(!profile.LoadProfileFromXMLFile(second));
    QCOMPARE(profile.colDownloadRules, QStringList{"A"});
    QCOMPARE(messages.texts(), QStringList{loadError});
}

void tst_Profile::missingPollIntervalLeavesPartialRecord()
{
    const QString path = folder->path(QStringLiteral("nopoll.xml"));
    QVERIFY(writeFile(path, profileXml("<download_rule_1>A</download_rule_1>", "pollinterval")));
    Profile profile(messages);
    QVERIFY(!profile.LoadProfileFromXMLFile(path));
    QCOMPARE(messages.messages.size(), 1);
    const Message &message = messages.messages.first();
    QCOMPARE(message.text, loadError);
    QCOMPARE(message.title, QStringLiteral("Error"));
    QCOMPARE(message.icon, MessageIcon::Critical);
    QCOMPARE(profile.gFirstName, QStringLiteral("Ann"));
    QCOMPARE(profile.gPassword, QStringLiteral("pw"));
    QVERIFY(profile.gSunday);
    QVERIFY(profile.gFriday);
    QCOMPARE(profile.gStrDownloadFolder, QStringLiteral("C:\\Jobs"));
    QCOMPARE(profile.gStrBaseURL, QStringLiteral("https://example.test/remote_tools/"));
    QCOMPARE(profile.gLngPollInterval, 0);
    QVERIFY(profile.colDownloadRules.isEmpty());
}

void tst_Profile::unreadableFilesFailAtFirstField_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("create");
    QTest::newRow("missing file") << QByteArray() << false;
    QTest::newRow("plain text") << QByteArray("just some notes\n") << true;
    QTest::newRow("not well-formed") << profileXml().replace("</guid>", "</gu>") << true;
    QTest::newRow("no profile element") << QByteArray("<settings><a/></settings>") << true;
    QTest::newRow("empty file") << QByteArray() << true;
    QTest::newRow("entity bomb")
        << QByteArray("<!DOCTYPE p [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;"
                      "&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;"
                      "&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;"
                      "\"><!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">]><profile><first_name>"
                      "&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;</first_name></profile>")
        << true;
    QTest::newRow("60,000 nested elements")
        << profileXml().replace("Typing", QByteArray("<a>").repeated(60000) +
                                              QByteArray("</a>").repeated(60000))
        << true;
    QTest::newRow("larger than 4 MiB") << profileXml() + QByteArray(4 << 20, ' ') << true;
}

void tst_Profile::unreadableFilesFailAtFirstField()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, create);
    const QString path = folder->path(QStringLiteral("bad.xml"));
    if (create)
        QVERIFY(writeFile(path, content));
    Profile profile(messages);
    profile.gFirstName = QStringLiteral("before");
    profile.colDownloadRules = {QStringLiteral("keep")};
    QVERIFY(!profile.LoadProfileFromXMLFile(path));
    QCOMPARE(messages.texts(), QStringList{loadError});
    QCOMPARE(profile.gStrProfilePath, path);
    QCOMPARE(profile.gFirstName, QStringLiteral("before"));
    QCOMPARE(profile.colDownloadRules, QStringList{"keep"});
}

void tst_Profile::emptyPathChangesNothing()
{
    Profile profile(messages);
    profile.gFirstName = QStringLiteral("kept");
    profile.LoadProfileFromXMLFile(QString());
    QVERIFY(messages.messages.isEmpty());
    QVERIFY(profile.gStrProfilePath.isEmpty());
    QCOMPARE(profile.gFirstName, QStringLiteral("kept"));
}

void tst_Profile::dayNumbersOutsideTheWeek()
{
    Profile profile(messages);
    for (quint8 day = 1; day <= 7; ++day)
        profile.SetDayOfWeekSchedule(day, true);
    QVERIFY(!profile.DayOfWeekChecked(0));
    QVERIFY(!profile.DayOfWeekChecked(8));
    QVERIFY(profile.DayOfWeekChecked(1) && profile.gSunday);
    QVERIFY(profile.DayOfWeekChecked(7) && profile.gSaturday);
    Profile other(messages);
    other.SetDayOfWeekSchedule(8, true);
    other.SetDayOfWeekSchedule(0, true);
    for (quint8 day = 0; day <= 8; ++day)
        QVERIFY(!other.DayOfWeekChecked(day));
}

void tst_Profile::loadedProfileKeepsItsFile()
{
    QDir().mkpath(folder->profiles());
    const QString old = folder->profile(QStringLiteral("Old Name.xml"));
    QVERIFY(writeFile(old, profileXml()));
    Profile profile(messages);
    profile.LoadProfileFromXMLFile(old);
    profile.gFirstName = QStringLiteral("Ann");
    profile.gLastName = QStringLiteral("Lee");
    profile.gDepartment = QStringLiteral("Renamed");
    QVERIFY(profile.SaveProfileToXML(profile.gStrProfilePath));
    QVERIFY(!QFileInfo::exists(folder->profile(QStringLiteral("Ann Lee.xml"))));
    QVERIFY(readAll(old).contains("<department>Renamed</department>"));
}

void tst_Profile::saveIntoMissingFolderFails()
{
    Profile profile(messages);
    const QString path = folder->path(QStringLiteral("missing/sub/p.xml"));
    QVERIFY(!profile.SaveProfileToXML(path));
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(!QFileInfo::exists(folder->path(QStringLiteral("missing"))));
}

void tst_Profile::newProfileNeverOverwrites()
{
    QDir().mkpath(folder->profiles());
    const QString existing = folder->profile(QStringLiteral("Ann Lee.xml"));
    QVERIFY(writeFile(existing, "someone else's profile"));
    Profile profile(messages);
    profile.gFirstName = QStringLiteral("Ann");
    profile.gLastName = QStringLiteral("Lee");
    QVERIFY(!profile.SaveProfileToXML(QString()));
    QCOMPARE(readAll(existing), QByteArray("someone else's profile"));
    // Saving to the file it was loaded from is an update, not a new profile.
    QVERIFY(profile.SaveProfileToXML(existing));
}

void tst_Profile::namesThatCannotBeFileNames_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::newRow("slash") << "a/b"
                           << "Lee";
    QTest::newRow("up and out") << "../../x"
                                << "Lee";
    QTest::newRow("backslash") << "Ann"
                               << "L\\ee";
    QTest::newRow("colon") << "Ann"
                           << "Lee:1";
    QTest::newRow("star") << "A*"
                          << "Lee";
    QTest::newRow("question") << "Ann?"
                              << "Lee";
    QTest::newRow("quote") << "\"Ann\""
                           << "Lee";
    QTest::newRow("angle") << "<Ann>"
                           << "Lee";
    QTest::newRow("pipe") << "Ann"
                          << "|Lee";
    QTest::newRow("tab") << "Ann\t"
                         << "Lee";
}

void tst_Profile::namesThatCannotBeFileNames()
{
    QFETCH(QString, first);
    QFETCH(QString, last);
    Profile profile(messages);
    profile.gFirstName = first;
    profile.gLastName = last;
    QVERIFY(!profile.SaveProfileToXML(QString()));
    // Nothing was written anywhere, inside the Profiles folder or outside it.
    QDir root(folder->path());
    QStringList everything = root.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    everything.removeAll(QStringLiteral("Profiles"));
    QCOMPARE(everything, QStringList());
    QVERIFY(QDir(folder->profiles()).isEmpty());
}

void tst_Profile::failedSaveLeavesOldFileIntact()
{
    const QString path = folder->path(QStringLiteral("p.xml"));
    QVERIFY(writeFile(path, profileXml()));
    const QByteArray before = readAll(path);
    Profile profile(messages);
    profile.LoadProfileFromXMLFile(path);
    profile.gPassword = QStringLiteral("bad\x01value"); // no XML file can hold U+0001
    QVERIFY(!profile.SaveProfileToXML(path));
    QCOMPARE(readAll(path), before);
    QCOMPARE(QDir(folder->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"p.xml"});
}

void tst_Profile::shortWriteLeavesOldFileIntact()
{
    // A child process whose file-size limit is smaller than the new profile
    // gets a short write, as on a full disk.
    const QString path = folder->path(QStringLiteral("p.xml"));
    QVERIFY(writeFile(path, profileXml()));
    const QByteArray before = readAll(path);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        Profile profile(messages);
        profile.LoadProfileFromXMLFile(path);
        profile.gDepartment = QString(100000, QLatin1Char('x'));
        _exit(profile.SaveProfileToXML(path) ? 1 : 0);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the save should have failed");
    QCOMPARE(readAll(path), before);
    QCOMPARE(QDir(folder->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"p.xml"});
}

void tst_Profile::fileIsOwnerOnly()
{
    Profile profile(messages);
    profile.gFirstName = QStringLiteral("Ann");
    profile.gLastName = QStringLiteral("Lee");
    QVERIFY(profile.SaveProfileToXML(QString()));
    const QFileInfo info(folder->profile(QStringLiteral("Ann Lee.xml")));
    QCOMPARE(info.permissions() & ~(QFile::ReadUser | QFile::WriteUser),
             QFile::ReadOwner | QFile::WriteOwner);
    // Replacing it keeps it private.
    QVERIFY(profile.SaveProfileToXML(info.filePath()));
    QCOMPARE(QFileInfo(info.filePath()).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
             QFile::ReadOwner | QFile::WriteOwner);
}

void tst_Profile::deleteProfile()
{
    Profile never(messages);
    QVERIFY(!never.DeleteProfile());

    const QString path = folder->path(QStringLiteral("p.xml"));
    QVERIFY(writeFile(path, profileXml()));
    Profile profile(messages);
    profile.LoadProfileFromXMLFile(path);
    QVERIFY(profile.DeleteProfile());
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(profile.gFirstName, QStringLiteral("Ann")); // the record is unchanged
    QVERIFY(!profile.DeleteProfile());                   // gone meanwhile
}

void tst_Profile::profilesFolderFallsBack()
{
    const QString blocked = folder->path(QStringLiteral("exe"));
    QVERIFY(QDir().mkpath(blocked));
    QVERIFY(writeFile(blocked + QStringLiteral("/Profiles"), "a file where the folder belongs"));
    const QString fallback = folder->path(QStringLiteral("appdata/Profiles"));
    QCOMPARE(Paths::chooseProfilesFolder(blocked + QStringLiteral("/Profiles"), fallback),
             fallback);
    QVERIFY(QFileInfo(fallback).isDir());

    const QString fresh = folder->path(QStringLiteral("exe2/Profiles"));
    QCOMPARE(Paths::chooseProfilesFolder(fresh, fallback), fresh);
    QVERIFY(QFileInfo(fresh).isDir());
}

QTEST_GUILESS_MAIN(tst_Profile)
#include "tst_profile.moc"
