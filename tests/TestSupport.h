#pragma once

#include "platform/Paths.h"
#include "service/ServiceUrls.h"

#include <QFile>
#include <QLibrary>
#include <QMap>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

// A window's control by its object name; a missing one ends the test run.
template <class T> T *control(const QObject &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// A fresh temporary folder per test with the Profiles folder inside it.
struct TestFolder
{
    QTemporaryDir dir;

    TestFolder()
    {
        QStandardPaths::setTestModeEnabled(true);
        Paths::setProfilesFolder(profiles());
    }
    ~TestFolder() { Paths::setProfilesFolder(QString()); }

    QString path(const QString &name = QString()) const
    {
        return name.isEmpty() ? dir.path() : dir.filePath(name);
    }
    QString profiles() const { return dir.filePath(QStringLiteral("Profiles")); }
    QString profile(const QString &name) const { return profiles() + QLatin1Char('/') + name; }
};

// Whether this runs under Wine, whose sockets and certificate checks are not
// quite those of Windows.
inline bool underWine()
{
#ifdef Q_OS_WIN
    return QLibrary::resolve(QStringLiteral("ntdll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

using Fields = QMap<QString, QString>;

// `format` filled with each name=value of `defaults` (separated by ';') in turn,
// where `fields` replaces values (escaped; "-" leaves the entry out).
inline QString entries(const QString &defaults, const Fields &fields, const QString &format)
{
    QString text;
    for (const QString &entry : defaults.split(QLatin1Char(';'))) {
        const QString name = entry.section(QLatin1Char('='), 0, 0);
        const QString value = fields.value(name, entry.section(QLatin1Char('='), 1));
        if (value != QLatin1String("-"))
            text += format.arg(name, value.toHtmlEscaped());
    }
    return text;
}

// A profile file as the program writes it, with `fields` replaced, `rules` as
// download_rule_1…, and `tail` as raw text before </profile>.
inline QByteArray profileFile(const Fields &fields = {}, const QStringList &rules = {},
                              const QByteArray &tail = {})
{
    QString defaults = QStringLiteral(
        "first_name=Ann;last_name=Lee;department=Typing;guid=G-1;login=ann;password=pw;"
        "sunday=False;monday=True;tuesday=True;wednesday=True;thursday=True;friday=True;"
        "saturday=False;download_folder=C:\\Jobs;pollinterval=15;"
        "base_url=https://example.test/remote_tools/");
    Fields all = fields;
    for (qsizetype i = 0; i < rules.size(); ++i) {
        defaults += QStringLiteral(";download_rule_%1=").arg(i + 1);
        all.insert(QStringLiteral("download_rule_%1").arg(i + 1), rules.at(i));
    }
    const QString format = QStringLiteral(" <%1>%2</%1>\r\n");
    return "<profile>\r\n" + entries(defaults, all, format).toUtf8() + tail + "</profile>";
}

// One job element with all thirteen attributes, with `fields` replaced.
inline QByteArray jobElement(const QString &id, const Fields &fields = {})
{
    const QString defaults =
        QStringLiteral("job_id=%1;job_name=Job%1;open_time=2003-12-31 23:59:59;"
                       "department_name=Cardiology;dictator=Dr Ann Smith;reference=R%1;"
                       "demographic_1=d1;demographic_2=d2;demographic_3=d3;"
                       "path=https://jobs.example/files/%1.wav;priority=3;"
                       "dictator_first_name=Ann;dictator_last_name=Smith")
            .arg(id);
    return "<job" + entries(defaults, fields, QStringLiteral(" %1=\"%2\"")).toUtf8() + "/>";
}

// A job index holding `jobs` (job elements) in that order.
inline QByteArray jobIndex(const QList<QByteArray> &jobs = {})
{
    return "<?xml version=\"1.0\"?>\n<jobs><user_id>17</user_id>" + jobs.join() + "</jobs>\n";
}

// An index of job 1 with `name` and `path`, where {LF}, {CSI} and {RLO} stand
// for a line feed, a C1 control and a right-to-left override.
inline QByteArray oneJobIndex(const QString &name, const QString &path)
{
    return jobIndex({jobElement("1", {{"job_name", name}, {"path", path}})})
        .replace("{LF}", "&#10;")
        .replace("{CSI}", "&#x9B;")
        .replace("{RLO}", "&#x202E;");
}

// A password that services echo in other forms: with % & + < a blank and
// non-ASCII letters.
inline const QString hardPassword = QString::fromUtf8("Gr\u00fc&\u00dfe 50%+<b>x");

// Whether `text` shows `password` as typed, percent-encoded (the program's
// way, fully, either hex case, + for blanks) or HTML-escaped.
inline bool showsPassword(const QString &text, const QString &password)
{
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(password));
    for (const QString &form : {password, ServiceUrls::queryValue(password), encoded,
                                QString(encoded).replace("%20", "+"), password.toHtmlEscaped()})
        if (text.contains(form, Qt::CaseInsensitive))
            return true;
    return false;
}
