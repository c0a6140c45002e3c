#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "service/FileNameRules.h"
#include "service/FileNames.h"

#include <QTest>

class tst_FileNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buildFileName_data();
    void buildFileName();
    void urlWithoutDotFails();
    void extension_data();
    void extension();
    void cleanFieldValue_data();
    void cleanFieldValue();
    void fixPathComponents_data();
    void fixPathComponents();
    void leavesFolder_data();
    void leavesFolder();

private:
    static Job sampleJob()
    {
        Job job;
        job.gLngID = QStringLiteral("77");
        job.gStrName = QStringLiteral("ABC");
        job.gStrReference = QStringLiteral("REF9");
        job.gDateOpen = QDateTime(QDate(2003, 12, 31), QTime(23, 59, 59));
        job.gStrDemographic1 = QStringLiteral("one");
        job.gStrDemographic2 = QStringLiteral("two");
        job.gStrDemographic3 = QStringLiteral("three");
        job.gStrDictatorFirstName = QStringLiteral("Ann");
        job.gStrDictatorLastName = QStringLiteral("Smith");
        job.gStrSourceURL = QStringLiteral("https://jobs.example/files/x.wav");
        return job;
    }
};

using Fields = QMap<QString, QString>;

void tst_FileNames::buildFileName_data()
{
    QTest::addColumn<QStringList>("rules");
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<QString>("expected");

    QTest::newRow("name, literal, date")
        << QStringList{"Job Name", "_", "Open Date/Time (yyyymmdd)"} << Fields()
        << "ABC_20031231.wav";
    QTest::newRow("date and time")
        << QStringList{"Open Date/Time (yyyymmdd_hhnnss)"} << Fields() << "20031231_235959.wav";
    QTest::newRow("time") << QStringList{"Open Date/Time (hhnnss)"} << Fields() << "235959.wav";
    QTest::newRow("last, first") << QStringList{"Dictator Name (Last,First)"} << Fields()
                                 << "Smith,Ann.wav";
    QTest::newRow("first, last") << QStringList{"Dictator Name (First,Last)"} << Fields()
                                 << "Ann,Smith.wav";
    QTest::newRow("object id is the job name") << QStringList{"Object ID"} << Fields() << "ABC.wav";
    QTest::newRow("reference and demographics")
        << QStringList{"Reference", "Demographic 1", "Demographic 2", "Demographic 3"} << Fields()
        << "REF9onetwothree.wav";
    QTest::newRow("rules in another case")
        << QStringList{"job name", "OPEN DATE/TIME (YYYYMMDD)"} << Fields() << "ABC20031231.wav";
    QTest::newRow("trailing blank makes a literal")
        << QStringList{"Job Name ", "x"} << Fields() << "Job Name x.wav";
    QTest::newRow("literal keeps its case")
        << QStringList{"Typed-Text"} << Fields() << "Typed-Text.wav";
    QTest::newRow("no rules") << QStringList() << Fields() << ".wav";
    QTest::newRow("empty field adds nothing")
        << QStringList{"Reference", "Job Name"} << Fields{{"reference", ""}} << "ABC.wav";
    QTest::newRow("own date pattern")
        << QStringList{"Open Date/Time (dd-mm-yyyy)"} << Fields() << "31-12-2003.wav";
    QTest::newRow("host-only dot takes the path")
        << QStringList{"Job Name"} << Fields{{"url", "http://jobs.example/get/42"}}
        << "ABC.example/get/42";
    QTest::newRow("port colon cleaned in the extension")
        << QStringList{"Job Name"} << Fields{{"url", "http://jobs.example:8080/get/42"}}
        << "ABC.example_8080/get/42";
    QTest::newRow("backslash in a field makes a folder")
        << QStringList{"Reference", "Job Name"} << Fields{{"reference", "2003\\"}}
        << "2003\\ABC.wav";
    QTest::newRow("colon and question mark cleaned")
        << QStringList{"Job Name"} << Fields{{"name", "Re: why?"}} << "Re_ why_.wav";
    QTest::newRow("control characters cleaned")
        << QStringList{"Job Name"} << Fields{{"name", "a\tb\nc"}} << "a_b_c.wav";
    QTest::newRow("device name") << QStringList{"Job Name"} << Fields{{"name", "CON"}}
                                 << "CON_.wav";
    QTest::newRow("name with a trailing dot")
        << QStringList{"Job Name"} << Fields{{"name", "report."}} << "report._.wav";
    QTest::newRow("device name with extension")
        << QStringList{"Job Name"} << Fields{{"name", "nul.txt"}} << "nul_.txt.wav";
    QTest::newRow("device name followed by more")
        << QStringList{"Job Name", "Reference"} << Fields{{"name", "aux"}} << "aux_REF9.wav";
    QTest::newRow("literal device name") << QStringList{"com1"} << Fields() << "com1_.wav";
    QTest::newRow("trailing dot in a folder")
        << QStringList{"Reference", "\\", "Job Name"} << Fields{{"reference", "report."}}
        << "report._\\ABC.wav";
    QTest::newRow("literal characters are kept") << QStringList{"A:B"} << Fields() << "A:B.wav";
    QTest::newRow("dot-dot kept for the escape check")
        << QStringList{"Reference", "Job Name"} << Fields{{"reference", "..\\..\\"}}
        << "..\\..\\ABC.wav";
}

void tst_FileNames::buildFileName()
{
    QFETCH(QStringList, rules);
    QFETCH(Fields, fields);
    QFETCH(QString, expected);

    RecordingMessageSink messages;
    DownloadTools tools(messages);
    Profile &profile = tools.gProfile();
    profile.colDownloadRules = rules;
    Job job = sampleJob();
    if (fields.contains("name"))
        job.gStrName = fields.value("name");
    if (fields.contains("reference"))
        job.gStrReference = fields.value("reference");
    if (fields.contains("url"))
        job.gStrSourceURL = fields.value("url");

    const std::optional<QString> name = tools.BuildFileName(profile, job);
    QVERIFY(name);
    QCOMPARE(*name, expected);
    QCOMPARE(FileNameRules(rules).fileName(job), name);
}

void tst_FileNames::urlWithoutDotFails()
{
    RecordingMessageSink messages;
    DownloadTools tools(messages);
    tools.gProfile().colDownloadRules = {QStringLiteral("Job Name")};
    Job job = sampleJob();
    job.gStrSourceURL = QStringLiteral("https://localhost/files/x");
    QVERIFY(!tools.BuildFileName(tools.gProfile(), job));
    QVERIFY(!FileNameRules(tools.gProfile().colDownloadRules).fileName(job));
    QVERIFY(messages.messages.isEmpty());
}

void tst_FileNames::extension_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "http://h/x.wav"
                           << ".wav";
    QTest::newRow("last dot") << "http://h/x.tar.gz"
                              << ".gz";
    QTest::newRow("query") << "http://h/get.asp?id=1"
                           << ".asp?id=1";
    QTest::newRow("dot before last slash") << "http://h.example/a/b"
                                           << ".example/a/b";
    QTest::newRow("dot at the end") << "http://h/x."
                                    << ".";
}

void tst_FileNames::extension()
{
    QFETCH(QString, url);
    QFETCH(QString, expected);
    const std::optional<QString> extension = DownloadTools::GetFileExtension(url);
    QVERIFY(extension);
    QCOMPARE(*extension, expected);
}

void tst_FileNames::cleanFieldValue_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ordinary") << "Smith, Ann (2003)"
                              << "Smith, Ann (2003)";
    QTest::newRow("refused characters") << "<a>:\"b\"|c?*"
                                        << "_a___b__c__";
    QTest::newRow("separators stay") << "a\\b/c"
                                     << "a\\b/c";
    QTest::newRow("control and delete") << QString("a") + QChar(1) + QChar(0x7f) << "a__";
    QTest::newRow("non-ASCII stays")
        << QStringLiteral("M\u00fcller") << QStringLiteral("M\u00fcller");
}

void tst_FileNames::cleanFieldValue()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(FileNames::cleanFieldValue(value), expected);
}

void tst_FileNames::fixPathComponents_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("CON") << "CON"
                         << "CON_";
    QTest::newRow("con.wav") << "con.wav"
                             << "con_.wav";
    QTest::newRow("nul.txt") << "nul.txt"
                             << "nul_.txt";
    QTest::newRow("COM1 folder") << "COM1\\x.wav"
                                 << "COM1_\\x.wav";
    QTest::newRow("LPT9.tar.gz") << "a/LPT9.tar.gz"
                                 << "a/LPT9_.tar.gz";
    QTest::newRow("COM0 is no device") << "COM0.wav"
                                       << "COM0.wav";
    QTest::newRow("CONSOLE is no device") << "CONSOLE.wav"
                                          << "CONSOLE.wav";
    QTest::newRow("device with blank") << "AUX .wav"
                                       << "AUX_ .wav";
    QTest::newRow("report.") << "report."
                             << "report._";
    QTest::newRow("trailing blank") << "dir \\x.wav"
                                    << "dir _\\x.wav";
    QTest::newRow("CON.") << "CON."
                          << "CON_._";
    QTest::newRow("dots left for the check") << "..\\.\\x.wav"
                                             << "..\\.\\x.wav";
    QTest::newRow("ordinary") << "2003/12/ABC.wav"
                              << "2003/12/ABC.wav";
}

void tst_FileNames::fixPathComponents()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(FileNames::fixPathComponents(name), expected);
}

void tst_FileNames::leavesFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("leaves");
    QTest::newRow("plain") << "ABC.wav" << false;
    QTest::newRow("sub-folders") << "2003\\12/ABC.wav" << false;
    QTest::newRow("back up twice") << "..\\..\\x.wav" << true;
    QTest::newRow("slash form") << "../x.wav" << true;
    QTest::newRow("climbs out after a folder") << "a/../../x.wav" << true;
    QTest::newRow("climbs back inside") << "a\\..\\x.wav" << false;
    QTest::newRow("dots inside a name") << "a..b.wav" << false;
    QTest::newRow("dots at the start of a name") << "..x.wav" << false;
    QTest::newRow("current folder") << ".\\x.wav" << false;
    QTest::newRow("leading backslash") << "\\Windows\\x.wav" << true;
    QTest::newRow("leading slash") << "/etc/x.wav" << true;
    QTest::newRow("drive letter") << "C:x.wav" << true;
}

void tst_FileNames::leavesFolder()
{
    QFETCH(QString, name);
    QFETCH(bool, leaves);
    QCOMPARE(FileNames::leavesFolder(name), leaves);
}

QTEST_GUILESS_MAIN(tst_FileNames)
#include "tst_filenames.moc"
