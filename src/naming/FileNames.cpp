#include "naming/FileNames.h"

#include <QStringList>

#include <algorithm>

namespace FileNames {

bool isSeparator(QChar c)
{
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
}

namespace {

// The length of the device name that `component` starts with, 0 for none.
// Windows takes the part before the first dot, trailing blanks dropped.
qsizetype deviceNameLength(QStringView component)
{
    qsizetype end = component.indexOf(QLatin1Char('.'));
    if (end < 0)
        end = component.size();
    QStringView base = component.left(end);
    while (!base.isEmpty() && base.back() == QLatin1Char(' '))
        base.chop(1);
    static const QStringList plain = {QStringLiteral("CON"), QStringLiteral("PRN"),
                                      QStringLiteral("AUX"), QStringLiteral("NUL")};
    for (const QString &device : plain) {
        if (base.compare(device, Qt::CaseInsensitive) == 0)
            return base.size();
    }
    if (base.size() == 4 && base.at(3) >= QLatin1Char('1') && base.at(3) <= QLatin1Char('9') &&
        (base.left(3).compare(QLatin1String("COM"), Qt::CaseInsensitive) == 0 ||
         base.left(3).compare(QLatin1String("LPT"), Qt::CaseInsensitive) == 0))
        return 4;
    return 0;
}

// True for a component that fixComponent() changes.
bool needsFix(QStringView component)
{
    if (component.isEmpty() || component == QLatin1String(".") || component == QLatin1String(".."))
        return false;
    return component.front() == QLatin1Char('.') || component.back() == QLatin1Char('.') ||
           component.back() == QLatin1Char(' ') || deviceNameLength(component) > 0;
}

QString fixComponent(QString component)
{
    if (!needsFix(component))
        return component;
    // A hidden file or folder is easily overlooked, and the temporary files
    // of a reception are hidden ones.
    if (component.front() == QLatin1Char('.'))
        component[0] = QLatin1Char('_');
    if (const qsizetype device = deviceNameLength(component))
        component.insert(device, QLatin1Char('_'));
    if (component.endsWith(QLatin1Char('.')) || component.endsWith(QLatin1Char(' ')))
        component += QLatin1Char('_');
    return component;
}

} // namespace

QString cleanFieldValue(const QString &value)
{
    const auto refused = [](QChar c) {
        const char16_t u = c.unicode();
        // C0, DEL and C1 controls, and the bidirectional embeddings,
        // overrides and isolates that make a name read other than it is.
        return u < 0x20 || (u >= 0x7f && u <= 0x9f) || (u >= 0x202a && u <= 0x202e) ||
               (u >= 0x2066 && u <= 0x2069) || u == '<' || u == '>' || u == ':' || u == '"' ||
               u == '|' || u == '?' || u == '*';
    };
    // Most values hold none of them and are returned without a copy.
    if (std::none_of(value.begin(), value.end(), refused))
        return value;
    QString cleaned = value;
    for (QChar &c : cleaned) {
        if (refused(c))
            c = QLatin1Char('_');
    }
    return cleaned;
}

QString fixPathComponents(const QString &name)
{
    // Most names need no fix and are returned without a copy.
    bool anyFix = false;
    qsizetype begin = 0;
    for (qsizetype i = 0; i <= name.size() && !anyFix; ++i) {
        if (i < name.size() && !isSeparator(name.at(i)))
            continue;
        anyFix = needsFix(QStringView(name).mid(begin, i - begin));
        begin = i + 1;
    }
    if (!anyFix)
        return name;

    QString fixed;
    fixed.reserve(name.size() + 2);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !isSeparator(name.at(i)))
            continue;
        fixed += fixComponent(name.mid(start, i - start));
        if (i < name.size())
            fixed += name.at(i);
        start = i + 1;
    }
    return fixed;
}

bool leavesFolder(const QString &relativeName)
{
    if (relativeName.isEmpty())
        return false;
    if (isSeparator(relativeName.front()))
        return true;
    if (relativeName.size() >= 2 && relativeName.at(1) == QLatin1Char(':') &&
        relativeName.at(0).isLetter())
        return true;
    int depth = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= relativeName.size(); ++i) {
        if (i < relativeName.size() && !isSeparator(relativeName.at(i)))
            continue;
        const QStringView component = QStringView(relativeName).mid(start, i - start);
        if (component == QLatin1String("..")) {
            if (--depth < 0)
                return true;
        } else if (!component.isEmpty() && component != QLatin1String(".")) {
            ++depth;
        }
        start = i + 1;
    }
    return false;
}

QString nativeSeparators(const QString &path)
{
#ifdef Q_OS_WIN
    QString native = path;
    return native.replace(QLatin1Char('/'), QLatin1Char('\\'));
#else
    QString native = path;
    return native.replace(QLatin1Char('\\'), QLatin1Char('/'));
#endif
}

} // namespace FileNames
