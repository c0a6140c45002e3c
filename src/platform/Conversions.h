#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

// Text conversions that follow the user's locale where the program shows or
// reads dates, and fixed rules for the numbers stored in files and sent by the
// job service. Every conversion that can fail returns an empty optional; the
// caller turns that into the program's own message.
namespace Conversions {

// A whole number within [minimum, maximum]. Blanks around the text are allowed;
// a fraction is rounded to the nearest whole number with halves going to the
// even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2). Not a number, or out of
// range after rounding: empty.
std::optional<qint64> toWholeNumber(const QString &text, qint64 minimum, qint64 maximum);

// 32-bit signed whole number.
std::optional<qint32> toLong(const QString &text);

// Whole number 0..255.
std::optional<quint8> toByte(const QString &text);

// "True" / "False" in any letter case, or a number (true when non-zero).
std::optional<bool> toBoolean(const QString &text);

// A date and time in one of the accepted forms: ISO 8601 with a blank or "T"
// between date and time (seconds and fractions optional, or a date alone), the
// C/US form "12/31/2003 11:59:59 PM" (also 24-hour and date alone), and the
// locale's short date and date-time forms, where a four-digit year is always
// accepted. Times without an offset are local times.
std::optional<QDateTime> toDateTime(const QString &text, const QLocale &locale = QLocale());

// Formats a date by a pattern of the elements yyyy, mm, dd, hh (00-23), nn and
// ss, letters compared without regard to case; every other character is copied.
QString formatDatePattern(const QDateTime &value, const QString &pattern);

// The general date text for display: the locale's short date (four-digit year)
// followed by a blank and the long time, unless the time of day is midnight.
QString generalDateText(const QDateTime &value, const QLocale &locale = QLocale());

// The default number-to-text conversion: shortest form, no thousands separators.
QString numberText(double value, const QLocale &locale = QLocale());

// Lets the C library keep the local time zone it has read. With TZ unset,
// every local date conversion checks the zone file again; naming the same
// file once makes a hundred thousand job dates as cheap as one. Changes
// nothing where TZ is set. Call at start-up, before any thread starts.
void cacheLocalTimeZone();

} // namespace Conversions
