#include "platform/Secrets.h"

#include <QHash>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <mutex>

namespace {

std::mutex &lock()
{
    static std::mutex mutex;
    return mutex;
}

QStringList &remembered()
{
    static QStringList secrets;
    return secrets;
}

// HTML's names of U+00C0 to U+00FF, the accented letters of Western passwords.
constexpr const char *latinNames =
    "Agrave Aacute Acirc Atilde Auml Aring AElig Ccedil Egrave Eacute Ecirc Euml Igrave Iacute "
    "Icirc Iuml ETH Ntilde Ograve Oacute Ocirc Otilde Ouml times Oslash Ugrave Uacute Ucirc Uuml "
    "Yacute THORN szlig agrave aacute acirc atilde auml aring aelig ccedil egrave eacute ecirc "
    "euml igrave iacute icirc iuml eth ntilde ograve oacute ocirc otilde ouml divide oslash "
    "ugrave uacute ucirc uuml yacute thorn yuml";

// A hex digit that matches in either case.
QString anyCase(QChar digit)
{
    return digit.isLetter() ? QStringLiteral("[%1%2]").arg(digit.toUpper(), digit.toLower())
                            : QString(digit);
}

// Every spelling of one character (one code point) that an echo may hold.
QString characterForms(const QString &character)
{
    QStringList forms{QRegularExpression::escape(character)};
    QString percent;
    for (const char byte : character.toUtf8()) {
        const QString hex = QStringLiteral("%1").arg(uchar(byte), 2, 16, QLatin1Char('0'));
        percent += QLatin1Char('%') + anyCase(hex.at(0)) + anyCase(hex.at(1));
    }
    forms << percent;
    const char32_t code = character.toUcs4().value(0);
    QString hex;
    for (const QChar digit : QString::number(code, 16))
        hex += anyCase(digit);
    forms << QStringLiteral("&#0{0,4}%1;").arg(code) << QStringLiteral("&#[xX]0{0,4}%1;").arg(hex);
    static const QHash<char32_t, QString> xmlNames{
        {'&', QStringLiteral("&amp;")},   {'<', QStringLiteral("&lt;")},
        {'>', QStringLiteral("&gt;")},    {'"', QStringLiteral("&quot;")},
        {'\'', QStringLiteral("&apos;")}, {' ', QStringLiteral("\\+")},
        {0xA0, QStringLiteral("&nbsp;")}};
    if (const auto name = xmlNames.constFind(code); name != xmlNames.constEnd())
        forms << *name;
    if (code >= 0xC0 && code <= 0xFF) {
        static const QStringList names = QString::fromLatin1(latinNames).split(QLatin1Char(' '));
        forms << QLatin1Char('&') + names.at(qsizetype(code - 0xC0)) + QLatin1Char(';');
    }
    return QStringLiteral("(?:%1)").arg(forms.join(QLatin1Char('|')));
}

// The pattern of a secret in all its forms; a short one only as a query value.
QRegularExpression secretPattern(const QString &secret)
{
    QString pattern;
    for (qsizetype i = 0; i < secret.size(); ++i) {
        const qsizetype length = secret.at(i).isHighSurrogate() && i + 1 < secret.size() ? 2 : 1;
        pattern += characterForms(secret.mid(i, length));
        i += length - 1;
    }
    if (secret.size() < 4)
        pattern = QStringLiteral("(?<==)%1(?=[&#;\"'<\\s]|$)").arg(pattern);
    return QRegularExpression(pattern);
}

// Compiled once per secret.
const QRegularExpression &patternOf(const QString &secret)
{
    static QHash<QString, QRegularExpression> patterns;
    auto found = patterns.find(secret);
    if (found == patterns.end())
        found = patterns.insert(secret, secretPattern(secret));
    return *found;
}

bool breaksLine(QChar c, bool keepBreaks)
{
    const char16_t u = c.unicode();
    if (keepBreaks && u == '\n')
        return false;
    return c.category() == QChar::Other_Control || u == 0x2028 || u == 0x2029 ||
           (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

QString cleaned(QString text, bool keepBreaks)
{
    for (QChar &c : text)
        if (breaksLine(c, keepBreaks))
            c = QChar(0xFFFD);
    return text;
}

} // namespace

namespace Secrets {

void remember(const QString &secret)
{
    if (secret.isEmpty())
        return;
    const std::lock_guard guard(lock());
    if (!remembered().contains(secret))
        remembered().append(secret);
}

void rememberUrlPassword(const QString &url)
{
    remember(QUrl(url, QUrl::TolerantMode).password(QUrl::FullyDecoded));
}

QString scrub(QString text, const QStringList &extra)
{
    if (text.isEmpty())
        return text;
    QStringList secrets = extra;
    {
        const std::lock_guard guard(lock());
        secrets += remembered();
        // The longest first: a secret inside another leaves none of the other.
        std::sort(secrets.begin(), secrets.end(),
                  [](const QString &a, const QString &b) { return a.size() > b.size(); });
        for (const QString &secret : secrets)
            if (!secret.isEmpty())
                text.replace(patternOf(secret), QStringLiteral("***"));
    }
    static const QRegularExpression userInfo(
        QStringLiteral("([a-zA-Z][a-zA-Z0-9+.-]*://)[^/?#@\\s]*@"));
    static const QRegularExpression login(QStringLiteral("([?&;](?:PW|LG)=)[^&#\\s\"'<>]*"),
                                          QRegularExpression::CaseInsensitiveOption);
    text.replace(userInfo, QStringLiteral("\\1***@"));
    return text.replace(login, QStringLiteral("\\1***"));
}

QString cleanLine(QString text)
{
    return cleaned(std::move(text), false);
}

QString cleanText(QString text)
{
    return cleaned(std::move(text), true);
}

} // namespace Secrets
