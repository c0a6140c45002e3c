#include "TestSupport.h"
#include "naming/FileNameRules.h"
#include "naming/FileNames.h"
#include "naming/Job.h"

#include <QTest>

class tst_FileNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileName_data();
    void fileName();
};

void tst_FileNames::fileName_data()
{
    QTest::addColumn<QStringList>("rules");
    QTest::addColumn<Fields>("fields");    // name, reference or url of the job
    QTest::addColumn<QString>("expected"); // empty: no name can be built
    QTest::addColumn<bool>("leaves");      // the name leads out of the download folder

    const QStringList name{"Job Name"};
    const QStringList folder{"Reference", "Job Name"};
    const auto add = [](const char *row, const QStringList &rules, const Fields &fields,
                        const QString &expected, bool leaves = false) {
        QTest::newRow(row) << rules << fields << expected << leaves;
    };
    // The rules and the fields they take.
    add("name, literal, date", {"Job Name", "_", "Open Date/Time (yyyymmdd)"}, {},
        "ABC_20031231.wav");
    add("last, first", {"Dictator Name (Last,First)"}, {}, "Smith,Ann.wav");
    add("no rules: no hidden file", {}, {}, "_wav");
    add("empty field adds nothing", folder, {{"reference", ""}}, "ABC.wav");
    // The extension: from the last dot of the URL path's last segment.
    add("extension after the last dot", name, {{"url", "http://h/x.tar.gz"}}, "ABC.gz");
    add("query is no extension", name, {{"url", "http://h/get.asp?id=1"}}, "ABC.asp");
    add("dot in the query", name, {{"url", "http://h/x.wav?sig=ab.cd#f.g"}}, "ABC.wav");
    add("dots only in host and port", name, {{"url", "http://127.0.0.1:41425/download?id=1"}},
        "ABC");
    add("dot in a folder of the path", name, {{"url", "http://h/v1.2/get"}}, "ABC");
    add("URL without a dot fails", name, {{"url", "https://localhost/files/x"}}, "");
    add("hidden temporary file's name", name,
        {{"name", ".quillet-abc123"}, {"url", "http://h/x.part"}}, "_quillet-abc123.part");
    // Characters a Windows file name cannot hold.
    add("refused characters cleaned", name, {{"name", "<a>:\"b\"|c?*"}}, "_a___b__c__.wav");
    add("control characters and delete cleaned", name, {{"name", "a\tb\nc\x7f"}}, "a_b_c_.wav");
    add("C1 controls and bidirectional overrides cleaned", folder,
        {{"name", "a\u009bb\u202Ec\u2066d"}, {"reference", "\u202Ep\u2069\\"}}, "_p_\\a_b_c_d.wav");
    add("hidden folder", folder, {{"reference", ".x\\"}}, "_x\\ABC.wav");
    add("both separators in a field make folders", folder, {{"reference", "2003\\12/"}},
        "2003\\12/ABC.wav");
    // Names Windows keeps for devices, and trailing dots and blanks.
    add("device name", name, {{"name", "CON"}}, "CON_.wav");
    add("device name with extension", name, {{"name", "nul.txt"}}, "nul_.txt.wav");
    add("device name with more dots", name, {{"name", "LPT9.tar"}}, "LPT9_.tar.wav");
    add("device name with a blank", name, {{"name", "AUX "}}, "AUX_ _.wav");
    add("device name followed by more", {"Job Name", "Reference"}, {{"name", "aux"}},
        "aux_REF9.wav");
    add("device name as a folder", folder, {{"reference", "COM1\\"}}, "COM1_\\ABC.wav");
    add("literal device name", {"com1"}, {}, "com1_.wav");
    add("COM0 is no device", name, {{"name", "COM0"}}, "COM0.wav");
    add("name with a trailing dot", name, {{"name", "report."}}, "report._.wav");
    add("trailing dot in a folder", folder, {{"reference", "report.\\"}}, "report._\\ABC.wav");
    add("trailing blank in a folder", folder, {{"reference", "dir \\"}}, "dir _\\ABC.wav");
    // Names that lead out of the download folder.
    add("back up twice", folder, {{"reference", "..\\..\\"}}, "..\\..\\ABC.wav", true);
    add("slash form", folder, {{"reference", "../"}}, "../ABC.wav", true);
    add("climbs out after a device-named folder", folder, {{"reference", "con/../../"}},
        "con_/../../ABC.wav", true);
    add("climbs back inside", folder, {{"reference", "a\\..\\"}}, "a\\..\\ABC.wav");
    add("dots inside and at the start of a name", name, {{"name", "..a..b"}}, "_.a..b.wav");
    add("current folder is no step down", folder, {{"reference", ".\\..\\"}}, ".\\..\\ABC.wav",
        true);
    add("leading backslash", folder, {{"reference", "\\Windows\\"}}, "\\Windows\\ABC.wav", true);
    add("leading slash", folder, {{"reference", "/etc/"}}, "/etc/ABC.wav", true);
    add("literal kept as typed, a drive letter", {"C:", "Job Name"}, {}, "C:ABC.wav", true);
}

void tst_FileNames::fileName()
{
    QFETCH(QStringList, rules);
    QFETCH(Fields, fields);
    QFETCH(QString, expected);
    QFETCH(bool, leaves);

    Job job;
    job.gStrName = fields.value("name", "ABC");
    job.gStrReference = fields.value("reference", "REF9");
    job.gStrSourceURL = fields.value("url", "https://jobs.example/files/x.wav");
    job.gDateOpen = QDateTime(QDate(2003, 12, 31), QTime(23, 59, 59));
    job.gStrDictatorFirstName = QStringLiteral("Ann");
    job.gStrDictatorLastName = QStringLiteral("Smith");

    const std::optional<QString> name = FileNameRules(rules).fileName(job);
    QCOMPARE(name.value_or(QString()), expected);
    QCOMPARE(name.has_value(), !expected.isEmpty());
    QCOMPARE(FileNames::leavesFolder(expected), leaves);
}

QTEST_GUILESS_MAIN(tst_FileNames)
#include "tst_filenames.moc"
