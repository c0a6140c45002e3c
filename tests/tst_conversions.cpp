#include "platform/Conversions.h"

#include <QTest>

using namespace Conversions;

namespace {

enum class Kind
{
    Long,
    Byte,
    Boolean
};

const QDateTime lastSecond(QDate(2003, 12, 31), QTime(23, 59, 59));

} // namespace

Q_DECLARE_METATYPE(Kind)

class tst_Conversions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void numbersAndBooleans_data();
    void numbersAndBooleans();
    void dateTimes_data();
    void dateTimes();
    void datePatterns_data();
    void datePatterns();
    void generalDate_data();
    void generalDate();
};

void tst_Conversions::numbersAndBooleans_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("expected");

    const auto row = [](const char *name, Kind kind, const char *text, bool ok, qint64 value) {
        QTest::newRow(name) << kind << QString::fromUtf8(text) << ok << value;
    };
    row("leading zeros", Kind::Long, "0042", true, 42);
    row("blanks around", Kind::Long, "  17 ", true, 17);
    row("2.5 to even 2", Kind::Long, "2.5", true, 2);
    row("3.5 to even 4", Kind::Long, "3.5", true, 4);
    row("-2.5 to even -2", Kind::Long, "-2.5", true, -2);
    row("2.51 up", Kind::Long, "2.51", true, 3);
    row("long max", Kind::Long, "2147483647", true, 2147483647);
    row("long min", Kind::Long, "-2147483648", true, -2147483648LL);
    row("long over", Kind::Long, "2147483648", false, 0);
    row("long under", Kind::Long, "-2147483649", false, 0);
    row("huge", Kind::Long, "1e30", false, 0);
    row("empty", Kind::Long, "", false, 0);
    row("blank", Kind::Long, "   ", false, 0);
    row("trailing garbage", Kind::Long, "12abc", false, 0);
    row("inf", Kind::Long, "inf", false, 0);
    row("nan", Kind::Long, "nan", false, 0);
    row("byte 255", Kind::Byte, "255", true, 255);
    row("byte 256", Kind::Byte, "256", false, 0);
    row("byte -1", Kind::Byte, "-1", false, 0);
    row("byte 12.5 to 12", Kind::Byte, "12.5", true, 12);
    row("byte 255.5 rounds to 256", Kind::Byte, "255.5", false, 0);
    row("byte -0.4 rounds to 0", Kind::Byte, "-0.4", true, 0);
    row("Boolean TRUE", Kind::Boolean, "TRUE", true, 1);
    row("Boolean fAlSe", Kind::Boolean, "fAlSe", true, 0);
    row("Boolean 0", Kind::Boolean, "0", true, 0);
    row("Boolean -1", Kind::Boolean, "-1", true, 1);
    row("Boolean fraction non-zero", Kind::Boolean, "0.25", true, 1);
    row("Boolean empty fails", Kind::Boolean, "", false, 0);
    row("Boolean yes fails", Kind::Boolean, "yes", false, 0);
    row("Boolean Tru fails", Kind::Boolean, "Tru", false, 0);
}

void tst_Conversions::numbersAndBooleans()
{
    QFETCH(Kind, kind);
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(qint64, expected);
    std::optional<qint64> value;
    if (kind == Kind::Long && toLong(text))
        value = *toLong(text);
    else if (kind == Kind::Byte && toByte(text))
        value = *toByte(text);
    else if (kind == Kind::Boolean && toBoolean(text))
        value = *toBoolean(text);
    QCOMPARE(value.has_value(), ok);
    if (ok)
        QCOMPARE(*value, expected);
}

void tst_Conversions::dateTimes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDateTime>("expected");
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    const QDateTime lastDay(QDate(2003, 12, 31), QTime(0, 0));
    QTest::newRow("ISO with T") << "2003-12-31T23:59:59" << us << lastSecond;
    QTest::newRow("ISO blanks around") << "  2003-12-31 23:59:59 " << us << lastSecond;
    QTest::newRow("ISO without seconds")
        << "2003-12-31 23:59" << us << QDateTime(QDate(2003, 12, 31), QTime(23, 59));
    QTest::newRow("ISO date only") << "2003-12-31" << us << lastDay;
    QTest::newRow("US 12-hour PM") << "12/31/2003 11:59:59 PM" << us << lastSecond;
    QTest::newRow("US 12-hour AM")
        << "1/2/2004 9:05:00 AM" << us << QDateTime(QDate(2004, 1, 2), QTime(9, 5));
    QTest::newRow("US 24-hour") << "12/31/2003 23:59:59" << us << lastSecond;
    QTest::newRow("US date only") << "12/31/2003" << us << lastDay;
    QTest::newRow("German") << "31.12.2003 23:59:59" << german << lastSecond;
    QTest::newRow("German date only") << "31.12.2003" << german << lastDay;
    QTest::newRow("ISO whatever the locale") << "2003-12-31 23:59:59" << german << lastSecond;
    QTest::newRow("C form whatever the locale") << "12/31/2003 11:59:59 PM" << german << lastSecond;
    QTest::newRow("ISO month 13") << "2003-13-01 00:00:00" << us << QDateTime();
    QTest::newRow("US day 32") << "12/32/2003" << us << QDateTime();
    QTest::newRow("empty") << "" << us << QDateTime();
    QTest::newRow("words") << "yesterday" << us << QDateTime();
}

void tst_Conversions::dateTimes()
{
    QFETCH(QString, text);
    QFETCH(QLocale, locale);
    QFETCH(QDateTime, expected);
    const auto value = toDateTime(text, locale);
    QCOMPARE(value.has_value(), expected.isValid());
    if (value)
        QCOMPARE(*value, expected);
}

void tst_Conversions::datePatterns_data()
{
    QTest::addColumn<QDateTime>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, const QDateTime &value, const char *pattern,
                        const char *expected) {
        QTest::newRow(name) << value << QString::fromUtf8(pattern) << QString::fromUtf8(expected);
    };
    row("date and time", lastSecond, "YYYYMMDD_HHNNSS", "20031231_235959");
    row("mixed case", lastSecond, "yYyY-Mm-dD hH.nN.Ss", "2003-12-31 23.59.59");
    row("other characters copied", lastSecond, "at [HH] x", "at [23] x");
    row("empty pattern", lastSecond, "", "");
    row("leading zeros everywhere", QDateTime(QDate(987, 1, 2), QTime(3, 4, 5)), "yyyymmdd_hhnnss",
        "09870102_030405");
    row("24-hour clock", QDateTime(QDate(2004, 6, 7), QTime(13, 0, 0)), "hh", "13");
}

void tst_Conversions::datePatterns()
{
    QFETCH(QDateTime, value);
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(formatDatePattern(value, pattern), expected);
}

void tst_Conversions::generalDate_data()
{
    QTest::addColumn<QDateTime>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("midnight shows date only")
        << QDateTime(QDate(2003, 12, 31), QTime(0, 0)) << "12/31/2003";
    QTest::newRow("afternoon") << lastSecond << "12/31/2003 11:59:59 PM";
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
