#include "service/ServiceUrls.h"

#include "profiles/Profile.h"

#include <QRegularExpression>

#include <algorithm>

namespace ServiceUrls {

QString queryValue(const QString &value)
{
    const auto breaksQuery = [](QChar c) {
        const char16_t u = c.unicode();
        return u < 0x21 || u >= 0x7f || u == '&' || u == '#' || u == '+' || u == '%' || u == '=' ||
               u == '?';
    };
    if (std::none_of(value.begin(), value.end(), breaksQuery))
        return value;

    QString encoded;
    encoded.reserve(value.size() * 3);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (!breaksQuery(c)) {
            encoded += c;
            continue;
        }
        // A surrogate pair is one character: both halves go through UTF-8 together.
        const qsizetype length =
            c.isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate() ? 2 : 1;
        const QByteArray bytes = QStringView(value).mid(i, length).toUtf8();
        for (const char byte : bytes)
            encoded += QStringLiteral("%%1").arg(uchar(byte), 2, 16, QLatin1Char('0')).toUpper();
        i += length - 1;
    }
    return encoded;
}

QString indexUrlText(const Profile &profile)
{
    return profile.gStrBaseURL + QStringLiteral("job_index.asp?SessionID=") +
           queryValue(profile.GetGUID()) + QStringLiteral("&LG=") + queryValue(profile.GetLogin()) +
           QStringLiteral("&PW=") + queryValue(profile.GetPassword());
}

QString statusUrlText(const Profile &profile, const QString &jobId)
{
    return profile.gStrBaseURL + QStringLiteral("job_status_update.asp?ID=") + queryValue(jobId) +
           QStringLiteral("&LG=") + queryValue(profile.GetLogin()) + QStringLiteral("&PW=") +
           queryValue(profile.GetPassword());
}

QUrl toUrl(const QString &text)
{
    return QUrl(text, QUrl::TolerantMode);
}

bool travelsInClear(const QString &baseUrl)
{
    const QUrl url = toUrl(baseUrl.trimmed());
    if (url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0)
        return false;
    const QString host = url.host().toLower();
    static const QRegularExpression ipv4Loopback(QStringLiteral("^127(\\.\\d{1,3}){3}$"));
    return host != QLatin1String("localhost") && !host.endsWith(QLatin1String(".localhost")) &&
           host != QLatin1String("::1") && !ipv4Loopback.match(host).hasMatch();
}

QString inClearText()
{
    return QStringLiteral(
        "The service address is not https: the login and password travel unencrypted.");
}

} // namespace ServiceUrls
