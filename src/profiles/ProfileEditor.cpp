#include "profiles/ProfileEditor.h"

#include "naming/FileNameRules.h"
#include "naming/FileNames.h"
#include "naming/Job.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <array>

namespace {

struct Frequency
{
    const char *item;
    qint32 minutes;
};

constexpr std::array<Frequency, 6> frequencies{{{"15 Mins.", 15},
                                                {"30 Mins.", 30},
                                                {"45 Mins.", 45},
                                                {"1 Hr.", 60},
                                                {"2 Hrs.", 120},
                                                {"3 Hrs.", 180}}};

bool isBlank(const QString &text)
{
    return text.trimmed().isEmpty();
}

ProfileEditor::Outcome invalid(ProfileEditor::Field field, const QString &text)
{
    return {{text, QStringLiteral("Invalid Information"), MessageIcon::Information}, field, false};
}

} // namespace

ProfileEditor::ProfileEditor(MessageSink &messages)
    : m_messages(messages), m_profile(std::make_unique<Profile>(messages))
{
}

QStringList ProfileEditor::pollFrequencies()
{
    QStringList items;
    for (const Frequency &frequency : frequencies)
        items << QLatin1String(frequency.item);
    return items;
}

QStringList ProfileEditor::frequencyChoices() const
{
    QStringList items = pollFrequencies();
    if (m_ownInterval > 0) {
        const bool hours = m_ownInterval % 60 == 0;
        const qint32 count = hours ? m_ownInterval / 60 : m_ownInterval;
        items << QStringLiteral("%1 %2%3.")
                     .arg(count)
                     .arg(hours ? QStringLiteral("Hr") : QStringLiteral("Min"))
                     .arg(count == 1 ? QString() : QStringLiteral("s"));
    }
    return items;
}

bool ProfileEditor::hasFile() const
{
    return !m_profile->gStrProfilePath.isEmpty();
}

QStringList ProfileEditor::ruleChoices()
{
    return {QStringLiteral("Job Name"),
            QStringLiteral("Object ID"),
            QStringLiteral("Reference"),
            QStringLiteral("Open Date/Time (yyyymmdd)"),
            QStringLiteral("Open Date/Time (yyyymmdd_hhnnss)"),
            QStringLiteral("Open Date/Time (hhnnss)"),
            QStringLiteral("Demographic 1"),
            QStringLiteral("Demographic 2"),
            QStringLiteral("Demographic 3"),
            QStringLiteral("Dictator Name (First,Last)"),
            QStringLiteral("Dictator Name (Last,First)")};
}

QString ProfileEditor::ruleDisplayName(const QString &rule)
{
    static const struct
    {
        const char *rule;
        const char *name;
    } named[] = {{"\\", "sub-folder"}, {"/", "sub-folder"}, {"_", "underscore"}, {"-", "hyphen"},
                 {".", "dot"},         {",", "comma"},      {" ", "blank"}};
    for (const auto &entry : named) {
        if (rule == QLatin1String(entry.rule))
            return rule + QStringLiteral("  (%1)").arg(QLatin1String(entry.name));
    }
    return rule;
}

Job ProfileEditor::sampleJob()
{
    Job job;
    job.gLngID = QStringLiteral("1042");
    job.gStrName = QStringLiteral("Discharge Summary");
    job.gStrReference = QStringLiteral("REF-2207");
    job.gDateOpen = QDateTime(QDate(2024, 3, 5), QTime(9, 41, 27));
    job.gStrDepartment = QStringLiteral("Radiology");
    job.gStrDicatorFullName = QStringLiteral("Dr Ada Byrne");
    job.gStrDictatorFirstName = QStringLiteral("Ada");
    job.gStrDictatorLastName = QStringLiteral("Byrne");
    job.gStrDictatorLogin = QStringLiteral("abyrne");
    job.gBytePriority = 1;
    job.gStrSourceURL = QStringLiteral("https://jobs.example/files/1042.wav");
    job.gDblLength = 95;
    job.gStrDemographic1 = QStringLiteral("Ward 4");
    job.gStrDemographic2 = QStringLiteral("MRN 55821");
    job.gStrDemographic3 = QStringLiteral("Follow-up");
    job.gStrTemplate = QStringLiteral("Letter");
    job.gLngBatchID = 7;
    return job;
}

QString ProfileEditor::previewPath(const QString &downloadFolder, const QStringList &rules)
{
    const std::optional<QString> name = FileNameRules(rules).fileName(sampleJob());
    if (!name)
        return QString();
    // Joined as the job index reader joins a job's destination.
    const QString path =
        downloadFolder.isEmpty() ? *name : downloadFolder + QLatin1Char('\\') + *name;
    return FileNames::nativeSeparators(path);
}

ProfileEditor::Fields ProfileEditor::load(const QString &path)
{
    m_profile = std::make_unique<Profile>(m_messages);
    m_profile->LoadProfileFromXMLFile(path);
    const Profile &profile = *m_profile;
    Fields fields;
    fields.firstName = profile.GetFirstName();
    fields.lastName = profile.GetLastName();
    fields.department = profile.GetDepartment();
    fields.guid = profile.GetGUID();
    fields.login = profile.GetLogin();
    fields.password = profile.GetPassword();
    for (quint8 day = 1; day <= 7; ++day)
        fields.days[day - 1] = profile.DayOfWeekChecked(day);
    fields.downloadFolder = profile.GetDownloadFolder();
    fields.url = profile.GetURL();
    fields.rules = profile.colDownloadRules;
    m_ownInterval = profile.gLngPollInterval > 0 ? profile.gLngPollInterval : 0;
    for (size_t i = 0; i < frequencies.size(); ++i) {
        if (frequencies[i].minutes == profile.gLngPollInterval) {
            fields.frequency = int(i);
            m_ownInterval = 0;
        }
    }
    if (m_ownInterval > 0)
        fields.frequency = int(frequencies.size());
    if (fields.url.isEmpty())
        fields.url = QLatin1String(Profile::defaultBaseUrl);
    if (fields.rules.isEmpty())
        fields.rules << QStringLiteral("Job Name");
    return fields;
}

std::optional<ProfileEditor::Outcome> ProfileEditor::check(const Fields &fields) const
{
    const struct
    {
        const QString &text;
        Field field;
        const char *message;
    } checks[] = {{fields.firstName, Field::FirstName, "'First Name' field must not be empty"},
                  {fields.lastName, Field::LastName, "'Last Name' field must not be empty"},
                  {fields.login, Field::Login, "'Login' field must not be empty"},
                  {fields.password, Field::Password, "'Password' field must not be empty"},
                  {fields.guid, Field::Guid, "'GUID' field must not be empty"},
                  {fields.downloadFolder, Field::DownloadFolder,
                   "'Download Location' field must not be empty"}};
    for (const auto &check : checks) {
        if (isBlank(check.text))
            return invalid(check.field, QLatin1String(check.message));
    }
    if (fields.rules.isEmpty())
        return invalid(Field::None, QStringLiteral("You must specify at least 1 'Download Rule'"));
    return std::nullopt;
}

QString ProfileEditor::store(const Fields &fields)
{
    QString url = fields.url;
    if (!url.isEmpty() && !url.endsWith(QLatin1Char('/')))
        url += QLatin1Char('/');

    Profile &profile = *m_profile;
    profile.gLastName = fields.lastName;
    profile.gFirstName = fields.firstName;
    profile.gDepartment = fields.department;
    profile.gLogin = fields.login;
    profile.gPassword = fields.password;
    profile.gStrDownloadFolder = fields.downloadFolder;
    profile.gGUID = fields.guid;
    profile.gStrBaseURL = url;
    profile.colDownloadRules = fields.rules;
    profile.rememberSecrets();
    // The profile's own interval, chosen after the six, stays as it is.
    if (fields.frequency >= 0 && fields.frequency < int(frequencies.size()))
        profile.gLngPollInterval = frequencies[size_t(fields.frequency)].minutes;
    // The days are not stored: the schedule does not work yet.
    return url;
}

ProfileEditor::Outcome ProfileEditor::save()
{
    Profile &profile = *m_profile;
    if (profile.gStrProfilePath.isEmpty()) {
        const struct
        {
            const QString &text;
            Field field;
            const char *caption;
        } names[] = {{profile.gFirstName, Field::FirstName, "First Name"},
                     {profile.gLastName, Field::LastName, "Last Name"}};
        for (const auto &name : names) {
            if (!Profile::isValidFileNamePart(name.text))
                return invalid(name.field,
                               QStringLiteral("'%1' must not hold any of the characters "
                                              "/ \\ : * ? \" < > |")
                                   .arg(QLatin1String(name.caption)));
        }
        if (QFileInfo::exists(profile.NewProfilePath()))
            return invalid(Field::FirstName,
                           QStringLiteral("A profile named '%1 %2' already exists. Change the "
                                          "name, or edit that profile instead.")
                               .arg(profile.gFirstName, profile.gLastName));
    }
    if (!profile.SaveProfileToXML(profile.gStrProfilePath))
        return {{QStringLiteral("Error Saving Profile To Disk"), QString(), MessageIcon::Critical},
                Field::None,
                false};
    return {{QStringLiteral("Profile Has Been Updated"), QString(), MessageIcon::None},
            Field::None,
            true};
}

ProfileEditor::Outcome ProfileEditor::deleteProfile()
{
    const Profile &profile = *m_profile;
    const QString title = QStringLiteral("Profile Deleted");
    const auto notice = [&title](const QString &text, bool done) {
        return Outcome{{text, title, MessageIcon::Exclamation}, Field::None, done};
    };
    const QString path = QDir::toNativeSeparators(profile.gStrProfilePath);
    if (profile.gStrProfilePath.isEmpty())
        return notice(QStringLiteral("This profile has not been saved yet, so there is no "
                                     "profile file to delete."),
                      false);
    if (!QFileInfo::exists(profile.gStrProfilePath))
        return notice(QStringLiteral("The profile file '%1' no longer exists; nothing was deleted.")
                          .arg(path),
                      false);
    if (!profile.DeleteProfile())
        return notice(QStringLiteral("The profile file '%1' could not be deleted.").arg(path),
                      false);
    return notice(QStringLiteral("Profile Has Been Deleted!"), true);
}

namespace {

MessageAnswer ask(MessageSink &messages, const QString &text, const QString &title,
                  MessageButtons buttons, MessageAnswer careful)
{
    Message question{text, title, MessageIcon::Exclamation, buttons};
    question.defaultAnswer = careful;
    return messages.post(question);
}

// Why nothing can be saved in `folder`, or nothing when a file can be.
std::optional<QString> unwritable(const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        return QObject::tr("it is not a folder");
    QTemporaryFile probe(folder + QStringLiteral("/.quillet-probe-XXXXXX"));
    if (!probe.open())
        return probe.errorString();
    return std::nullopt;
}

} // namespace

bool ProfileEditor::confirmDelete()
{
    const Profile &profile = *m_profile;
    return ask(m_messages,
               QObject::tr("Delete the profile of %1 %2? Its file and stored password are removed.")
                   .arg(profile.gFirstName, profile.gLastName),
               QStringLiteral("Delete Profile"), MessageButtons::OkCancel,
               MessageAnswer::Cancel) == MessageAnswer::Ok;
}

bool ProfileEditor::confirmDiscard(const Fields &shown, const Fields &now)
{
    return shown == now ||
           ask(m_messages, QObject::tr("The changes to this profile are not saved. Discard them?"),
               QStringLiteral("Profile Settings"), MessageButtons::YesNo,
               MessageAnswer::No) == MessageAnswer::Yes;
}

bool ProfileEditor::acceptFolder(const QString &folder)
{
    const QString shown = QDir::toNativeSeparators(folder);
    const QString title = QStringLiteral("Download Location");
    std::optional<QString> why;
    if (!QFileInfo::exists(folder)) {
        if (ask(m_messages,
                QObject::tr("The download folder %1 does not exist. Create it?").arg(shown), title,
                MessageButtons::YesNo, MessageAnswer::Yes) != MessageAnswer::Yes)
            return false;
        if (!QDir().mkpath(folder))
            why = QObject::tr("it could not be created");
    }
    if (!why)
        why = unwritable(folder);
    return !why || ask(m_messages,
                       QObject::tr("Nothing can be saved in the download folder %1: %2.\n"
                                   "Save the profile all the same? (A share may be mounted "
                                   "later.)")
                           .arg(shown, *why),
                       title, MessageButtons::YesNo, MessageAnswer::No) == MessageAnswer::Yes;
}
