#include "TestSupport.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "service/FileNameRules.h"
#include "service/FileNames.h"

#include <QTest>

namespace {

// Adds a row of two texts named `name`.
void row(const char *name, const QString &value, const QString &expected)
{
    QTest::newRow(name) << value << expected;
}

} // namespace

class tst_FileNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buildFileName_data();
    void buildFileName();
    void cleanFieldValue_data();
    void cleanFieldValue();
    void fixPathComponents_data();
    void fixPathComponents();
    void leavesFolder_data();
    void leavesFolder();
};

void tst_FileNames::buildFileName_data()
{
    QTest::addColumn<QStringList>("rules");
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<QString>("expected"); // empty: no name can be built

    const QStringList name{"Job Name"};
    const auto add = [](const char *row, const QStringList &rules, const Fields &fields,
                        const QString &expected) {
        QTest::newRow(row) << rules << fields << expected;
    };
    add("name, literal, date", {"Job Name", "_", "Open Date/Time (yyyymmdd)"}, {},
        "ABC_20031231.wav");
    add("date and time", {"Open Date/Time (yyyymmdd_hhnnss)"}, {}, "20031231_235959.wav");
    add("time", {"Open Date/Time (hhnnss)"}, {}, "235959.wav");
    add("last, first", {"Dictator Name (Last,First)"}, {}, "Smith,Ann.wav");
    add("first, last", {"Dictator Name (First,Last)"}, {}, "Ann,Smith.wav");
    add("object id is the job name", {"Object ID"}, {}, "ABC.wav");
    add("reference and demographics",
        {"Reference", "Demographic 1", "Demographic 2", "Demographic 3"}, {},
        "REF9onetwothree.wav");
    add("rules in another case", {"job name", "OPEN DATE/TIME (YYYYMMDD)"}, {}, "ABC20031231.wav");
    add("trailing blank makes a literal", {"Job Name ", "x"}, {}, "Job Name x.wav");
    add("literal keeps its case", {"Typed-Text"}, {}, "Typed-Text.wav");
    add("no rules", {}, {}, ".wav");
    add("empty field adds nothing", {"Reference", "Job Name"}, {{"reference", ""}}, "ABC.wav");
    add("own date pattern", {"Open Date/Time (dd-mm-yyyy)"}, {}, "31-12-2003.wav");
    add("extension after the last dot", name, {{"url", "http://h/x.tar.gz"}}, "ABC.gz");
    add("query in the extension cleaned", name, {{"url", "http://h/get.asp?id=1"}}, "ABC.asp_id=1");
    add("dot at the end of the URL", name, {{"url", "http://h/x."}}, "ABC._");
    add("host-only dot takes the path", name, {{"url", "http://jobs.example/get/42"}},
        "ABC.example/get/42");
    add("port colon cleaned in the extension", name, {{"url", "http://jobs.example:8080/get/42"}},
        "ABC.example_8080/get/42");
    add("URL without a dot fails", name, {{"url", "https://localhost/files/x"}}, "");
    add("backslash in a field makes a folder", {"Reference", "Job Name"}, {{"reference", "2003\\"}},
        "2003\\ABC.wav");
    add("colon and question mark cleaned", name, {{"name", "Re: why?"}}, "Re_ why_.wav");
    add("control characters cleaned", name, {{"name", "a\tb\nc"}}, "a_b_c.wav");
    add("device name", name, {{"name", "CON"}}, "CON_.wav");
    add("name with a trailing dot", name, {{"name", "report."}}, "report._.wav");
    add("device name with extension", name, {{"name", "nul.txt"}}, "nul_.txt.wav");
    add("device name followed by more", {"Job Name", "Reference"}, {{"name", "aux"}},
        "aux_REF9.wav");
    add("literal device name", {"com1"}, {}, "com1_.wav");
    add("trailing dot in a folder", {"Reference", "\\", "Job Name"}, {{"reference", "report."}},
        "report._\\ABC.wav");
    add("literal characters are kept", {"A:B"}, {}, "A:B.wav");
    add("dot-dot kept for the escape check", {"Reference", "Job Name"}, {{"reference", "..\\..\\"}},
        "..\\..\\ABC.wav");
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
    Job job;
    job.gLngID = QStringLiteral("77");
    job.gStrName = fields.value("name", "ABC");
    job.gStrReference = fields.value("reference", "REF9");
    job.gDateOpen = QDateTime(QDate(2003, 12, 31), QTime(23, 59, 59));
    job.gStrDemographic1 = QStringLiteral("one");
    job.gStrDemographic2 = QStringLiteral("two");
    job.gStrDemographic3 = QStringLiteral("three");
    job.gStrDictatorFirstName = QStringLiteral("Ann");
    job.gStrDictatorLastName = QStringLiteral("Smith");
    job.gStrSourceURL = fields.value("url", "https://jobs.example/files/x.wav");

    const std::optional<QString> name = tools.BuildFileName(profile, job);
    QCOMPARE(name.value_or(QString()), expected);
    QCOMPARE(name.has_value(), !expected.isEmpty());
    QCOMPARE(FileNameRules(rules).fileName(job), name);
    QVERIFY2(messages.messages.isEmpty(), "building a name shows no message");
}

void tst_FileNames::cleanFieldValue_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    row("ordinary", "Smith, Ann (2003)", "Smith, Ann (2003)");
    row("refused characters", "<a>:\"b\"|c?*", "_a___b__c__");
    row("separators stay", "a\\b/c", "a\\b/c");
    row("control and delete", QString("a") + QChar(1) + QChar(0x7f), "a__");
    row("non-ASCII stays", QStringLiteral("M\u00fcller"), QStringLiteral("M\u00fcller"));
}

void tst_FileNames::cleanFieldValue()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(FileNames::cleanFieldValue(value), expected);
}

void tst_FileNames::fixPathComponents_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    row("CON", "CON", "CON_");
    row("con.wav", "con.wav", "con_.wav");
    row("nul.txt", "nul.txt", "nul_.txt");
    row("COM1 folder", "COM1\\x.wav", "COM1_\\x.wav");
    row("LPT9.tar.gz", "a/LPT9.tar.gz", "a/LPT9_.tar.gz");
    row("COM0 is no device", "COM0.wav", "COM0.wav");
    row("CONSOLE is no device", "CONSOLE.wav", "CONSOLE.wav");
    row("device with blank", "AUX .wav", "AUX_ .wav");
    row("report.", "report.", "report._");
    row("trailing blank", "dir \\x.wav", "dir _\\x.wav");
    row("CON.", "CON.", "CON_._");
    row("dots left for the check", "..\\.\\x.wav", "..\\.\\x.wav");
    row("ordinary", "2003/12/ABC.wav", "2003/12/ABC.wav");
}

void tst_FileNames::fixPathComponents()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(FileNames::fixPathComponents(value), expected);
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
