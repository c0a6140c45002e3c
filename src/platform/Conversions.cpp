#include "platform/Conversions.h"

#include <QFileInfo>

#include <QRegularExpression>
#include <QTimeZone>

#include <cmath>
#include <limits>

namespace Conversions {

namespace {

// Plain decimal digits with an optional minus sign, as the job service sends
// its numbers; nothing for any other text.
std::optional<double> plainInteger(QStringView text)
{
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QStringView digits = negative ? text.mid(1) : text;
    if (digits.isEmpty() || digits.size() > 15)
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : digits) {
        if (c.unicode() < '0' || c.unicode() > '9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    return double(negative ? -value : value);
}

std::optional<double> parseNumber(const QString &text, const QLocale &locale)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    if (const std::optional<double> plain = plainInteger(trimmed))
        return plain;
    bool ok = false;
    double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok)
        value = locale.toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Short date formats of some locales carry a two-digit year; a four-digit year
// must always be accepted, and is the clearer form to show.
QString withFourDigitYear(QString format)
{
    if (format.contains(QLatin1String("yyyy")))
        return format;
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    return format.replace(twoDigitYear, QStringLiteral("yyyy"));
}

// Qt's long time format carries the time zone ("t"); the program shows the
// time of day only.
QString withoutTimeZone(QString format)
{
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b"));
    return format.remove(zone).trimmed();
}

// "yyyy-MM-dd hh:mm:ss" (or with "T"): the date and time, invalid when a
// value is out of range; nothing when the text has another shape.
std::optional<QDateTime> plainIsoDateTime(const QString &text)
{
    if (text.size() != 19)
        return std::nullopt;
    static const char shape[] = "dddd-dd-dd dd:dd:dd";
    for (int i = 0; i < 19; ++i) {
        const QChar c = text.at(i);
        if (shape[i] == 'd' ? c.unicode() < '0' || c.unicode() > '9'
                            : c != QLatin1Char(shape[i]) && !(i == 10 && c == QLatin1Char('T')))
            return std::nullopt;
    }
    const auto number = [&](int from, int length) {
        int value = 0;
        for (int i = from; i < from + length; ++i)
            value = value * 10 + (text.at(i).unicode() - '0');
        return value;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}

std::optional<QDateTime> tryFormats(const QString &text, const QStringList &formats,
                                    const QLocale &locale)
{
    for (const QString &format : formats) {
        QDateTime value = locale.toDateTime(text, format);
        if (value.isValid())
            return value;
        // A date-only format leaves the time at midnight.
        const QDate date = locale.toDate(text, format);
        if (date.isValid())
            return QDateTime(date, QTime(0, 0));
    }
    return std::nullopt;
}

} // namespace

std::optional<qint64> toWholeNumber(const QString &text, qint64 minimum, qint64 maximum)
{
    const std::optional<double> number = parseNumber(text, QLocale());
    if (!number)
        return std::nullopt;
    // nearbyint follows the default rounding mode, round-half-to-even.
    const double rounded = std::nearbyint(*number);
    if (rounded < static_cast<double>(minimum) || rounded > static_cast<double>(maximum))
        return std::nullopt;
    return static_cast<qint64>(rounded);
}

std::optional<qint32> toLong(const QString &text)
{
    const auto value =
        toWholeNumber(text, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
    if (!value)
        return std::nullopt;
    return static_cast<qint32>(*value);
}

std::optional<quint8> toByte(const QString &text)
{
    const auto value = toWholeNumber(text, 0, 255);
    if (!value)
        return std::nullopt;
    return static_cast<quint8>(*value);
}

std::optional<bool> toBoolean(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    const std::optional<double> number = parseNumber(trimmed, QLocale());
    if (!number)
        return std::nullopt;
    return *number != 0.0;
}

std::optional<QDateTime> toDateTime(const QString &text, const QLocale &locale)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;

    // The form the job service sends, read without the general machinery
    // below: "2003-12-31 23:59:59" or "2003-12-31T23:59:59".
    if (const std::optional<QDateTime> plain = plainIsoDateTime(trimmed))
        return plain->isValid() ? plain : std::nullopt;

    // ISO 8601: "2003-12-31T23:59:59", "2003-12-31 23:59:59", with optional
    // fractions and offset, or the date alone.
    static const QRegularExpression iso(QStringLiteral(
        "^\\d{4}-\\d{2}-\\d{2}([T ]\\d{2}:\\d{2}(:\\d{2}(\\.\\d+)?)?(Z|[+-]\\d{2}:?\\d{2})?)?$"));
    if (iso.match(trimmed).hasMatch()) {
        QString isoText = trimmed;
        if (isoText.size() > 10 && isoText.at(10) == QLatin1Char(' '))
            isoText[10] = QLatin1Char('T');
        const QDateTime value = QDateTime::fromString(isoText, Qt::ISODateWithMs);
        if (value.isValid())
            return value;
        return std::nullopt;
    }

    static const QStringList usFormats = {
        QStringLiteral("M/d/yyyy h:mm:ss AP"),
        QStringLiteral("M/d/yyyy h:mm AP"),
        QStringLiteral("M/d/yyyy H:mm:ss"),
        QStringLiteral("M/d/yyyy H:mm"),
        QStringLiteral("M/d/yyyy"),
    };
    if (auto value = tryFormats(trimmed, usFormats, QLocale::c()))
        return value;

    const QString shortDate = withFourDigitYear(locale.dateFormat(QLocale::ShortFormat));
    const QString shortTime = locale.timeFormat(QLocale::ShortFormat);
    const QString longTime = withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    const QStringList localeFormats = {
        shortDate + QLatin1Char(' ') + longTime,
        shortDate + QLatin1Char(' ') + shortTime,
        withFourDigitYear(locale.dateTimeFormat(QLocale::ShortFormat)),
        shortDate,
        locale.dateFormat(QLocale::ShortFormat),
    };
    return tryFormats(trimmed, localeFormats, locale);
}

QString formatDatePattern(const QDateTime &value, const QString &pattern)
{
    const QDate date = value.date();
    const QTime time = value.time();
    QString out;
    out.reserve(pattern.size() + 4);
    const auto digits = [&out](int number, int width) {
        char text[12];
        int length = 0;
        unsigned n = unsigned(std::abs(number));
        do {
            text[length++] = char('0' + n % 10);
            n /= 10;
        } while (n && length < 11);
        if (number < 0)
            out += QLatin1Char('-');
        for (int pad = length; pad < width; ++pad)
            out += QLatin1Char('0');
        while (length)
            out += QLatin1Char(text[--length]);
    };

    for (qsizetype i = 0; i < pattern.size();) {
        const QStringView rest = QStringView(pattern).mid(i);
        if (rest.startsWith(QLatin1String("yyyy"), Qt::CaseInsensitive)) {
            digits(date.year(), 4);
            i += 4;
            continue;
        }
        struct Element
        {
            const char *letters;
            int value;
        };
        const Element elements[] = {{"mm", date.month()},
                                    {"dd", date.day()},
                                    {"hh", time.hour()},
                                    {"nn", time.minute()},
                                    {"ss", time.second()}};
        bool matched = false;
        for (const Element &element : elements) {
            if (rest.startsWith(QLatin1String(element.letters), Qt::CaseInsensitive)) {
                digits(element.value, 2);
                i += 2;
                matched = true;
                break;
            }
        }
        if (!matched)
            out += pattern.at(i++);
    }
    return out;
}

QString generalDateText(const QDateTime &value, const QLocale &locale)
{
    QString text =
        locale.toString(value.date(), withFourDigitYear(locale.dateFormat(QLocale::ShortFormat)));
    if (value.time() != QTime(0, 0)) {
        text += QLatin1Char(' ');
        text +=
            locale.toString(value.time(), withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
    }
    return text;
}

QString numberText(double value, const QLocale &locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return plain.toString(value, 'g', QLocale::FloatingPointShortest);
}

void cacheLocalTimeZone()
{
#ifndef Q_OS_WIN
    if (!qEnvironmentVariableIsSet("TZ") && QFileInfo::exists(QStringLiteral("/etc/localtime")))
        qputenv("TZ", ":/etc/localtime");
#endif
}

} // namespace Conversions
