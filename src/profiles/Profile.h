#pragma once

#include <QString>
#include <QStringList>

class MessageSink;

// One user profile: identity, service credentials, base URL, download folder,
// poll interval, day-of-week schedule and download rules, moved to and from
// its XML profile file. Fields are public; other parts read and assign them.
class Profile
{
public:
    // Loading failures are reported through `messages`.
    explicit Profile(MessageSink &messages);

    // The base URL that a new profile starts with.
    static constexpr const char *defaultBaseUrl = "https://jobs.quillet.example/remote_tools/";

    QString gLastName;
    QString gFirstName;
    QString gDepartment;
    QString gGUID;
    QString gLogin;
    QString gPassword;
    bool gSunday = false;
    bool gMonday = false;
    bool gTuesday = false;
    bool gWednesday = false;
    bool gThursday = false;
    bool gFriday = false;
    bool gSaturday = false;
    QString gStrDownloadFolder;
    QString gStrBaseURL;
    QString gStrProfilePath;
    QStringList colDownloadRules;
    qint32 gLngPollInterval = 0;

    void SetFirstName(const QString &Value) { gFirstName = Value; }
    QString GetFirstName() const { return gFirstName; }
    void SetLastName(const QString &Value) { gLastName = Value; }
    QString GetLastName() const { return gLastName; }
    void SetDepartment(const QString &Value) { gDepartment = Value; }
    QString GetDepartment() const { return gDepartment; }
    void SetGUID(const QString &Value) { gGUID = Value; }
    QString GetGUID() const { return gGUID; }
    void SetLogin(const QString &Value) { gLogin = Value; }
    QString GetLogin() const { return gLogin; }
    void SetPassword(const QString &Value) { gPassword = Value; }
    QString GetPassword() const { return gPassword; }
    // Makes the password and the base URL's password known to every scrub of
    // texts for the user (see Secrets).
    void rememberSecrets() const;
    void SetDownloadFolder(const QString &Value) { gStrDownloadFolder = Value; }
    QString GetDownloadFolder() const { return gStrDownloadFolder; }
    void SetURL(const QString &Value) { gStrBaseURL = Value; }
    QString GetURL() const { return gStrBaseURL; }

    // Day numbers run 1 = Sunday ... 7 = Saturday; other numbers change nothing
    // and read as false.
    void SetDayOfWeekSchedule(quint8 DayOfWeek, bool Value);
    bool DayOfWeekChecked(quint8 DayOfWeek) const;

    // Fills the record from the profile file at `xml`. An empty path changes
    // nothing. Otherwise gStrProfilePath becomes `xml`; a file that cannot be
    // read or lacks a field shows "Error Loding User Profile" and leaves the
    // fields read before the failure filled and the rule list unchanged.
    // Returns true when every field was read.
    bool LoadProfileFromXMLFile(const QString &xml);
    // Why the last LoadProfileFromXMLFile failed; empty after a success.
    QString loadError() const { return m_loadError; }

    // Writes the profile file. An empty `Path` names a new file in the Profiles
    // folder after the first and last name; such a save never replaces an
    // existing file and fails for names that a file name cannot hold. The
    // file is replaced atomically and is readable by its owner only. Returns
    // false on any failure, without a message.
    bool SaveProfileToXML(const QString &Path) const;

    // Deletes the file at gStrProfilePath. False when there is no path or the
    // file could not be removed (the caller reports it).
    [[nodiscard]] bool DeleteProfile() const;

    // The text that SaveProfileToXML writes.
    QString ProfileFileText() const;

    // The path a new profile of this name gets: Profiles folder, "First Last.xml".
    QString NewProfilePath() const;

    // True when `name` can stand in a file name on Linux and Windows alike.
    static bool isValidFileNamePart(const QString &name);

private:
    bool *dayFlag(quint8 day);
    MessageSink *m_messages;
    QString m_loadError;
};
