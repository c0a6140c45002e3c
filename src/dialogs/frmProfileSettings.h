#pragma once

#include "dialogs/TwipsPlacer.h"
#include "profiles/ProfileEditor.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class MessageSink;
class Profile;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class frmProfileSelection;

// The profile settings dialog: a profile's identity and credentials, its poll
// frequency and its file naming rules on three tabs. It works on a Profile of
// its own, read from the file at SetupFields() and written back by "&Update
// Profile"; the profile that the main window uses is never touched. Whenever
// it closes, the selection window that opened it lists the profiles again.
class frmProfileSettings : public QDialog
{
    Q_OBJECT

public:
    explicit frmProfileSettings(MessageSink &messages, QWidget *parent = nullptr);
    ~frmProfileSettings() override;

    // Reads the profile file at `Path` (empty: a new profile) and fills the
    // controls. Called once per dialog.
    void SetupFields(const QString &Path);

    // The window whose profile list is rebuilt when the dialog closes.
    QPointer<frmProfileSelection> gFrmParent;

    void FillRuleChoices();
    // The checks before saving; the first failing one moves the focus and
    // shows its message.
    bool ValidateFields();
    // Copies the controls into the dialog's profile.
    void StoreFields();

    // The dialog's profile.
    const Profile &profile() const { return m_editor.profile(); }

    QTabWidget *SSTab1 = nullptr;
    QPushButton *cmdDeleteProfile = nullptr;
    QPushButton *cmdSave = nullptr;

    QGroupBox *frameDisplaySettings = nullptr;
    QLabel *lblFirstName = nullptr;
    QLabel *lblLastName = nullptr;
    QLabel *lblDepartment = nullptr;
    QLabel *lblWebSite = nullptr;
    QLabel *lblInsecureURL = nullptr; // shown while the address is plain http off this machine
    QLabel *lblLogin = nullptr;
    QLabel *lblPassword = nullptr;
    QLabel *lbGUID = nullptr;
    QLineEdit *txtFirstName = nullptr;
    QLineEdit *txtLastName = nullptr;
    QLineEdit *txtDepartment = nullptr;
    QLineEdit *txtURL = nullptr;
    QLineEdit *txtLogin = nullptr;
    QLineEdit *txtPassword = nullptr;
    QLineEdit *txtGUID = nullptr;

    QGroupBox *frameDownloadSchedule = nullptr;
    QLabel *lblDaysOfWeek = nullptr;
    QLabel *lblFrequency = nullptr;
    QCheckBox *chkSunday = nullptr;
    QCheckBox *chkMonday = nullptr;
    QCheckBox *chkTuesday = nullptr;
    QCheckBox *chkWednesday = nullptr;
    QCheckBox *chkThursday = nullptr;
    QCheckBox *chkFriday = nullptr;
    QCheckBox *chkSaturday = nullptr;
    QComboBox *cmdPoll = nullptr;
    QLabel *Label1 = nullptr;

    QGroupBox *frameFileRules = nullptr;
    QLabel *lblCurrentRules = nullptr;
    // Each line shows a rule by ProfileEditor::ruleDisplayName(); the rule as
    // stored is its Qt::UserRole.
    QListWidget *listRules = nullptr;
    QPushButton *cmdAdd = nullptr;
    QPushButton *cmdDelete = nullptr;
    QPushButton *cmdMoveUp = nullptr;
    QPushButton *cmdMoveDown = nullptr;
    QLabel *lblRuleChoices = nullptr;
    QComboBox *cmbRuleChoices = nullptr;
    // Where the rules and the download folder would save a sample job.
    QLabel *lblPreview = nullptr;
    QGroupBox *frameDownloadPath = nullptr;
    QLineEdit *txtDownload = nullptr;
    QPushButton *cmdOpenDialog = nullptr;

    // The day boxes, Sunday first.
    QList<QCheckBox *> dayBoxes() const;
    // The rules as stored, in list order.
    QStringList rules() const;

public Q_SLOTS:
    void done(int result) override;
    // Closing without saving: changes are discarded only when the user agrees.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The frame that fills a tab page, at its design box (left, top, width,
    // height in twips from the tab control's corner).
    QGroupBox *tabFrame(QWidget *page, const char *name, const char *caption, const TwipsBox &box);
    QLabel *caption(QLabel *&label, const char *name, const char *text, QWidget *parent,
                    const TwipsBox &box);
    void buildProfileTab(QWidget *page);
    void buildScheduleTab(QWidget *page);
    void buildRulesTab(QWidget *page);
    void applyLayout();
    void onSave();
    void onDeleteProfile();
    void onAdd();
    void onDelete();
    // Moves the selected rule one line up (-1) or down (+1).
    void moveRule(int step);
    void addRule(const QString &rule);
    void updateRuleCommands();
    void updatePreview();
    void onOpenDialog();
    ProfileEditor::Fields fields() const;
    // The message of an outcome, after the focus moved to its field; the
    // dialog closes when the work is done.
    void report(const ProfileEditor::Outcome &outcome);
    // Shows the tab that holds `field` and gives the field the focus.
    void showField(QWidget *field);

    MessageSink &m_messages;
    ProfileEditor m_editor;
    // The fields as SetupFields() showed them, to tell unsaved changes.
    ProfileEditor::Fields m_shown;
    // Every placed control with its design box in twips, relative to its
    // container; the tab pages' boxes count from the tab control's corner.
    struct Placement
    {
        QWidget *widget;
        TwipsBox box;
        bool onTabPage;
    };
    QList<Placement> m_placements;
};
