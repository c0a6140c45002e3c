#pragma once

#include <QWidget>

#include <optional>

class MessageSink;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The profile selection window: every file of the Profiles folder by name and
// department, and "< Create New Profile >" last. It does no profile work of
// its own: Load and Edit are handed to the controller through the signals.
class frmProfileSelection : public QWidget
{
    Q_OBJECT

public:
    explicit frmProfileSelection(MessageSink &messages, QWidget *parent = nullptr);

    // Rebuilds the list from the Profiles folder. Files that fail to load cost
    // one message each and are listed with the names read before the failure.
    void LoadProfileListEx();

    // Selects the entry of the profile file `path` (the first entry where it
    // is not listed) and gives the list the keyboard focus.
    void selectProfile(const QString &path);

    // The key of the selected entry: a profile file path, or empty for the
    // create-new entry. Empty optional when nothing is selected.
    std::optional<QString> selectedKey() const;

    QTreeWidget *listProfiles = nullptr;
    QPushButton *cmdEdit = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdLoadProfile = nullptr;

    static QString createNewProfileText() { return QStringLiteral("< Create New Profile >"); }

Q_SIGNALS:
    // Load the profile file at `path` into the main window.
    void loadProfileRequested(const QString &path);
    // Open the settings dialog on `path` (empty: a new profile).
    void editProfileRequested(const QString &path);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void AddNewProfileEntry();
    void addEntry(const QString &key, const QString &name, const QString &department);
    void onItemClicked(QTreeWidgetItem *item);
    void onItemActivated(QTreeWidgetItem *item);
    void onLoadProfile();
    void onEdit();
    void applyLayout();

    MessageSink &m_messages;
};
