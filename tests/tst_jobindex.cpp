#include "TestSupport.h"
#include "platform/Conversions.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "service/JobCollection.h"
#include "service/JobListModel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString invalidIndex =
    QStringLiteral("Page contained invalid XML data, please check your profile settings!");

QStringList ids(const JobCollection &jobs)
{
    QStringList list;
    for (qsizetype i = 1; i <= jobs.Count(); ++i)
        list << jobs.Item(i)->gLngID;
    return list;
}

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
    void collectionKeys_data();
    void collectionKeys();
    void collectionOrderAndPositions();

    void reading_data();
    void reading();
    void fieldsOfAJob();
    void conversions_data();
    void conversions();
    void readingReplacesTheCollection();
    void largeIndexAcrossSlices();
    void entityExpansionRefused();
    void oversizedResponseRefused();
    void indexTextDecoding_data();
    void indexTextDecoding();

    void populateJobList();
    void populateManyRowsInOneReset();
    void subItemsAndRemoval();
};

void tst_JobIndex::collectionKeys_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("collide");
    QTest::newRow("same id") << "7" << QStringLiteral("7") << true;
    QTest::newRow("letter case ignored") << "ab" << QStringLiteral("AB") << true;
    QTest::newRow("different ids") << "7" << QStringLiteral("8") << false;
    QTest::newRow("7 and 07 as texts differ") << "7" << QStringLiteral("07") << false;
}

void tst_JobIndex::collectionKeys()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, collide);
    JobCollection jobs;
    Job a;
    a.gStrName = QStringLiteral("first");
    Job b;
    b.gStrName = QStringLiteral("second");
    QVERIFY(jobs.Add(a, first));
    QCOMPARE(jobs.Add(b, second), !collide);
    QCOMPARE(jobs.Count(), collide ? 1 : 2);
    // A rejected record leaves the first one in place.
    QCOMPARE(jobs.Item(first)->gStrName, QStringLiteral("first"));
}

void tst_JobIndex::collectionOrderAndPositions()
{
    JobCollection jobs;
    for (int i = 0; i < 100; ++i) {
        Job job;
        job.gLngID = QString::number(100 - i);
        QVERIFY(jobs.Add(job, job.gLngID));
    }
    Job *first = jobs.Item(1);
    QVERIFY(first);
    QCOMPARE(first->gLngID, QStringLiteral("100"));
    QCOMPARE(jobs.Item(100)->gLngID, QStringLiteral("1"));
    QVERIFY(!jobs.Item(0));
    QVERIFY(!jobs.Item(101));
    QVERIFY(!jobs.Item(QStringLiteral("missing")));
    // Records are marked in place and keep their address as the collection grows.
    first->gBlnDownloadCompleted = true;
    Job more;
    QVERIFY(jobs.Add(more, QStringLiteral("x")));
    QCOMPARE(jobs.Item(QStringLiteral("100")), first);
    QVERIFY(jobs.Item(1)->gBlnDownloadCompleted);
}

void tst_JobIndex::reading_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("fails");

    const auto add = [](const char *name, const QByteArray &xml, const QStringList &expected,
                        bool fails) {
        QTest::newRow(name) << xml << expected << fails;
    };
    const QByteArray j1 = jobElement("1"), j2 = jobElement("2"), j3 = jobElement("3");
    add("no children", QByteArray("<jobs/>"), {}, false);
    add("only user_id", QByteArray("<jobs><user_id>x</user_id></jobs>"), {}, false);
    add("jobs in order, user_id skipped anywhere",
        jobIndex({j2, "<user_id><job_id>9</job_id></user_id>", j1, j3}), {"2", "1", "3"}, false);
    add("any element name",
        jobIndex({jobElement("5").replace("<job ", "<dictation "),
                  jobElement("6").replace("<job ", "<x ")}),
        {"5", "6"}, false);
    add("id 0042 becomes 42", jobIndex({jobElement("0042")}), {"42"}, false);
    add("7 and 007 collide, later jobs not read",
        jobIndex({jobElement("7"), jobElement("007"), j1}), {"7"}, true);
    add("missing attribute keeps earlier jobs",
        jobIndex({j1, jobElement("2", {{"dictator", "-"}}), j3}), {"1"}, true);
    add("priority 256", jobIndex({j1, jobElement("2", {{"priority", "256"}})}), {"1"}, true);
    add("priority -1", jobIndex({jobElement("2", {{"priority", "-1"}})}), {}, true);
    add("id not a number", jobIndex({j1, jobElement("x1")}), {"1"}, true);
    add("id beyond 32 bits", jobIndex({jobElement("2147483648")}), {}, true);
    add("open time unreadable", jobIndex({j1, jobElement("2", {{"open_time", "yesterday"}})}),
        {"1"}, true);
    add("source URL without a dot",
        jobIndex({j1, jobElement("2", {{"path", "https://jobs/file"}})}), {"1"}, true);
    add("comment is a job", jobIndex({j1, "<!-- note -->", j2}), {"1"}, true);
    add("text is a job", jobIndex({j1, "stray", j2}), {"1"}, true);
    add("whitespace is no child", jobIndex({j1, "\n\t  \n", j2}), {"1", "2"}, false);
    add("empty response", QByteArray(), {}, true);
    add("HTML error page",
        QByteArray("<html><head><title>500</title></head><body><p>Server Error</p></body></html>"),
        {}, true);
    add("not well-formed after good jobs", jobIndex({j1, j2}) + "<trailing>", {}, true);
    add("first jobs element anywhere",
        "<reply><status/><wrap><jobs>" + j1 + "</jobs></wrap><jobs>" + j2 + "</jobs></reply>",
        {"1"}, false);
    add("nested jobs element is a job without attributes",
        "<jobs>" + j1 + "<jobs>" + j2 + "</jobs></jobs>", {"1"}, true);
    add("namespaced user_id skipped",
        "<jobs xmlns:s=\"urn:service\"><s:user_id>4</s:user_id>" + j1 + "</jobs>", {"1"}, false);
    add("prefixed jobs element is not the jobs element",
        "<s:jobs xmlns:s=\"urn:service\">" + j1 + "</s:jobs>", {}, true);
    add("entity declarations refused",
        "<!DOCTYPE jobs [<!ENTITY n \"Ann\">]><jobs>" +
            jobElement("1", {{"job_name", "-"}}).replace("/>", " job_name=\"&n;\"/>") + "</jobs>",
        {}, true);
    add("doctype without entities", "<!DOCTYPE jobs><jobs>" + j1 + "</jobs>", {"1"}, false);

    const auto nested = [](int levels, const QByteArray &inner) {
        return QByteArray("<a>").repeated(levels) + inner + QByteArray("</a>").repeated(levels);
    };
    const QByteArray deepJob = QByteArray(j1).replace("/>", "><a/></job>");
    add("256 levels read", nested(253, "<jobs>" + deepJob + "</jobs>"), {"1"}, false);
    add("257 levels refused", nested(254, "<jobs>" + deepJob + "</jobs>"), {}, true);
    add("60,000 levels refused", nested(60000, "<jobs>" + j1 + "</jobs>"), {}, true);
    // Qt's reader compares a tag's attributes pairwise: many are refused up front.
    const auto attributes = [](int count, const QByteArray &other) {
        QByteArray tag = "<user_id";
        for (int i = 0; i < count; ++i)
            tag += " a" + QByteArray::number(i) + "=\"" + other + "\"";
        return tag + "/>";
    };
    add("256 attributes read, = and > inside values and comments not counted",
        "<!--" + attributes(300, "") + "--><jobs>" + attributes(256, "=>=") + j1 + "</jobs>", {"1"},
        false);
    add("40,000 attributes refused", jobIndex({attributes(40000, ""), j1}), {}, true);
    // Several slices each, read while the reader's slices grow.
    const QByteArray big(600 * 1024, 'x');
    add("large comments before and inside jobs",
        "<!--" + big + "--><jobs><user_id><!--" + big + "--></user_id>" + j1 + "</jobs>", {"1"},
        false);
    add("large CDATA and PI inside jobs",
        "<jobs>" + j1 + "<user_id><![CDATA[" + big + "]]><?pi " + big + "?></user_id>" + j2 +
            "</jobs>",
        {"1", "2"}, false);
}

void tst_JobIndex::reading()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, expected);
    QFETCH(bool, fails);

    Reader reader;
    QCOMPARE(reader.read(xml), !fails);
    QCOMPARE(ids(reader.tools.gColDownloads), expected);
    QCOMPARE(reader.messages.texts(), fails ? QStringList{invalidIndex} : QStringList());
    if (fails) {
        QCOMPARE(reader.messages.messages.first().title, QStringLiteral("Error"));
        QCOMPARE(reader.messages.messages.first().icon, MessageIcon::Critical);
    }
}

void tst_JobIndex::fieldsOfAJob()
{
    Reader reader;
    QVERIFY(reader.read(jobIndex({jobElement(" 12 ", {{"job_name", "Letter & Co"}})})));
    const Job *job = reader.tools.gColDownloads.Item(QStringLiteral("12"));
    QVERIFY(job);
    QCOMPARE(job->gLngID, QStringLiteral("12"));
    QCOMPARE(job->gStrName, QStringLiteral("Letter & Co"));
    QCOMPARE(job->gStrReference, QStringLiteral("R 12 "));
    QCOMPARE(job->gDateOpen, QDateTime(QDate(2003, 12, 31), QTime(23, 59, 59)));
    QCOMPARE(job->gStrDepartment, QStringLiteral("Cardiology"));
    QCOMPARE(job->gStrDicatorFullName, QStringLiteral("Dr Ann Smith"));
    QCOMPARE(job->gStrDictatorFirstName, QStringLiteral("Ann"));
    QCOMPARE(job->gStrDictatorLastName, QStringLiteral("Smith"));
    QCOMPARE(job->gStrDemographic1, QStringLiteral("d1"));
    QCOMPARE(job->gStrDemographic2, QStringLiteral("d2"));
    QCOMPARE(job->gStrDemographic3, QStringLiteral("d3"));
    QCOMPARE(job->gStrSourceURL, QStringLiteral("https://jobs.example/files/ 12 .wav"));
    QCOMPARE(job->gBytePriority, quint8(3));
    QCOMPARE(job->gStrDestinationPath, QStringLiteral("C:\\Jobs\\Letter & Co.wav"));
    QVERIFY(!job->gBlnDownloadCompleted);
}

void tst_JobIndex::conversions_data()
{
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    const auto add = [](const char *name, const QString &attribute, const QString &value,
                        const QString &expected) {
        QTest::newRow(name) << attribute << value << expected;
    };
    add("priority 12.5 halves to even", "priority", "12.5", "12");
    add("priority 13.5 halves to even", "priority", "13.5", "14");
    add("priority 255", "priority", "255", "255");
    add("priority 0", "priority", "0", "0");
    add("id 2.5", "job_id", "2.5", "2");
    add("id negative", "job_id", "-3", "-3");
    add("open time with T", "open_time", "2004-02-29T08:05:00", "2004-02-29T08:05:00");
    add("open time US form", "open_time", "12/31/2003 11:59:59 PM", "2003-12-31T23:59:59");
    add("folder used as stored", "folder", "C:\\Jobs\\", "C:\\Jobs\\\\Job1.wav");
}

void tst_JobIndex::conversions()
{
    QFETCH(QString, attribute);
    QFETCH(QString, value);
    QFETCH(QString, expected);

    Reader reader;
    if (attribute == QLatin1String("folder"))
        reader.tools.gProfile().gStrDownloadFolder = value;
    QVERIFY(reader.read(jobIndex({jobElement("1", {{attribute, value}})})));
    const Job *job = reader.tools.gColDownloads.Item(1);
    QVERIFY(job);
    const Fields seen{{"priority", QString::number(job->gBytePriority)},
                      {"job_id", job->gLngID},
                      {"open_time", job->gDateOpen.toString(Qt::ISODate)},
                      {"folder", job->gStrDestinationPath}};
    QCOMPARE(seen.value(attribute), expected);
}

void tst_JobIndex::readingReplacesTheCollection()
{
    Reader reader;
    QVERIFY(reader.read(jobIndex({jobElement("1"), jobElement("2")})));
    QCOMPARE(reader.tools.gColDownloads.Count(), 2);
    QVERIFY(!reader.read(QStringLiteral("<html/>")));
    QCOMPARE(reader.tools.gColDownloads.Count(), 0);
    QVERIFY(reader.read(jobIndex({jobElement("3")})));
    QCOMPARE(ids(reader.tools.gColDownloads), QStringList{"3"});
}

void tst_JobIndex::largeIndexAcrossSlices()
{
    // Big enough to reach the reader in several slices, with a character
    // outside the BMP placed right across the first slice boundary.
    const QString smile = QString::fromUcs4(U"\U0001F600");
    const QString marked = QString::fromUtf8(jobElement("1", {{"job_name", "x" + smile}}));
    const qsizetype boundary = 256 * 1024;
    QString text = QStringLiteral("<jobs>");
    text += QString(boundary - 1 - text.size() - marked.indexOf(smile), QLatin1Char(' '));
    text += marked;
    QCOMPARE(text.at(boundary - 1), smile.at(0));
    QStringList expected{"1"};
    for (int i = 2; i <= 3000; ++i) {
        text += QString::fromUtf8(jobElement(QString::number(i)));
        expected << QString::number(i);
    }

    Reader reader;
    QVERIFY(reader.read(text + QStringLiteral("</jobs>")));
    QCOMPARE(ids(reader.tools.gColDownloads), expected);
    QCOMPARE(reader.tools.gColDownloads.Item(1)->gStrName, "x" + smile);

    // A fault in the last slice still discards every job.
    QVERIFY(!reader.read(text + QStringLiteral("</jobs><")));
    QCOMPARE(reader.tools.gColDownloads.Count(), 0);
    QCOMPARE(reader.messages.texts(), QStringList{invalidIndex});
}

void tst_JobIndex::entityExpansionRefused()
{
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE jobs [\n<!ENTITY lol \"lol\">\n";
    for (int i = 1; i <= 9; ++i) {
        laughs += "<!ENTITY lol" + QByteArray::number(i) + " \"";
        laughs += ("&lol" + (i == 1 ? QByteArray() : QByteArray::number(i - 1)) + ";").repeated(10);
        laughs += "\">\n";
    }
    laughs += "]>\n<jobs>" +
              jobElement("1", {{"job_name", "&lol9;"}}).replace("&amp;lol9;", "&lol9;") + "</jobs>";

    Reader reader;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!reader.read(laughs));
    // Expanding the names would take a billion characters; refusing takes none.
    QVERIFY2(timer.elapsed() < 5000, "entity expansion was attempted");
    QCOMPARE(reader.messages.texts(), QStringList{invalidIndex});
    QCOMPARE(reader.tools.gColDownloads.Count(), 0);
}

void tst_JobIndex::oversizedResponseRefused()
{
    QByteArray body = jobIndex({jobElement("1")});
    QVERIFY(!DownloadTools::indexTextFromBytes(body).isEmpty());
    body.append(QByteArray(DownloadTools::MaxIndexSize - body.size() + 1, ' '));
    Reader reader;
    QVERIFY(!reader.read(DownloadTools::indexTextFromBytes(body)));
    QCOMPARE(reader.messages.texts(), QStringList{invalidIndex});

    reader.messages.clear();
    QVERIFY(!reader.read(QString(DownloadTools::MaxIndexSize + 1, QLatin1Char(' '))));
    QCOMPARE(reader.messages.texts(), QStringList{invalidIndex});
}

void tst_JobIndex::indexTextDecoding_data()
{
    QTest::addColumn<QByteArray>("body");
    const QString xml = QString::fromUtf8(
        jobIndex({jobElement("1", {{"job_name", QStringLiteral("M\u00fcller")}})}));
    QTest::newRow("UTF-8 without declaration") << xml.toUtf8();
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xef\xbb\xbf") + xml.toUtf8();
    QTest::newRow("Latin-1 declared")
        << QString(xml)
               .replace("version=\"1.0\"", "version=\"1.0\" encoding=\"ISO-8859-1\"")
               .toLatin1();
    QTest::newRow("UTF-16 with BOM")
        << QByteArray("\xff\xfe") +
               QByteArray(reinterpret_cast<const char *>(xml.utf16()), xml.size() * 2);
}

void tst_JobIndex::indexTextDecoding()
{
    QFETCH(QByteArray, body);
    Reader reader;
    QVERIFY(reader.read(DownloadTools::indexTextFromBytes(body)));
    QCOMPARE(reader.tools.gColDownloads.Item(1)->gStrName, QStringLiteral("M\u00fcller"));
}

void tst_JobIndex::populateJobList()
{
    JobCollection jobs;
    Job job;
    job.gLngID = QStringLiteral("42");
    job.gStrName = QStringLiteral("ABC");
    job.gStrReference = QStringLiteral("Ref");
    job.gDateOpen = QDateTime(QDate(2003, 12, 31), QTime(23, 59, 59));
    job.gStrDemographic1 = QStringLiteral("one");
    job.gStrDemographic2 = QStringLiteral("two");
    job.gStrDemographic3 = QStringLiteral("three");
    job.gStrSourceURL = QStringLiteral("https://jobs.example/x.wav");
    job.gStrDestinationPath = QStringLiteral("/home/ann/Jobs\\2003\\ABC.wav");
    job.gBytePriority = 4;
    QVERIFY(jobs.Add(job, job.gLngID));
    Job midnight = job;
    midnight.gLngID = QStringLiteral("43");
    midnight.gDateOpen = QDateTime(QDate(2004, 1, 2), QTime(0, 0));
    QVERIFY(jobs.Add(midnight, midnight.gLngID));

    JobListModel model;
    model.setDecorationProvider([](int priority) { return QVariant(priority * 10); });
    PopulateJobList(model, jobs, QLocale::c());
    QCOMPARE(model.rowCount(), 2);
    const auto cell = [&](int row, int column) {
        return model.data(model.index(row, column)).toString();
    };
    QCOMPARE(cell(0, 0), QString());
    const QStringList expected = {"42",
                                  "0%",
                                  "ABC",
                                  "Ref",
                                  Conversions::generalDateText(job.gDateOpen, QLocale::c()),
                                  "",
                                  "0",
                                  "one",
                                  "two",
                                  "three",
                                  "https://jobs.example/x.wav",
                                  QDir::toNativeSeparators("/home/ann/Jobs/2003/ABC.wav")};
    for (int subItem = 1; subItem <= 12; ++subItem)
        QCOMPARE(cell(0, subItem), expected[subItem - 1]);
    QVERIFY(cell(0, 5).contains(QLatin1String("23:59:59")));
    QVERIFY(!cell(1, 5).contains(QLatin1Char(':')));
    QCOMPARE(cell(1, 1), QStringLiteral("43"));
    QCOMPARE(model.data(model.index(0, 0), JobListModel::PriorityRole).toInt(), 4);
    QCOMPARE(model.data(model.index(0, 0), Qt::DecorationRole).toInt(), 40);
    QVERIFY(!model.data(model.index(0, 1), Qt::DecorationRole).isValid());
}

void tst_JobIndex::populateManyRowsInOneReset()
{
    JobCollection jobs;
    for (int i = 1; i <= 100000; ++i) {
        Job job;
        job.gLngID = QString::number(i);
        QVERIFY(jobs.Add(job, job.gLngID));
    }
    JobListModel model;
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserts(&model, &QAbstractItemModel::rowsInserted);
    PopulateJobList(model, jobs);
    QCOMPARE(model.rowCount(), 100000);
    QCOMPARE(resets.count(), 1);
    QCOMPARE(inserts.count(), 0);
    QCOMPARE(model.subItemText(99999, JobListModel::SubItemJobId), QStringLiteral("100000"));
    PopulateJobList(model, JobCollection());
    QCOMPARE(model.rowCount(), 0);
}

void tst_JobIndex::subItemsAndRemoval()
{
    JobListModel model;
    std::vector<JobListModel::Row> rows(3);
    for (int i = 0; i < 3; ++i)
        rows[size_t(i)].subItems[0] = QString::number(i + 1);
    model.setRows(std::move(rows));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setSubItemText(0, JobListModel::SubItemProgress, QStringLiteral("50%"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toModelIndex(), model.index(0, 2));
    QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("50%"));
    model.removeRow(0);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.subItemText(0, JobListModel::SubItemJobId), QStringLiteral("2"));
    // Outside the list nothing happens.
    model.setSubItemText(5, 1, QStringLiteral("x"));
    model.removeRow(7);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.subItemText(5, 1), QString());
}

QTEST_GUILESS_MAIN(tst_JobIndex)
#include "tst_jobindex.moc"
