#include "platform/Conversions.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "service/JobCollection.h"
#include "service/JobListModel.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString invalidIndex =
    QStringLiteral("Page contained invalid XML data, please check your profile settings!");

// One job element with all thirteen attributes; `overrides` replaces values,
// and a value of "-" leaves the attribute out.
QString jobElement(const QString &id, const QMap<QString, QString> &overrides = {},
                   const QString &element = QStringLiteral("job"))
{
    QList<QPair<QString, QString>> attributes = {
        {"job_id", id},
        {"job_name", "Job" + id},
        {"open_time", "2003-12-31 23:59:59"},
        {"department_name", "Cardiology"},
        {"dictator", "Dr Ann Smith"},
        {"reference", "R" + id},
        {"demographic_1", "d1"},
        {"demographic_2", "d2"},
        {"demographic_3", "d3"},
        {"path", "https://jobs.example/files/" + id + ".wav"},
        {"priority", "3"},
        {"dictator_first_name", "Ann"},
        {"dictator_last_name", "Smith"},
    };
    QString text = QLatin1Char('<') + element;
    for (const auto &[name, value] : attributes) {
        const QString actual = overrides.value(name, value);
        if (actual != QLatin1String("-"))
            text += QStringLiteral(" %1=\"%2\"").arg(name, actual.toHtmlEscaped());
    }
    return text + QStringLiteral("/>");
}

QString index(const QString &children)
{
    return QStringLiteral("<?xml version=\"1.0\"?>\n<jobs>\n  <user_id>17</user_id>\n  ") +
           children + QStringLiteral("\n</jobs>\n");
}

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
    void destinationUsesFolderAsStored();
    void conversions_data();
    void conversions();
    void readingReplacesTheCollection();
    void profileCreatedOnFirstUse();
    void largeIndexAcrossSlices();
    void entityExpansionRefused();
    void oversizedResponseRefused();
    void indexTextDecoding_data();
    void indexTextDecoding();

    void jobListLayout();
    void populateJobList();
    void populateManyRowsInOneReset();
    void subItemsAndRemoval();
};

void tst_JobIndex::collectionKeys_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("collide");
    QTest::newRow("same id") << "7"
                             << "7" << true;
    QTest::newRow("letter case ignored") << "ab"
                                         << "AB" << true;
    QTest::newRow("different ids") << "7"
                                   << "8" << false;
    QTest::newRow("7 and 07 as texts differ") << "7"
                                              << "07" << false;
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
    QTest::addColumn<QString>("xml");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("fails");

    const QString j1 = jobElement("1"), j2 = jobElement("2"), j3 = jobElement("3");
    QTest::newRow("no children") << "<jobs/>" << QStringList() << false;
    QTest::newRow("only user_id") << "<jobs><user_id>x</user_id></jobs>" << QStringList() << false;
    QTest::newRow("jobs in order, user_id skipped anywhere")
        << index(j2 + "<user_id><job_id>9</job_id></user_id>" + j1 + j3)
        << QStringList{"2", "1", "3"} << false;
    QTest::newRow("any element name")
        << index(jobElement("5", {}, "dictation") + jobElement("6", {}, "x"))
        << QStringList{"5", "6"} << false;
    QTest::newRow("id 0042 becomes 42") << index(jobElement("0042")) << QStringList{"42"} << false;
    QTest::newRow("7 and 007 collide, later jobs not read")
        << index(jobElement("7") + jobElement("007") + j1) << QStringList{"7"} << true;
    QTest::newRow("missing attribute keeps earlier jobs")
        << index(j1 + jobElement("2", {{"dictator", "-"}}) + j3) << QStringList{"1"} << true;
    QTest::newRow("priority 256") << index(j1 + jobElement("2", {{"priority", "256"}}))
                                  << QStringList{"1"} << true;
    QTest::newRow("priority -1") << index(jobElement("2", {{"priority", "-1"}})) << QStringList()
                                 << true;
    QTest::newRow("id not a number") << index(j1 + jobElement("x1")) << QStringList{"1"} << true;
    QTest::newRow("id beyond 32 bits") << index(jobElement("2147483648")) << QStringList() << true;
    QTest::newRow("open time unreadable")
        << index(j1 + jobElement("2", {{"open_time", "yesterday"}})) << QStringList{"1"} << true;
    QTest::newRow("source URL without a dot")
        << index(j1 + jobElement("2", {{"path", "https://jobs/file"}})) << QStringList{"1"} << true;
    QTest::newRow("comment is a job")
        << index(j1 + "<!-- note -->" + j2) << QStringList{"1"} << true;
    QTest::newRow("text is a job") << index(j1 + "stray" + j2) << QStringList{"1"} << true;
    QTest::newRow("whitespace is no child")
        << index(j1 + "\n\t  \n" + j2) << QStringList{"1", "2"} << false;
    QTest::newRow("empty response") << "" << QStringList() << true;
    QTest::newRow("HTML error page")
        << "<html><head><title>500</title></head><body><p>Server Error</p></body></html>"
        << QStringList() << true;
    QTest::newRow("not well-formed after good jobs")
        << index(j1 + j2) + "<trailing>" << QStringList() << true;
    QTest::newRow("first jobs element anywhere")
        << "<reply><status/><wrap><jobs>" + j1 + "</jobs></wrap><jobs>" + j2 + "</jobs></reply>"
        << QStringList{"1"} << false;
    QTest::newRow("nested jobs element is a job without attributes")
        << "<jobs>" + j1 + "<jobs>" + j2 + "</jobs></jobs>" << QStringList{"1"} << true;
    QTest::newRow("namespaced user_id skipped")
        << "<jobs xmlns:s=\"urn:service\"><s:user_id>4</s:user_id>" + j1 + "</jobs>"
        << QStringList{"1"} << false;
    QTest::newRow("prefixed jobs element is not the jobs element")
        << "<s:jobs xmlns:s=\"urn:service\">" + j1 + "</s:jobs>" << QStringList() << true;
    QTest::newRow("entity declarations refused")
        << "<!DOCTYPE jobs [<!ENTITY n \"Ann\">]><jobs>" +
               jobElement("1", {{"job_name", "-"}}).replace("/>", " job_name=\"&n;\"/>") + "</jobs>"
        << QStringList() << true;
    QTest::newRow("doctype without entities")
        << "<!DOCTYPE jobs><jobs>" + j1 + "</jobs>" << QStringList{"1"} << false;

    const auto nested = [](int levels, const QString &inner) {
        return QString("<a>").repeated(levels) + inner + QString("</a>").repeated(levels);
    };
    const QString deepJob = QString(j1).replace("/>", "><a/></job>");
    QTest::newRow("256 levels read")
        << nested(253, "<jobs>" + deepJob + "</jobs>") << QStringList{"1"} << false;
    QTest::newRow("257 levels refused")
        << nested(254, "<jobs>" + deepJob + "</jobs>") << QStringList() << true;
    QTest::newRow("60,000 levels refused")
        << nested(60000, "<jobs>" + j1 + "</jobs>") << QStringList() << true;
    // Several slices each, read while the reader's slices grow.
    const QString big(600 * 1024, QLatin1Char('x'));
    QTest::newRow("large comments before and inside jobs")
        << "<!--" + big + "--><jobs><user_id><!--" + big + "--></user_id>" + j1 + "</jobs>"
        << QStringList{"1"} << false;
    QTest::newRow("large CDATA and PI inside jobs")
        << "<jobs>" + j1 + "<user_id><![CDATA[" + big + "]]><?pi " + big + "?></user_id>" + j2 +
               "</jobs>"
        << QStringList{"1", "2"} << false;
}

void tst_JobIndex::reading()
{
    QFETCH(QString, xml);
    QFETCH(QStringList, expected);
    QFETCH(bool, fails);

    Reader reader;
    QCOMPARE(reader.read(xml), !fails);
    QCOMPARE(ids(reader.tools.gColDownloads), expected);
    if (fails) {
        QCOMPARE(reader.messages.messages.size(), 1);
        const Message &message = reader.messages.messages.first();
        QCOMPARE(message.text, invalidIndex);
        QCOMPARE(message.title, QStringLiteral("Error"));
        QCOMPARE(message.icon, MessageIcon::Critical);
    } else {
        QVERIFY(reader.messages.messages.isEmpty());
    }
}

void tst_JobIndex::fieldsOfAJob()
{
    Reader reader;
    QVERIFY(reader.read(index(
        jobElement(" 12 ", {{"job_name", "Letter & Co"}, {"open_time", "2003-12-31 23:59:59"}}))));
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
    // Not sent by the service.
    QVERIFY(job->gStrDictatorLogin.isEmpty());
    QVERIFY(job->gStrTemplate.isEmpty());
    QCOMPARE(job->gDblLength, 0.0);
    QCOMPARE(job->gLngBatchID, 0);
    QVERIFY(!job->gBlnDownloadCompleted);
    QVERIFY(!job->gBlnStatusUpdated);
}

void tst_JobIndex::destinationUsesFolderAsStored()
{
    Reader reader;
    reader.tools.gProfile().gStrDownloadFolder = QStringLiteral("C:\\Jobs\\");
    QVERIFY(reader.read(index(jobElement("1"))));
    QCOMPARE(reader.tools.gColDownloads.Item(1)->gStrDestinationPath,
             QStringLiteral("C:\\Jobs\\\\Job1.wav"));
}

void tst_JobIndex::conversions_data()
{
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("priority 12.5 halves to even") << "priority"
                                                  << "12.5"
                                                  << "12";
    QTest::newRow("priority 13.5 halves to even") << "priority"
                                                  << "13.5"
                                                  << "14";
    QTest::newRow("priority 255") << "priority"
                                  << "255"
                                  << "255";
    QTest::newRow("priority 0") << "priority"
                                << "0"
                                << "0";
    QTest::newRow("id 2.5") << "job_id"
                            << "2.5"
                            << "2";
    QTest::newRow("id negative") << "job_id"
                                 << "-3"
                                 << "-3";
    QTest::newRow("open time with T") << "open_time"
                                      << "2004-02-29T08:05:00"
                                      << "2004-02-29T08:05:00";
    QTest::newRow("open time US form") << "open_time"
                                       << "12/31/2003 11:59:59 PM"
                                       << "2003-12-31T23:59:59";
}

void tst_JobIndex::conversions()
{
    QFETCH(QString, attribute);
    QFETCH(QString, value);
    QFETCH(QString, expected);

    Reader reader;
    QVERIFY(reader.read(index(jobElement("1", {{attribute, value}}))));
    const Job *job = reader.tools.gColDownloads.Item(1);
    QVERIFY(job);
    if (attribute == QLatin1String("priority"))
        QCOMPARE(QString::number(job->gBytePriority), expected);
    else if (attribute == QLatin1String("job_id"))
        QCOMPARE(job->gLngID, expected);
    else
        QCOMPARE(job->gDateOpen.toString(Qt::ISODate), expected);
}

void tst_JobIndex::readingReplacesTheCollection()
{
    Reader reader;
    QVERIFY(reader.read(index(jobElement("1") + jobElement("2"))));
    QCOMPARE(reader.tools.gColDownloads.Count(), 2);
    QVERIFY(!reader.read(QStringLiteral("<html/>")));
    QCOMPARE(reader.tools.gColDownloads.Count(), 0);
    QVERIFY(reader.read(index(jobElement("3"))));
    QCOMPARE(ids(reader.tools.gColDownloads), QStringList{"3"});
}

void tst_JobIndex::profileCreatedOnFirstUse()
{
    RecordingMessageSink messages;
    DownloadTools tools(messages);
    Profile &profile = tools.gProfile();
    QVERIFY(profile.gFirstName.isEmpty());
    QVERIFY(profile.colDownloadRules.isEmpty());
    profile.gFirstName = QStringLiteral("Ann");
    QCOMPARE(&tools.gProfile(), &profile);
    QCOMPARE(tools.gProfile().gFirstName, QStringLiteral("Ann"));
}

void tst_JobIndex::largeIndexAcrossSlices()
{
    // Big enough to reach the reader in several slices, with a character
    // outside the BMP placed right across the first slice boundary.
    const QString smile = QString::fromUcs4(U"\U0001F600");
    const QString marked = jobElement("1", {{"job_name", "x" + smile}});
    const qsizetype boundary = 256 * 1024;
    QString text = QStringLiteral("<jobs>");
    text += QString(boundary - 1 - text.size() - marked.indexOf(smile), QLatin1Char(' '));
    text += marked;
    QCOMPARE(text.at(boundary - 1), smile.at(0));
    QStringList expected{"1"};
    for (int i = 2; i <= 3000; ++i) {
        text += jobElement(QString::number(i));
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
    QString laughs = QStringLiteral("<?xml version=\"1.0\"?>\n<!DOCTYPE jobs [\n"
                                    "<!ENTITY lol \"lol\">\n");
    for (int i = 1; i <= 9; ++i) {
        laughs += QStringLiteral("<!ENTITY lol%1 \"").arg(i);
        for (int k = 0; k < 10; ++k)
            laughs += QStringLiteral("&lol%1;").arg(i == 1 ? QString() : QString::number(i - 1));
        laughs += QStringLiteral("\">\n");
    }
    laughs += QStringLiteral("]>\n<jobs>") +
              jobElement("1", {{"job_name", "&lol9;"}}).replace("&amp;lol9;", "&lol9;") +
              QStringLiteral("</jobs>");

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
    QByteArray body = index(jobElement("1")).toUtf8();
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
    const QString xml = index(jobElement("1", {{"job_name", QStringLiteral("M\u00fcller")}}));
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

void tst_JobIndex::jobListLayout()
{
    JobListModel model;
    QCOMPARE(model.columnCount(), 13);
    const QStringList headers = {
        "",       "",      "",      "Job Name", "Reference",  "Open Time",       "Template",
        "Length", "Demo1", "Demo2", "Demo3",    "Source URL", "Destination File"};
    const QStringList keys = {"",
                              "",
                              "",
                              "Job_Name",
                              "JOB_REFERENCE",
                              "JOB_OPEN_TIME",
                              "JOB_TEMPLATE",
                              "JOB_LENGTH",
                              "DEMO1",
                              "DEMO2",
                              "DEMO3",
                              "URL",
                              "DESTINATION_FILE"};
    const QList<int> widths = {321,  0,    700,  1440, 1440, 1440, 1440,
                               1000, 1440, 1440, 1440, 1440, 1440};
    for (int column = 0; column < 13; ++column) {
        QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), headers[column]);
        QCOMPARE(JobListModel::columnKey(column), keys[column]);
        QCOMPARE(JobListModel::widthTwips(column), widths[column]);
        const bool centred = column == 2 || column == 7;
        QCOMPARE(bool(JobListModel::alignment(column) & Qt::AlignHCenter), centred);
    }
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
#ifdef Q_OS_WIN
                                  "\\home\\ann\\Jobs\\2003\\ABC.wav"
#else
                                  "/home/ann/Jobs/2003/ABC.wav"
#endif
    };
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
