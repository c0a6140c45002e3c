#include "service/JobCollection.h"

#include <QTest>

class tst_JobIndex : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void collectionKeys_data();
    void collectionKeys();
    void collectionOrderAndPositions();
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

QTEST_GUILESS_MAIN(tst_JobIndex)
#include "tst_jobindex.moc"
