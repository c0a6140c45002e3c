#include "platform/Conversions.h"

#include <QTest>

using namespace Conversions;

namespace {

// Each conversion with its result as text: the number, the ISO date and time,
// or the formatted date. Empty when the conversion fails.
struct Shown
{
    static QString longNumber(const QString &t) { return number(Conversions::toLong(t)); }
    static QString byte(const QString &t) { return number(Conversions::toByte(t)); }
    static QString boolean(const QString &t) { return number(Conversions::toBoolean(t)); }
    // In the default locale, set to US English.
    static QString usDate(const QString &t) { return iso(toDateTime(t)); }
    static QString germanDate(const QString &t) { return iso(toDateTime(t, german())); }
    // Formats 0987-01-02 13:04:05.
    static QString pattern(const QString &t) { return formatDatePattern(patternDate(), t); }
    // `t`: an ISO date and time.
    static QString generalDate(const QString &t) { return generalDateText(fromIso(t)); }

    static QString number(std::optional<qint64> v) { return v ? QString::number(*v) : QString(); }
    // A value given but invalid shows as "invalid".
    static QString iso(std::optional<QDateTime> v)
    {
        return !v ? QString() : v->isValid() ? v->toString(Qt::ISODate) : QStringLiteral("invalid");
    }
    static QDateTime patternDate() { return QDateTime(QDate(987, 1, 2), QTime(13, 4, 5)); }
    static QLocale german() { return QLocale(QLocale::German, QLocale::Germany); }
    static QDateTime fromIso(const QString &t) { return QDateTime::fromString(t, Qt::ISODate); }
};

using Conversion = QString (*)(const QString &);

} // namespace

Q_DECLARE_METATYPE(Conversion)

class tst_Conversions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void conversions_data();
    void conversions();
};

void tst_Conversions::conversions_data()
{
    QTest::addColumn<Conversion>("conversion");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char *name, Conversion conversion, const char *text,
                        const char *expected) {
        QTest::newRow(name) << conversion << QString::fromUtf8(text) << QString::fromUtf8(expected);
    };
    row("leading zeros", Shown::longNumber, "0042", "42");
    row("2.5 to even 2", Shown::longNumber, "2.5", "2");
    row("3.5 to even 4", Shown::longNumber, "3.5", "4");
    row("long min", Shown::longNumber, "-2147483648", "-2147483648");
    row("long over", Shown::longNumber, "2147483648", "");
    row("blank", Shown::longNumber, "   ", "");
    row("trailing garbage", Shown::longNumber, "12abc", "");
    row("nan", Shown::longNumber, "nan", "");
    row("byte -1", Shown::byte, "-1", "");
    row("byte 255.5 rounds to 256", Shown::byte, "255.5", "");
    row("Boolean TRUE, blanks around", Shown::boolean, " TRUE ", "1");
    row("Boolean fAlSe", Shown::boolean, "fAlSe", "0");
    row("Boolean fraction non-zero", Shown::boolean, "0.25", "1");
    row("Boolean Tru fails", Shown::boolean, "Tru", "");

    const char *lastSecond = "2003-12-31T23:59:59";
    const char *lastDay = "2003-12-31T00:00:00";
    row("ISO with T", Shown::usDate, lastSecond, lastSecond);
    row("ISO blanks around", Shown::usDate, "  2003-12-31 23:59:59 ", lastSecond);
    row("ISO date only", Shown::usDate, "2003-12-31", lastDay);
    row("US 12-hour PM", Shown::usDate, "12/31/2003 11:59:59 PM", lastSecond);
    row("German", Shown::germanDate, "31.12.2003 23:59:59", lastSecond);
    row("C form whatever the locale", Shown::germanDate, "12/31/2003 11:59:59 PM", lastSecond);
    row("ISO month 13", Shown::usDate, "2003-13-01 00:00:00", "");
    row("US day 32", Shown::usDate, "12/32/2003", "");

    row("pattern with leading zeros", Shown::pattern, "YYYYMMDD_HHNNSS", "09870102_130405");
    row("other characters copied", Shown::pattern, "at [HH] x", "at [13] x");
    row("midnight shows date only", Shown::generalDate, lastDay, "12/31/2003");
}

void tst_Conversions::conversions()
{
    QFETCH(Conversion, conversion);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(conversion(text), expected);
    // A shown date reads back to the same value.
    if (conversion == Shown::generalDate)
        QCOMPARE(Shown::usDate(expected), text);
}

QTEST_GUILESS_MAIN(tst_Conversions)
#include "tst_conversions.moc"
