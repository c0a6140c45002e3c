#include "platform/Conversions.h"

#include <QTest>

using namespace Conversions;

class tst_Conversions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void wholeNumbers_data();
    void wholeNumbers();
    void booleans_data();
    void booleans();
    void dateTimes_data();
    void dateTimes();
    void localeDates();
    void datePatterns_data();
    void datePatterns();
    void generalDate_data();
    void generalDate();
};

void tst_Conversions::wholeNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isLong");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("plain") << "42" << true << true << qint64(42);
    QTest::newRow("leading zeros") << "0042" << true << true << qint64(42);
    QTest::newRow("blanks around") << "  17 " << true << true << qint64(17);
    QTest::newRow("2.5 to even 2") << "2.5" << true << true << qint64(2);
    QTest::newRow("3.5 to even 4") << "3.5" << true << true << qint64(4);
    QTest::newRow("-2.5 to even -2") << "-2.5" << true << true << qint64(-2);
    QTest::newRow("2.51 up") << "2.51" << true << true << qint64(3);
    QTest::newRow("long max") << "2147483647" << true << true << qint64(2147483647);
    QTest::newRow("long min") << "-2147483648" << true << true << qint64(-2147483648LL);
    QTest::newRow("long over") << "2147483648" << true << false << qint64(0);
    QTest::newRow("long under") << "-2147483649" << true << false << qint64(0);
    QTest::newRow("huge") << "1e30" << true << false << qint64(0);
    QTest::newRow("empty") << "" << true << false << qint64(0);
    QTest::newRow("blank") << "   " << true << false << qint64(0);
    QTest::newRow("word") << "abc" << true << false << qint64(0);
    QTest::newRow("trailing garbage") << "12abc" << true << false << qint64(0);
    QTest::newRow("inf") << "inf" << true << false << qint64(0);
    QTest::newRow("nan") << "nan" << true << false << qint64(0);
    QTest::newRow("byte 0") << "0" << false << true << qint64(0);
    QTest::newRow("byte 255") << "255" << false << true << qint64(255);
    QTest::newRow("byte 256") << "256" << false << false << qint64(0);
    QTest::newRow("byte -1") << "-1" << false << false << qint64(0);
    QTest::newRow("byte 12.5 to 12") << "12.5" << false << true << qint64(12);
    QTest::newRow("byte 255.5 rounds to 256") << "255.5" << false << false << qint64(0);
    QTest::newRow("byte -0.4 rounds to 0") << "-0.4" << false << true << qint64(0);
}

void tst_Conversions::wholeNumbers()
{
    QFETCH(QString, text);
    QFETCH(bool, isLong);
    QFETCH(bool, ok);
    QFETCH(qint64, expected);
    if (isLong) {
        const auto value = toLong(text);
        QCOMPARE(value.has_value(), ok);
        if (ok)
            QCOMPARE(qint64(*value), expected);
    } else {
        const auto value = toByte(text);
        QCOMPARE(value.has_value(), ok);
        if (ok)
            QCOMPARE(qint64(*value), expected);
    }
}

void tst_Conversions::booleans_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("expected");
    QTest::newRow("True") << "True" << true << true;
    QTest::newRow("false lower") << "false" << true << false;
    QTest::newRow("TRUE upper") << "TRUE" << true << true;
    QTest::newRow("fAlSe mixed") << "fAlSe" << true << false;
    QTest::newRow("zero") << "0" << true << false;
    QTest::newRow("one") << "1" << true << true;
    QTest::newRow("minus one") << "-1" << true << true;
    QTest::newRow("fraction non-zero") << "0.25" << true << true;
    QTest::newRow("empty fails") << "" << false << false;
    QTest::newRow("yes fails") << "yes" << false << false;
    QTest::newRow("Tru fails") << "Tru" << false << false;
}

void tst_Conversions::booleans()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(bool, expected);
    const auto value = toBoolean(text);
    QCOMPARE(value.has_value(), ok);
    if (ok)
        QCOMPARE(*value, expected);
}

void tst_Conversions::dateTimes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    const QDateTime lastSecond(QDate(2003, 12, 31), QTime(23, 59, 59));
    const QDateTime invalid;
    QTest::newRow("ISO with T") << "2003-12-31T23:59:59" << lastSecond;
    QTest::newRow("ISO with blank") << "2003-12-31 23:59:59" << lastSecond;
    QTest::newRow("ISO blanks around") << "  2003-12-31 23:59:59 " << lastSecond;
    QTest::newRow("ISO without seconds")
        << "2003-12-31 23:59" << QDateTime(QDate(2003, 12, 31), QTime(23, 59));
    QTest::newRow("ISO date only") << "2003-12-31" << QDateTime(QDate(2003, 12, 31), QTime(0, 0));
    QTest::newRow("US 12-hour PM") << "12/31/2003 11:59:59 PM" << lastSecond;
    QTest::newRow("US 12-hour AM")
        << "1/2/2004 9:05:00 AM" << QDateTime(QDate(2004, 1, 2), QTime(9, 5));
    QTest::newRow("US 24-hour") << "12/31/2003 23:59:59" << lastSecond;
    QTest::newRow("US date only") << "12/31/2003" << QDateTime(QDate(2003, 12, 31), QTime(0, 0));
    QTest::newRow("ISO month 13") << "2003-13-01 00:00:00" << invalid;
    QTest::newRow("US day 32") << "12/32/2003" << invalid;
    QTest::newRow("empty") << "" << invalid;
    QTest::newRow("words") << "yesterday" << invalid;
}

void tst_Conversions::dateTimes()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const auto value = toDateTime(text);
    QCOMPARE(value.has_value(), expected.isValid());
    if (value)
        QCOMPARE(*value, expected);
}

void tst_Conversions::localeDates()
{
    const QLocale german(QLocale::German, QLocale::Germany);
    const auto withTime = toDateTime(QStringLiteral("31.12.2003 23:59:59"), german);
    QVERIFY(withTime);
    QCOMPARE(*withTime, QDateTime(QDate(2003, 12, 31), QTime(23, 59, 59)));
    const auto dateOnly = toDateTime(QStringLiteral("31.12.2003"), german);
    QVERIFY(dateOnly);
    QCOMPARE(dateOnly->date(), QDate(2003, 12, 31));
    // ISO and the C form are read whatever the user's locale.
    QVERIFY(toDateTime(QStringLiteral("2003-12-31 23:59:59"), german));
    QVERIFY(toDateTime(QStringLiteral("12/31/2003 11:59:59 PM"), german));
}

void tst_Conversions::datePatterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    QTest::newRow("date") << "YYYYMMDD"
                          << "20031231";
    QTest::newRow("date and time") << "YYYYMMDD_HHNNSS"
                                   << "20031231_235959";
    QTest::newRow("time") << "HHNNSS"
                          << "235959";
    QTest::newRow("lower case") << "yyyymmdd"
                                << "20031231";
    QTest::newRow("mixed case") << "yYyY-Mm-dD hH.nN.Ss"
                                << "2003-12-31 23.59.59";
    QTest::newRow("other characters copied") << "at [HH] x"
                                             << "at [23] x";
    QTest::newRow("empty pattern") << ""
                                   << "";
}

void tst_Conversions::datePatterns()
{
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(formatDatePattern(QDateTime(QDate(2003, 12, 31), QTime(23, 59, 59)), pattern),
             expected);
    // Fixed widths: leading zeros on every element, 24-hour clock.
    QCOMPARE(formatDatePattern(QDateTime(QDate(987, 1, 2), QTime(3, 4, 5)),
                               QStringLiteral("yyyymmdd_hhnnss")),
             QStringLiteral("09870102_030405"));
    QCOMPARE(formatDatePattern(QDateTime(QDate(2004, 6, 7), QTime(13, 0, 0)), QStringLiteral("hh")),
             QStringLiteral("13"));
}

void tst_Conversions::generalDate_data()
{
    QTest::addColumn<QDateTime>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("midnight shows date only")
        << QDateTime(QDate(2003, 12, 31), QTime(0, 0)) << "12/31/2003";
    QTest::newRow("afternoon") << QDateTime(QDate(2003, 12, 31), QTime(23, 59, 59))
                               << "12/31/2003 11:59:59 PM";
    QTest::newRow("one second past midnight")
        << QDateTime(QDate(2004, 1, 2), QTime(0, 0, 1)) << "1/2/2004 12:00:01 AM";
}

void tst_Conversions::generalDate()
{
    QFETCH(QDateTime, value);
    QFETCH(QString, expected);
    QCOMPARE(generalDateText(value), expected);
    // What is shown reads back to the same value.
    QCOMPARE(*toDateTime(generalDateText(value)), value);
}

QTEST_GUILESS_MAIN(tst_Conversions)
#include "tst_conversions.moc"
