#pragma once

#include "platform/MessageSink.h"
#include "profiles/Profile.h"

#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>

struct Job;

// The profile settings dialog's work without its widgets: the fields as
// shown, their checks, storing them into the edited profile, saving and
// deleting its file. The dialog shows what it returns.
class ProfileEditor
{
public:
    // The dialog's fields, as typed.
    struct Fields
    {
        QString firstName;
        QString lastName;
        QString department;
        QString url;
        QString login;
        QString password;
        QString guid;
        QString downloadFolder;
        QStringList rules;
        int frequency = -1;         // an index of frequencyChoices(), -1 none
        std::array<bool, 7> days{}; // Sunday first

        bool operator==(const Fields &) const = default;
    };

    // The field a message is about, for the focus.
    enum class Field
    {
        None,
        FirstName,
        LastName,
        Login,
        Password,
        Guid,
        DownloadFolder
    };

    // A message for the user, and whether the dialog's work is done.
    struct Outcome
    {
        Message message;
        Field field = Field::None;
        bool done = false;
    };

    explicit ProfileEditor(MessageSink &messages);

    // Reads the profile file at `path` (empty: a new profile) and returns the
    // fields to show: a profile without a base URL gets the service's
    // default, one without rules the rule "Job Name".
    Fields load(const QString &path);

    // The checks before saving; the first failing one, if any.
    std::optional<Outcome> check(const Fields &fields) const;

    // Copies the fields into the edited profile; the base URL gets its
    // closing "/". Returns the URL as stored.
    QString store(const Fields &fields);

    // Saves the stored profile: a new profile's file is named after the
    // person, whose name must make a file name not taken by another profile.
    Outcome save();

    // Deletes the edited profile's file.
    Outcome deleteProfile();

    // The questions asked before the dialog's work: true to go on. Each
    // defaults to the careful answer.
    // "Delete the profile of Ann Lee? …", Cancel for Enter.
    bool confirmDelete();
    // Closing with `shown` changed to `now`: whether to discard the changes.
    bool confirmDiscard(const Fields &shown, const Fields &now);
    // The download folder before saving: one that does not exist is offered
    // to be created; one that cannot be written (or created) is named with
    // the system's reason, and the user chooses whether to save it all the
    // same (a share may be mounted later).
    bool acceptFolder(const QString &folder);

    const Profile &profile() const { return *m_profile; }

    // True when the edited profile was read from a file, which "Delete
    // Profile" can delete.
    bool hasFile() const;

    // The poll frequencies to choose from: the six of pollFrequencies(), and
    // after them the loaded profile's own interval where it is none of those
    // (such as "1 Min."), so that the choice is never blank for it.
    QStringList frequencyChoices() const;

    // The six poll frequencies, in list order.
    static QStringList pollFrequencies();
    static QStringList ruleChoices();

    // How a rule is shown in the rule list: a rule that is only a separator
    // or a punctuation mark is named ("\" shows as "\  (sub-folder)"); every
    // other rule shows as it is stored.
    static QString ruleDisplayName(const QString &rule);

    // A job with every field filled and an open time, to show what a profile's
    // rules make of a job.
    static Job sampleJob();

    // The path under which `rules` save sampleJob() in `downloadFolder`, with
    // this platform's separators, as the job list shows it; the file name
    // alone when the folder is empty.
    static QString previewPath(const QString &downloadFolder, const QStringList &rules);

private:
    MessageSink &m_messages;
    std::unique_ptr<Profile> m_profile;
    // The loaded profile's interval where it is none of the six, else 0.
    qint32 m_ownInterval = 0;
};
