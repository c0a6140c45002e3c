#pragma once

#include <QString>
#include <QStringList>

// The one place that keeps secrets out of what the program shows or prints.
// Every password this process has held for a service is remembered; each text
// for the user (message boxes, status bar, notices, lists, standard error,
// JSON) goes through scrub() before anything cuts it or strips its markup,
// and every line built from the service's text through cleanLine().
namespace Secrets {

// Remembers `secret` (a password) for every later scrub; empty ones are not.
void remember(const QString &secret);

// Remembers the password of a URL's user:password@ part, if it has one.
void rememberUrlPassword(const QString &url);

// `text` with every remembered secret, and each of `extra`, replaced by "***"
// in every form a service may echo it: as typed, percent-encoded with either
// hex case and "+" for blanks, and HTML/XML-escaped (named and numeric
// entities), any mix of these character by character. A secret shorter than
// 4 characters is replaced only where it stands as a query value. Also
// replaced: the values of PW= and LG= query parameters and the user:password
// part of any URL.
QString scrub(QString text, const QStringList &extra = {});

// `text` with control characters (C0, DEL, C1), line and paragraph separators
// and bidirectional embeddings, overrides and isolates each replaced by
// U+FFFD, so that it stays one line and cannot drive a terminal.
QString cleanLine(QString text);

// As cleanLine(), but the program's own line breaks stay.
QString cleanText(QString text);

// A line for the user: scrubbed, then cleaned.
inline QString shown(const QString &text)
{
    return cleanLine(scrub(text));
}

} // namespace Secrets
