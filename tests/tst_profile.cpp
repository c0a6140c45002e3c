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

    void savedText_data();
    void savedText();
    void roundTripOfAwkwardText();
    void readerAcceptsVariations();
    void ruleList_data();
    void ruleList();
    void secondLoadReplacesRules();
    void failureStopsReadingThere_data();
    void failureStopsReadingThere();
    void unreadableFilesFailAtFirstField_data();
    void unreadableFilesFailAtFirstField();
    void emptyPathChangesNothing();
    void dayNumbersOutsideTheWeek();

    void saveIntoMissingFolderFails();
    void savingNeverTakesAnotherProfilesFile();
    void namesThatCannotBeFileNames_data();
    void namesThatCannotBeFileNames();
    void failedSaveLeavesOldFileIntact_data();
    void failedSaveLeavesOldFileIntact();
    void fileIsOwnerOnly();
    void deleteProfile();
    void profilesFolderFallsBack();

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

void tst_Profile::savedText_data()
{
    QTest::addColumn<QStringList>("rules");
    QTest::addColumn<int>("interval");
    QTest::newRow("three rules") << QStringList{"Job Name", "_", "Open Date/Time (yyyymmdd)"} << 15;
    QTest::newRow("no rules, negative interval") << QStringList() << -5;
}

void tst_Profile::savedText()
{
    QFETCH(QStringList, rules);
    QFETCH(int, interval);
    Profile profile(messages);
    profile.gFirstName = QStringLiteral("Ann");
    profile.gLastName = QStringLiteral("Lee");
    profile.gDepartment = QStringLiteral("Typing");
    profile.gGUID = QStringLiteral("G-1");
    profile.gLogin = QStringLiteral("ann");
    profile.gPassword = QStringLiteral("pw");
    profile.gStrDownloadFolder = QStringLiteral("C:\\Jobs");
    profile.gStrBaseURL = QStringLiteral("https://example.test/remote_tools/");
    profile.gLngPollInterval = interval;
    profile.colDownloadRules = rules;
    // The day lines are always written as Monday to Friday, whatever the flags.
    profile.gSunday = profile.gSaturday = true;
    profile.gMonday = false;

    QVERIFY(profile.SaveProfileToXML(QString()));
    QVERIFY(profile.gStrProfilePath.isEmpty());
    const QString path = folder->profile(QStringLiteral("Ann Lee.xml"));
    QCOMPARE(readAll(path), profileFile({{"pollinterval", QString::number(interval)}}, rules));

    Profile loaded(messages);
    QVERIFY(loaded.LoadProfileFromXMLFile(path));
    QVERIFY(messages.messages.isEmpty());
    QCOMPARE(loaded.colDownloadRules, rules);
    QCOMPARE(loaded.gLngPollInterval, interval);
    QCOMPARE(loaded.gStrProfilePath, path);
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
    Profile profile(messages);
    QVERIFY(profile.LoadProfileFromXMLFile(write("variant.xml", xml)));
    QVERIFY(messages.messages.isEmpty());
    QCOMPARE(profile.gFirstName, QStringLiteral("Ann"));
    QCOMPARE(profile.gDepartment, QStringLiteral("R&D"));
    QCOMPARE(profile.gLngPollInterval, 45);
    QVERIFY(profile.gSaturday && !profile.gMonday);
    QCOMPARE(profile.colDownloadRules, (QStringList{"Job Name", "Reference"}));
}

void tst_Profile::ruleList_data()
{
    QTest::addColumn<QByteArray>("rules");
    QTest::addColumn<QStringList>("expected");
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
}

void tst_Profile::ruleList()
{
    QFETCH(QByteArray, rules);
    QFETCH(QStringList, expected);
    Profile profile(messages);
    QVERIFY(profile.LoadProfileFromXMLFile(write("rules.xml", profileFile({}, {}, rules))));
    QVERIFY(messages.messages.isEmpty());
    QCOMPARE(profile.colDownloadRules, expected);
}

void tst_Profile::secondLoadReplacesRules()
{
    const QString second = write("2.xml", profileFile({}, {"Z"}));
    Profile profile(messages);
    profile.LoadProfileFromXMLFile(write("1.xml", profileFile({}, {"A", "B"})));
    profile.LoadProfileFromXMLFile(second);
    QCOMPARE(profile.colDownloadRules, QStringList{"Z"});
    QCOMPARE(profile.gStrProfilePath, second);
}

void tst_Profile::failureStopsReadingThere_data()
{
    QTest::addColumn<Fields>("broken");
    QTest::addColumn<bool>("folderRead");
    QTest::addColumn<bool>("urlRead");
    QTest::newRow("day that is no Boolean") << Fields{{"wednesday", "sometimes"}} << false << false;
    QTest::newRow("empty day") << Fields{{"friday", ""}} << false << false;
    QTest::newRow("missing base URL") << Fields{{"base_url", "-"}} << true << false;
    QTest::newRow("missing poll interval") << Fields{{"pollinterval", "-"}} << true << true;
    QTest::newRow("poll interval out of range")
        << Fields{{"pollinterval", "2147483648"}} << true << true;
}

void tst_Profile::failureStopsReadingThere()
{
    QFETCH(Fields, broken);
    QFETCH(bool, folderRead);
    QFETCH(bool, urlRead);
    Profile profile(messages);
    QVERIFY(profile.LoadProfileFromXMLFile(write("1.xml", profileFile({{"first_name", "Bo"},
                                                                       {"download_folder", "D1"},
                                                                       {"base_url", "B1"},
                                                                       {"pollinterval", "30"}},
                                                                      {"A"}))));
    Fields second = broken;
    second.insert("sunday", "1");
    QVERIFY(!profile.LoadProfileFromXMLFile(write("2.xml", profileFile(second, {"Z"}))));
    QCOMPARE(messages.messages.size(), 1);
    QCOMPARE(messages.messages.first().text, loadError);
    QCOMPARE(messages.messages.first().title, QStringLiteral("Error"));
    QCOMPARE(messages.messages.first().icon, MessageIcon::Critical);
    // The fields before the broken one are read, the ones after it are not.
    QCOMPARE(profile.gFirstName, QStringLiteral("Ann"));
    QVERIFY(profile.gSunday);
    QCOMPARE(profile.gStrDownloadFolder, folderRead ? QStringLiteral("C:\\Jobs") : "D1");
    QCOMPARE(profile.gStrBaseURL,
             urlRead ? QStringLiteral("https://example.test/remote_tools/") : "B1");
    QCOMPARE(profile.gLngPollInterval, 30);
    QCOMPARE(profile.colDownloadRules, QStringList{"A"});
}

void tst_Profile::unreadableFilesFailAtFirstField_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("create");
    QTest::newRow("missing file") << QByteArray() << false;
    QTest::newRow("plain text") << QByteArray("just some notes\n") << true;
    QTest::newRow("not well-formed") << profileFile().replace("</guid>", "</gu>") << true;
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
        << profileFile().replace("Typing", QByteArray("<a>").repeated(60000) +
                                               QByteArray("</a>").repeated(60000))
        << true;
    QTest::newRow("larger than 4 MiB") << profileFile() + QByteArray(4 << 20, ' ') << true;
}

void tst_Profile::unreadableFilesFailAtFirstField()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, create);
    const QString path = create ? write("bad.xml", content) : folder->path("bad.xml");
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
    profile.SetDayOfWeekSchedule(8, true);
    profile.SetDayOfWeekSchedule(0, true);
    for (quint8 day = 0; day <= 8; ++day)
        QVERIFY(!profile.DayOfWeekChecked(day));
    for (quint8 day = 1; day <= 7; ++day)
        profile.SetDayOfWeekSchedule(day, true);
    QVERIFY(!profile.DayOfWeekChecked(0) && !profile.DayOfWeekChecked(8));
    QVERIFY(profile.DayOfWeekChecked(1) && profile.gSunday);
    QVERIFY(profile.DayOfWeekChecked(7) && profile.gSaturday);
}

void tst_Profile::saveIntoMissingFolderFails()
{
    Profile profile(messages);
    const QString path = folder->path(QStringLiteral("missing/sub/p.xml"));
    QVERIFY(!profile.SaveProfileToXML(path));
    QVERIFY(!QFileInfo::exists(folder->path(QStringLiteral("missing"))));
}

void tst_Profile::savingNeverTakesAnotherProfilesFile()
{
    QDir().mkpath(folder->profiles());
    const QString other = folder->profile(QStringLiteral("Ann Lee.xml"));
    QVERIFY(writeFile(other, "someone else's profile"));
    Profile fresh(messages);
    fresh.gFirstName = QStringLiteral("Ann");
    fresh.gLastName = QStringLiteral("Lee");
    QVERIFY(!fresh.SaveProfileToXML(QString()));

    // A loaded profile of the same name is saved to the file it came from.
    const QString old = folder->profile(QStringLiteral("Old Name.xml"));
    QVERIFY(writeFile(old, profileFile()));
    Profile profile(messages);
    profile.LoadProfileFromXMLFile(old);
    profile.gDepartment = QStringLiteral("Renamed");
    QVERIFY(profile.SaveProfileToXML(profile.gStrProfilePath));
    QCOMPARE(readAll(other), QByteArray("someone else's profile"));
    QVERIFY(readAll(old).contains("<department>Renamed</department>"));
}

void tst_Profile::namesThatCannotBeFileNames_data()
{
    QTest::addColumn<QString>("first");
    for (const char *name :
         {"a/b", "../../x", "L\\ee", "Lee:1", "A*", "Ann?", "\"Ann\"", "<Ann>", "|Lee", "Ann\t"})
        QTest::newRow(name) << QString::fromUtf8(name);
}

void tst_Profile::namesThatCannotBeFileNames()
{
    QFETCH(QString, first);
    Profile profile(messages);
    profile.gFirstName = first;
    profile.gLastName = QStringLiteral("Lee");
    QVERIFY(!profile.SaveProfileToXML(QString()));
    // Nothing was written anywhere, inside the Profiles folder or outside it.
    QStringList everything =
        QDir(folder->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    everything.removeAll(QStringLiteral("Profiles"));
    QCOMPARE(everything, QStringList());
    QVERIFY(QDir(folder->profiles()).isEmpty());
}

void tst_Profile::failedSaveLeavesOldFileIntact_data()
{
    QTest::addColumn<bool>("shortWrite");
    QTest::newRow("a value no XML file can hold") << false;
    QTest::newRow("short write, as on a full disk") << true;
}

void tst_Profile::failedSaveLeavesOldFileIntact()
{
    QFETCH(bool, shortWrite);
    const QString path = write("p.xml", profileFile());
    const QByteArray before = readAll(path);
    if (!shortWrite) {
        Profile profile(messages);
        profile.LoadProfileFromXMLFile(path);
        profile.gPassword = QStringLiteral("bad\x01value");
        QVERIFY(!profile.SaveProfileToXML(path));
    } else {
        // A child process whose file-size limit is smaller than the new profile.
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
    }
    QCOMPARE(readAll(path), before);
    QCOMPARE(QDir(folder->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"p.xml"});
}

void tst_Profile::fileIsOwnerOnly()
{
    Profile profile(messages);
    profile.gFirstName = QStringLiteral("Ann");
    profile.gLastName = QStringLiteral("Lee");
    QVERIFY(profile.SaveProfileToXML(QString()));
    const QString path = folder->profile(QStringLiteral("Ann Lee.xml"));
    // Replacing it keeps it private too.
    for (int save = 0; save < 2; ++save) {
        QCOMPARE(QFileInfo(path).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(profile.SaveProfileToXML(path));
    }
}

void tst_Profile::deleteProfile()
{
    Profile never(messages);
    QVERIFY(!never.DeleteProfile());

    const QString path = write("p.xml", profileFile());
    Profile profile(messages);
    profile.LoadProfileFromXMLFile(path);
    QVERIFY(profile.DeleteProfile());
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(profile.gFirstName, QStringLiteral("Ann")); // the record is unchanged
    QVERIFY(!profile.DeleteProfile());                   // gone meanwhile
}

void tst_Profile::profilesFolderFallsBack()
{
    const QString blocked = folder->path(QStringLiteral("exe/Profiles"));
    QVERIFY(QDir().mkpath(folder->path(QStringLiteral("exe"))));
    QVERIFY(writeFile(blocked, "a file where the folder belongs"));
    const QString fallback = folder->path(QStringLiteral("appdata/Profiles"));
    QCOMPARE(Paths::chooseProfilesFolder(blocked, fallback), fallback);
    QVERIFY(QFileInfo(fallback).isDir());

    const QString fresh = folder->path(QStringLiteral("exe2/Profiles"));
    QCOMPARE(Paths::chooseProfilesFolder(fresh, fallback), fresh);
    QVERIFY(QFileInfo(fresh).isDir());
}

QTEST_GUILESS_MAIN(tst_Profile)
#include "tst_profile.moc"
