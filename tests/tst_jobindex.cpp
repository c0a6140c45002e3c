#include "TestSupport.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "service/JobCollection.h"
#include "service/JobListModel.h"

#include <QDir>
#include <QTest>

namespace {

struct Reader
{
    RecordingMessageSink messages;
    DownloadTools tools{messages};

    Reader()
    {
        tools.gProfile().gStrDownloadFolder = QStringLiteral("C:\\Jobs");
        tools.gProfile().colDownloadRules = {QStringLiteral("Job Name")};
    }

    bool read(const QString &text)
    {
        tools.xmlIndex = text;
        return tools.PopluateJobCollecionFromIndexFile();
    }
    bool read(const QByteArray &text) { return read(QString::fromUtf8(text)); }
};

} // namespace

class tst_JobIndex : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void collection();

    void reading_data();
    void reading();
    void decoding_data();
    void decoding();

    void aJobAndItsRow();
};

void tst_JobIndex::collection()
{
    // Records keep their address as the collection grows; positions and keys
    // outside it find nothing.
    JobCollection jobs;
    QVERIFY(jobs.Add(Job(), QStringLiteral("a")));
    Job *first = jobs.Item(1);
    for (int i = 0; i < 100; ++i)
        QVERIFY(jobs.Add(Job(), QStringLiteral("k%1").arg(i)));
    QCOMPARE(jobs.Item(1), first);
    QVERIFY(!jobs.Item(0) && !jobs.Item(102) && !jobs.Item(QStringLiteral("c")));
}

void tst_JobIndex::reading_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("fails");

    const auto reads = [](const char *name, const QByteArray &xml, const QStringList &expected) {
        QTest::newRow(name) << xml << expected << false;
    };
    const auto fails = [](const char *name, const QByteArray &xml, const QStringList &expected) {
        QTest::newRow(name) << xml << expected << true;
    };
    const QByteArray j1 = jobElement("1"), j2 = jobElement("2"), j3 = jobElement("3");
    reads("no children", QByteArray("<jobs/>"), {});
    reads("jobs in order, user_id skipped anywhere",
          jobIndex({j2, "<user_id><job_id>9</job_id></user_id>", j1, j3}), {"2", "1", "3"});
    fails("7 and 007 collide, later jobs not read",
          jobIndex({jobElement("7"), jobElement("007"), j1}), {"7"});
    fails("missing attribute keeps earlier jobs",
          jobIndex({j1, jobElement("2", {{"dictator", "-"}}), j3}), {"1"});
    fails("priority 256", jobIndex({j1, jobElement("2", {{"priority", "256"}})}), {"1"});
    fails("id beyond 32 bits", jobIndex({j1, jobElement("2147483648")}), {"1"});
    fails("open time unreadable", jobIndex({j1, jobElement("2", {{"open_time", "yesterday"}})}),
          {"1"});
    fails("source URL without a dot",
          jobIndex({j1, jobElement("2", {{"path", "https://jobs/file"}})}), {"1"});
    fails("comment is a job", jobIndex({j1, "<!-- note -->", j2}), {"1"});
    reads("whitespace is no child", jobIndex({j1, "\n\t  \n", j2}), {"1", "2"});
    fails("empty response", QByteArray(), {});
    fails("HTML error page", QByteArray("<html><body><p>Server Error</p></body></html>"), {});
    fails("not well-formed after good jobs", jobIndex({j1, j2}) + "<trailing>", {});
    reads("first jobs element anywhere",
          "<reply><status/><wrap><jobs>" + j1 + "</jobs></wrap><jobs>" + j2 + "</jobs></reply>",
          {"1"});
    fails("nested jobs element is a job without attributes",
          "<jobs>" + j1 + "<jobs>" + j2 + "</jobs></jobs>", {"1"});
    fails("entity declarations refused",
          "<!DOCTYPE jobs [<!ENTITY n \"Ann\">]><jobs>" +
              jobElement("1", {{"job_name", "-"}}).replace("/>", " job_name=\"&n;\"/>") + "</jobs>",
          {});

    const auto nested = [](int levels, const QByteArray &inner) {
        return QByteArray("<a>").repeated(levels) + inner + QByteArray("</a>").repeated(levels);
    };
    const QByteArray deepJob = QByteArray(j1).replace("/>", "><a/></job>");
    reads("256 levels read", nested(253, "<jobs>" + deepJob + "</jobs>"), {"1"});
    fails("257 levels refused", nested(254, "<jobs>" + deepJob + "</jobs>"), {});
    // Qt's reader compares a tag's attributes pairwise: many are refused up front.
    const auto attributes = [](int count, const QByteArray &other) {
        QByteArray tag = "<user_id";
        for (int i = 0; i < count; ++i)
            tag += " a" + QByteArray::number(i) + "=\"" + other + "\"";
        return tag + "/>";
    };
    const QByteArray many = " > " + attributes(300, "");
    reads("256 attributes read; values, comments, CDATA and PIs not counted",
          "<!--" + many + "--><jobs><user_id><![CDATA[" + many + "]]><?pi" + many + "?></user_id>" +
              attributes(256, "==") + j1 + "</jobs>",
          {"1"});
    fails("257 attributes refused, > inside values ends no tag",
          jobIndex({attributes(257, ">"), j1}), {});
    // Several slices each, read while the reader's slices grow.
    const QByteArray big(600 * 1024, 'x');
    reads("large comment, CDATA and PI",
          "<!--" + big + "--><jobs>" + j1 + "<user_id><![CDATA[" + big + "]]><?pi " + big +
              "?></user_id>" + j2 + "</jobs>",
          {"1", "2"});
    fails("above 64 MiB of text", jobIndex({j1}) + QByteArray(DownloadTools::MaxIndexSize, ' '),
          {});
}

void tst_JobIndex::reading()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, expected);
    QFETCH(bool, fails);

    // Each reading replaces the jobs of the one before.
    Reader reader;
    QVERIFY(reader.read(jobIndex({jobElement("99")})));
    QCOMPARE(reader.read(xml), !fails);
    QStringList ids;
    for (qsizetype i = 1; i <= reader.tools.gColDownloads.Count(); ++i)
        ids << reader.tools.gColDownloads.Item(i)->gLngID;
    QCOMPARE(ids, expected);
    const QString invalid("Page contained invalid XML data, please check your profile settings!");
    QCOMPARE(reader.messages.texts(), fails ? QStringList{invalid} : QStringList());
}

void tst_JobIndex::decoding_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("name"); // of the job read; empty: the reading fails
    const QString muller = QStringLiteral("M\u00fcller");
    const QString xml = QString::fromUtf8(jobIndex({jobElement("1", {{"job_name", muller}})}));
    const QByteArray utf16(reinterpret_cast<const char *>(xml.utf16()), xml.size() * 2);
    const auto declared = [&xml](const char *encoding) {
        return QString(xml).replace(
            "version=\"1.0\"", QStringLiteral("version=\"1.0\" encoding=\"%1\"").arg(encoding));
    };
    QTest::newRow("UTF-8 without declaration") << xml.toUtf8() << muller;
    QTest::newRow("UTF-8 with BOM") << "\xef\xbb\xbf" + xml.toUtf8() << muller;
    QTest::newRow("Latin-1 declared") << declared("ISO-8859-1").toLatin1() << muller;
    QTest::newRow("UTF-16 with BOM") << "\xff\xfe" + utf16 << muller;
    QTest::newRow("UTF-16 without BOM") << utf16 << QString();
    // The reader takes the text in slices of 256 Ki characters.
    const QString smile = QString::fromUcs4(U"\U0001F600");
    const QByteArray marked = jobElement("1", {{"job_name", "x" + smile}});
    const qsizetype padding = 256 * 1024 - 1 - 6 - marked.indexOf(smile.toUtf8());
    QTest::newRow("character outside the BMP across the first slice boundary")
        << "<jobs>" + QByteArray(padding, ' ') + marked + "</jobs>"
        << "x" + smile;
    // More bytes than the limit, but fewer characters.
    QTest::newRow("above 64 MiB")
        << xml.toUtf8() + "<!--" +
               QByteArray("\xc3\xa9").repeated(DownloadTools::MaxIndexSize / 2 + 1) + "-->"
        << QString();
}

void tst_JobIndex::decoding()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, name);
    Reader reader;
    QCOMPARE(reader.read(DownloadTools::indexTextFromBytes(body)), !name.isEmpty());
    const Job *job = reader.tools.gColDownloads.Item(1);
    QCOMPARE(job ? job->gStrName : QString(), name);
}

void tst_JobIndex::aJobAndItsRow()
{
    Reader reader;
    reader.tools.gProfile().gStrDownloadFolder = QStringLiteral("C:\\Jobs\\"); // used as stored
    QVERIFY(reader.read(
        jobIndex({jobElement(" 12 ", {{"job_name", "Letter & Co"}, {"priority", "4"}})})));
    QVERIFY(reader.tools.gColDownloads.Item(QStringLiteral("12")));

    JobListModel model;
    PopulateJobList(model, reader.tools.gColDownloads,
                    QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(model.rowCount(), 1);
    QStringList cells;
    for (int column = 0; column < JobListModel::ColumnCount; ++column)
        cells << model.data(model.index(0, column)).toString();
    QCOMPARE(cells, (QStringList{"", "12", "0%", "Letter & Co", "R 12 ", "12/31/2003 11:59:59 PM",
                                 "", "0", "d1", "d2", "d3", "https://jobs.example/files/ 12 .wav",
                                 QDir::toNativeSeparators("C:/Jobs//Letter & Co.wav")}));

    // A cell outside the list: nothing happens.
    model.setSubItemText(1, 1, QStringLiteral("x"));
    model.setSubItemText(0, JobListModel::SubItemCount + 1, QStringLiteral("x"));
    model.removeRow(1);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.subItemText(1, 1), QString());
    PopulateJobList(model, JobCollection());
    QCOMPARE(model.rowCount(), 0);
}

QTEST_GUILESS_MAIN(tst_JobIndex)
#include "tst_jobindex.moc"
