#pragma once

#include <QString>
#include <QUrl>

class Profile;

// The two pages of the job service and the URLs the program sends them.
namespace ServiceUrls {

// The value as it goes into a query: percent-encoded (UTF-8) only where it
// holds a character that would break the query (& # + % = ? blank, control
// or non-ASCII characters); any other value goes as it stands.
QString queryValue(const QString &value);

// base URL + "job_index.asp?SessionID=" + GUID + "&LG=" + login + "&PW=" + password
QString indexUrlText(const Profile &profile);

// base URL + "job_status_update.asp?ID=" + id + "&LG=" + login + "&PW=" + password
QString statusUrlText(const Profile &profile, const QString &jobId);

QUrl toUrl(const QString &text);

// Whether a service at `baseUrl` gets the login and password readable by the
// network: plain http to a host other than this machine.
bool travelsInClear(const QString &baseUrl);

// "The service address is not https: the login and password travel unencrypted."
QString inClearText();

} // namespace ServiceUrls
