#include "profiles/Profile.h"

#include "platform/Conversions.h"
#include "platform/Files.h"
#include "platform/MessageSink.h"
#include "platform/Paths.h"
#include "platform/Secrets.h"
#include "platform/SystemTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QXmlStreamReader>

#include <optional>

namespace {

const char *const dayElements[] = {"sunday",   "monday", "tuesday", "wednesday",
                                   "thursday", "friday", "saturday"};

QString escaped(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        if (c == QLatin1Char('&'))
            out += QLatin1String("&amp;");
        else if (c == QLatin1Char('<'))
            out += QLatin1String("&lt;");
        else if (c == QLatin1Char('>'))
            out += QLatin1String("&gt;");
        else
            out += c;
    }
    return out;
}

// A character XML 1.0 cannot hold would make the file unreadable later.
bool isXmlText(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            return false;
        if (c == 0xFFFE || c == 0xFFFF)
            return false;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate())
                return false;
            ++i;
        } else if (QChar::isLowSurrogate(c)) {
            return false;
        }
    }
    return true;
}

// Profiles are a few hundred bytes; anything far larger is not one.
constexpr qint64 maxProfileSize = 4 * 1024 * 1024;
// A profile nests two levels deep; a document nested deeper than this is
// refused rather than walked.
constexpr int maxDepth = 256;

// The bytes of the file at `path`, when it is a regular file of at most
// maxProfileSize bytes. Opened without blocking and checked on the open
// descriptor: a FIFO, socket or device never blocks the program, and the file
// cannot be swapped between the check and the read.
std::optional<QByteArray> readProfileFile(const QString &path, QString &why)
{
    qint64 size = 0;
    int error = 0;
    const Files::Handle file = Files::openRegular(nullptr, path, size, error);
    if (!file.isOpen()) {
        why = error ? Files::errorText(error) : QStringLiteral("not a regular file");
        return std::nullopt;
    }
    if (size > maxProfileSize) {
        why = QStringLiteral("larger than 4 MiB, not a profile");
        return std::nullopt;
    }
    // One byte past the size seen tells a file that grew meanwhile.
    QByteArray bytes(size + 1, Qt::Uninitialized);
    qint64 got = 0;
    for (qint64 read = 1; read > 0 && got < bytes.size(); got += read) {
        read = Files::readAt(file, bytes.data() + got, bytes.size() - got, got);
        if (read < 0) {
            why = Files::errorText(Files::lastError());
            return std::nullopt;
        }
    }
    if (got > size) {
        why = QStringLiteral("the file changed while read");
        return std::nullopt;
    }
    bytes.truncate(got);
    return bytes;
}

// The first element named "profile", anywhere; of its child elements, the
// text of the first one of each name, with the text of the elements inside
// it. Empty when the file is unreadable, not well-formed or nested too
// deeply, or holds no "profile" element.
std::optional<QHash<QString, QString>> readProfileElements(const QString &path, QString &why)
{
    const std::optional<QByteArray> bytes = readProfileFile(path, why);
    if (!bytes)
        return std::nullopt;
    QXmlStreamReader reader(*bytes);
    QHash<QString, QString> fields;
    bool found = false;
    int depth = 0;
    // The depth of the "profile" element while it is open, else 0.
    int profileDepth = 0;
    QString name;
    QString text;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > maxDepth) {
                reader.raiseError(QStringLiteral("Elements are nested too deeply."));
            } else if (!found && reader.qualifiedName() == QLatin1String("profile")) {
                found = true;
                profileDepth = depth;
            } else if (profileDepth && depth == profileDepth + 1) {
                name = reader.qualifiedName().toString();
                text.clear();
            }
            break;
        case QXmlStreamReader::EndElement:
            if (profileDepth && depth == profileDepth + 1 && !fields.contains(name))
                fields.insert(name, text);
            if (depth == profileDepth)
                profileDepth = 0;
            --depth;
            break;
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference:
            if (profileDepth && depth > profileDepth)
                text += reader.text();
            break;
        default:
            break;
        }
    }
    if (reader.hasError()) {
        why = QStringLiteral("not well-formed XML (line %1: %2)")
                  .arg(reader.lineNumber())
                  .arg(reader.errorString());
        return std::nullopt;
    }
    if (!found) {
        why = QStringLiteral("no <profile> element");
        return std::nullopt;
    }
    return fields;
}

} // namespace

Profile::Profile(MessageSink &messages) : m_messages(&messages)
{
}

void Profile::rememberSecrets() const
{
    Secrets::remember(gPassword);
    Secrets::rememberUrlPassword(gStrBaseURL);
}

bool *Profile::dayFlag(quint8 day)
{
    bool *const flags[] = {&gSunday,   &gMonday, &gTuesday, &gWednesday,
                           &gThursday, &gFriday, &gSaturday};
    if (day < 1 || day > 7)
        return nullptr;
    return flags[day - 1];
}

void Profile::SetDayOfWeekSchedule(quint8 DayOfWeek, bool Value)
{
    if (bool *flag = dayFlag(DayOfWeek))
        *flag = Value;
}

bool Profile::DayOfWeekChecked(quint8 DayOfWeek) const
{
    const bool flags[] = {gSunday, gMonday, gTuesday, gWednesday, gThursday, gFriday, gSaturday};
    return DayOfWeek >= 1 && DayOfWeek <= 7 && flags[DayOfWeek - 1];
}

bool Profile::LoadProfileFromXMLFile(const QString &xml)
{
    if (xml.isEmpty())
        return true;
    gStrProfilePath = xml;

    auto fail = [this, &xml](const QString &why) {
        m_loadError = why;
        Message message{QLatin1String(SystemTexts::errorLodingUserProfile), QStringLiteral("Error"),
                        MessageIcon::Critical};
        message.detail = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(xml), why);
        m_messages->post(message);
        return false;
    };

    m_loadError.clear();
    QString why;
    const auto elements = readProfileElements(xml, why);
    if (!elements)
        return fail(why);
    const auto missing = [](const char *name) {
        return QStringLiteral("<%1> is missing").arg(QLatin1String(name));
    };
    const auto invalid = [](const char *name) {
        return QStringLiteral("<%1> does not hold a valid value").arg(QLatin1String(name));
    };
    auto text = [&](const char *name) {
        return elements->value(QLatin1String(name));
    };
    auto has = [&](const char *name) {
        return elements->contains(QLatin1String(name));
    };

    struct TextField
    {
        const char *element;
        QString Profile::*field;
    };
    const TextField identity[] = {
        {"first_name", &Profile::gFirstName},  {"last_name", &Profile::gLastName},
        {"department", &Profile::gDepartment}, {"guid", &Profile::gGUID},
        {"login", &Profile::gLogin},           {"password", &Profile::gPassword},
    };
    for (const TextField &entry : identity) {
        if (!has(entry.element))
            return fail(missing(entry.element));
        this->*entry.field = text(entry.element);
    }

    for (quint8 day = 1; day <= 7; ++day) {
        const char *name = dayElements[day - 1];
        if (!has(name))
            return fail(missing(name));
        const std::optional<bool> value = Conversions::toBoolean(text(name));
        if (!value)
            return fail(invalid(name));
        SetDayOfWeekSchedule(day, *value);
    }

    if (!has("download_folder"))
        return fail(missing("download_folder"));
    gStrDownloadFolder = text("download_folder");
    if (!has("base_url"))
        return fail(missing("base_url"));
    gStrBaseURL = text("base_url");
    if (!has("pollinterval"))
        return fail(missing("pollinterval"));
    const std::optional<qint32> interval = Conversions::toLong(text("pollinterval"));
    if (!interval)
        return fail(invalid("pollinterval"));
    gLngPollInterval = *interval;

    // The rules run from 1 until a number is missing; an empty rule is kept
    // and ends the list.
    colDownloadRules.clear();
    for (int n = 1;; ++n) {
        const QString name = QStringLiteral("download_rule_%1").arg(n);
        const auto it = elements->constFind(name);
        if (it == elements->constEnd())
            break;
        colDownloadRules.append(*it);
        if (it->isEmpty())
            break;
    }
    rememberSecrets();
    return true;
}

QString Profile::ProfileFileText() const
{
    const QString eol = QStringLiteral("\r\n");
    auto line = [&](const char *name, const QString &value) {
        return QStringLiteral(" <%1>%2</%1>").arg(QLatin1String(name), escaped(value)) + eol;
    };
    QString text = QStringLiteral("<profile>") + eol;
    text += line("first_name", gFirstName);
    text += line("last_name", gLastName);
    text += line("department", gDepartment);
    text += line("guid", gGUID);
    text += line("login", gLogin);
    text += line("password", gPassword);
    // The schedule is not stored yet: every file records Monday to Friday.
    text += QStringLiteral(" <sunday>False</sunday>") + eol;
    text += QStringLiteral(" <monday>True</monday>") + eol;
    text += QStringLiteral(" <tuesday>True</tuesday>") + eol;
    text += QStringLiteral(" <wednesday>True</wednesday>") + eol;
    text += QStringLiteral(" <thursday>True</thursday>") + eol;
    text += QStringLiteral(" <friday>True</friday>") + eol;
    text += QStringLiteral(" <saturday>False</saturday>") + eol;
    text += line("download_folder", gStrDownloadFolder);
    text += line("pollinterval", QString::number(gLngPollInterval));
    text += line("base_url", gStrBaseURL);
    for (qsizetype n = 1; n <= colDownloadRules.size(); ++n) {
        const QString name = QStringLiteral("download_rule_%1").arg(n);
        text += QStringLiteral(" <%1>%2</%1>").arg(name, escaped(colDownloadRules.at(n - 1))) + eol;
    }
    text += QStringLiteral("</profile>");
    return text;
}

QString Profile::NewProfilePath() const
{
    return Paths::profilesFolder() + QLatin1Char('/') + gFirstName + QLatin1Char(' ') + gLastName +
           QStringLiteral(".xml");
}

bool Profile::isValidFileNamePart(const QString &name)
{
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c))
            return false;
    }
    return true;
}

bool Profile::SaveProfileToXML(const QString &Path) const
{
    QString target = Path;
    if (target.isEmpty()) {
        if (!isValidFileNamePart(gFirstName) || !isValidFileNamePart(gLastName))
            return false;
        target = NewProfilePath();
        // A new profile never takes over another profile's file.
        if (QFileInfo::exists(target))
            return false;
    }

    const QString text = ProfileFileText();
    if (!isXmlText(text))
        return false;
    const QByteArray bytes = text.toUtf8();

    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The file holds the password.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool Profile::DeleteProfile() const
{
    if (gStrProfilePath.isEmpty())
        return false;
    return QFile::remove(gStrProfilePath);
}
