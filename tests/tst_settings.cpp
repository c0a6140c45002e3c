#include "TestSupport.h"

#include "dialogs/frmProfileSelection.h"
#include "dialogs/frmProfileSettings.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/ServiceUrls.h"
#include "shell/GUIFunctions.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

namespace {

QStringList lines(const QListWidget *list)
{
    QStringList out;
    for (int row = 0; row < list->count(); ++row)
        out << list->item(row)->text();
    return out;
}

// Fills every field that the checks look at.
void fillValid(frmProfileSettings &dialog)
{
    dialog.txtFirstName->setText(QStringLiteral("Ann"));
    dialog.txtLastName->setText(QStringLiteral("Lee"));
    dialog.txtLogin->setText(QStringLiteral("ann"));
    dialog.txtPassword->setText(QStringLiteral("secret"));
    dialog.txtGUID->setText(QStringLiteral("G-1"));
    dialog.txtDownload->setText(QStringLiteral("/tmp/jobs"));
}

} // namespace

class tst_Settings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m_folder.reset(); }

    void newProfileDefaults();
    void existingProfileFillsTheFields();

    void validation_data();
    void validation();
    void noRuleKeepsTheFocus();
    void whatIsStored_data();
    void whatIsStored();

    void saveNewProfileAddsAnEntry();
    void saveFailureKeepsTheDialogOpen();
    void refusedName_data();
    void refusedName();
    void deleteProfile_data();
    void deleteProfile();

    void rulesAddedDeletedAndSavedInOrder();
    void folderChooserFillsTheField();
    void editProfileFromTheSelectionWindow();

private:
    // "Cy Ong" in the Profiles folder.
    QString saveProfile(qint32 interval = 15, bool sunday = false);
    Profile reload(const QString &path);

    std::unique_ptr<TestFolder> m_folder;
    RecordingMessageSink m_messages;
};

void tst_Settings::init()
{
    m_folder = std::make_unique<TestFolder>();
    QDir().mkpath(m_folder->profiles());
    m_messages.clear();
    m_messages.onMessage = nullptr;
}

QString tst_Settings::saveProfile(qint32 interval, bool sunday)
{
    const QString path = m_folder->profile(QStringLiteral("Cy Ong.xml"));
    if (!writeFile(path, profileFile({{"first_name", "Cy"},
                                      {"last_name", "Ong"},
                                      {"department", "Radiology"},
                                      {"guid", "GUID-9"},
                                      {"login", "cy"},
                                      {"base_url", "http://127.0.0.1:9/remote_tools/"},
                                      {"download_folder", "/tmp/cy"},
                                      {"pollinterval", QString::number(interval)},
                                      {"sunday", sunday ? "True" : "False"}},
                                     {"Reference", "Job Name"})))
        qFatal("cannot write the test profile");
    return path;
}

Profile tst_Settings::reload(const QString &path)
{
    Profile profile(m_messages);
    profile.LoadProfileFromXMLFile(path);
    return profile;
}

void tst_Settings::newProfileDefaults()
{
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    QVERIFY(dialog.isModal());
    for (QLineEdit *field :
         {dialog.txtFirstName, dialog.txtLastName, dialog.txtDepartment, dialog.txtLogin,
          dialog.txtPassword, dialog.txtGUID, dialog.txtDownload})
        QVERIFY2(field->text().isEmpty(), qPrintable(field->objectName()));
    QCOMPARE(dialog.txtURL->text(), QLatin1String(ServiceUrls::defaultBaseUrl));
    QCOMPARE(lines(dialog.listRules), QStringList{"Job Name"});
    QCOMPARE(dialog.cmdPoll->currentIndex(), -1);
    for (QCheckBox *day : dialog.dayBoxes())
        QVERIFY(!day->isChecked());
    // Tab order: "&Update Profile" first.
    QCOMPARE(dialog.cmdSave->nextInFocusChain(), dialog.cmdDeleteProfile);
}

void tst_Settings::existingProfileFillsTheFields()
{
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(saveProfile(120, true));
    QStringList texts;
    for (QLineEdit *field :
         {dialog.txtFirstName, dialog.txtLastName, dialog.txtDepartment, dialog.txtGUID,
          dialog.txtLogin, dialog.txtPassword, dialog.txtURL, dialog.txtDownload})
        texts << field->text();
    QCOMPARE(texts, (QStringList{"Cy", "Ong", "Radiology", "GUID-9", "cy", "pw",
                                 "http://127.0.0.1:9/remote_tools/", "/tmp/cy"}));
    QCOMPARE(lines(dialog.listRules), (QStringList{"Reference", "Job Name"}));
    QCOMPARE(dialog.cmdPoll->currentText(), QStringLiteral("2 Hrs."));
    QVERIFY(dialog.chkSunday->isChecked() && dialog.chkMonday->isChecked());
    QVERIFY(!dialog.chkSaturday->isChecked());
    QVERIFY(m_messages.messages.isEmpty());
}

void tst_Settings::validation_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("alsoEmpty");
    QTest::addColumn<QString>("label");
    const auto row = [](const char *name, const char *field, const char *text,
                        const char *alsoEmpty, const char *label) {
        QTest::newRow(name) << QString::fromUtf8(field) << QString::fromUtf8(text)
                            << QString::fromUtf8(alsoEmpty) << QString::fromUtf8(label);
    };
    row("first name empty", "txtFirstName", "", "", "First Name");
    row("first name blanks", "txtFirstName", "   ", "", "First Name");
    row("first name and login: the first is told", "txtFirstName", "", "txtLogin", "First Name");
    row("last name", "txtLastName", " ", "", "Last Name");
    row("login and password: the first is told", "txtLogin", "", "txtPassword", "Login");
    row("password", "txtPassword", "", "", "Password");
    row("guid", "txtGUID", "", "", "GUID");
    row("download location on its own tab", "txtDownload", "\t ", "", "Download Location");
}

void tst_Settings::validation()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, alsoEmpty);
    QFETCH(QString, label);

    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    fillValid(dialog);
    dialog.findChild<QLineEdit *>(field)->setText(text);
    if (!alsoEmpty.isEmpty())
        dialog.findChild<QLineEdit *>(alsoEmpty)->clear();
    if (field == QLatin1String("txtDownload"))
        dialog.SSTab1->setCurrentIndex(2);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const int tab = dialog.SSTab1->currentIndex();

    QString focusAtMessage;
    m_messages.onMessage = [&](const Message &) {
        if (QWidget *focus = dialog.focusWidget())
            focusAtMessage = focus->objectName();
    };
    dialog.cmdSave->click();
    QCOMPARE(m_messages.texts(), QStringList{"'" + label + "' field must not be empty"});
    QCOMPARE(m_messages.messages.first().title, QStringLiteral("Invalid Information"));
    QCOMPARE(m_messages.messages.first().icon, MessageIcon::Information);
    QCOMPARE(focusAtMessage, field);
    QCOMPARE(dialog.SSTab1->currentIndex(), tab);
    QVERIFY(dialog.profile().gFirstName.isEmpty()); // nothing stored, nothing written
    QVERIFY(QDir(m_folder->profiles()).isEmpty());
}

void tst_Settings::noRuleKeepsTheFocus()
{
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    fillValid(dialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.SSTab1->setCurrentIndex(2);
    dialog.listRules->setCurrentRow(0);
    dialog.cmdDelete->click();
    QCOMPARE(dialog.listRules->count(), 0);
    dialog.txtDownload->setFocus();
    dialog.cmdSave->click();
    QCOMPARE(m_messages.texts(), QStringList{"You must specify at least 1 'Download Rule'"});
    QCOMPARE(dialog.focusWidget(), dialog.txtDownload);
    QVERIFY(dialog.isVisible());
    QVERIFY(QDir(m_folder->profiles()).isEmpty());
}

void tst_Settings::whatIsStored_data()
{
    QTest::addColumn<int>("interval"); // of the profile opened; -1: a new profile
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("choice"); // of the poll interval, -1: none
    QTest::addColumn<int>("storedInterval");
    const auto row = [](const char *name, int interval, const char *field, const char *typed,
                        const char *stored, int choice, int storedInterval) {
        QTest::newRow(name) << interval << QString::fromUtf8(field) << QString::fromUtf8(typed)
                            << QString::fromUtf8(stored) << choice << storedInterval;
    };
    row("URL: slash appended", -1, "txtURL", "http://host/r", "http://host/r/", -1, 0);
    row("URL: unchanged", -1, "txtURL", "http://host/r/", "http://host/r/", -1, 0);
    row("URL: empty stays empty", -1, "txtURL", "", "", -1, 0);
    row("URL: no slash at all", -1, "txtURL", "host", "host/", -1, 0);
    row("blanks kept, 3 Hrs. chosen", 45, "txtFirstName", "  Cy ", "  Cy ", 5, 180);
    row("blanks kept in the department", 45, "txtDepartment", " Ward 3 ", " Ward 3 ", -1, 45);
    row("interval of 90 selects nothing and is kept", 90, "txtLogin", "cy", "cy", -1, 90);
}

void tst_Settings::whatIsStored()
{
    QFETCH(int, interval);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(int, choice);
    QFETCH(int, storedInterval);
    const QString path =
        interval < 0 ? m_folder->profile("Ann Lee.xml") : saveProfile(interval, false);
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(interval < 0 ? QString() : path);
    if (interval < 0)
        fillValid(dialog);
    // 45 minutes is the third choice; 90 minutes none of them.
    QCOMPARE(dialog.cmdPoll->currentIndex(), interval == 45 ? 2 : -1);
    dialog.findChild<QLineEdit *>(field)->setText(typed);
    if (choice >= 0)
        dialog.cmdPoll->setCurrentIndex(choice);
    // The day boxes can be ticked, but are not stored.
    dialog.chkSunday->setChecked(true);
    dialog.cmdSave->click();
    QCOMPARE(m_messages.texts(), QStringList{"Profile Has Been Updated"});
    QCOMPARE(m_messages.messages.first().icon, MessageIcon::None);
    QCOMPARE(dialog.findChild<QLineEdit *>(field)->text(), stored);

    const Profile saved = reload(path);
    const QMap<QString, QString Profile::*> members{{"txtURL", &Profile::gStrBaseURL},
                                                    {"txtFirstName", &Profile::gFirstName},
                                                    {"txtDepartment", &Profile::gDepartment},
                                                    {"txtLogin", &Profile::gLogin}};
    QCOMPARE(saved.*members.value(field), stored);
    QCOMPARE(saved.gLngPollInterval, storedInterval);
    QVERIFY(!saved.gSunday);
    // Saved to its own file: no new file beside it.
    QCOMPARE(QDir(m_folder->profiles()).entryList(QDir::Files).size(), 1);
}

void tst_Settings::saveNewProfileAddsAnEntry()
{
    saveProfile();
    frmProfileSelection selection(m_messages);
    QCOMPARE(selection.listProfiles->topLevelItemCount(), 2);
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    dialog.gFrmParent = &selection;
    dialog.show();
    fillValid(dialog);
    dialog.cmdSave->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(selection.listProfiles->topLevelItemCount(), 3);
    const Profile saved = reload(m_folder->profile("Ann Lee.xml"));
    QCOMPARE(saved.gLogin, QStringLiteral("ann"));
    QCOMPARE(saved.colDownloadRules, QStringList{"Job Name"});
}

void tst_Settings::saveFailureKeepsTheDialogOpen()
{
    const QString path = saveProfile();
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(path);
    dialog.show();
    // The profile's folder is gone: the file cannot be written.
    QVERIFY(QDir(m_folder->profiles()).removeRecursively());
    dialog.txtLogin->setText(QStringLiteral("changed"));
    dialog.cmdSave->click();
    QCOMPARE(m_messages.texts(), QStringList{"Error Saving Profile To Disk"});
    QCOMPARE(m_messages.messages.first().icon, MessageIcon::Critical);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.txtLogin->text(), QStringLiteral("changed"));

    // Once the folder is back, a second try saves.
    QVERIFY(QDir().mkpath(m_folder->profiles()));
    dialog.cmdSave->click();
    QCOMPARE(m_messages.texts().last(), QStringLiteral("Profile Has Been Updated"));
    QCOMPARE(reload(path).gLogin, QStringLiteral("changed"));
}

void tst_Settings::refusedName_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("says");
    QTest::addColumn<QString>("focus");
    QTest::newRow("name of an existing profile")
        << QString("Cy") << QString("Ong") << QString("'Cy Ong' already exists") << QString();
    QTest::newRow("name that cannot be a file name")
        << QString("Ann") << QString("Lee/Wu") << QString("'Last Name' must not hold")
        << QString("txtLastName");
}

void tst_Settings::refusedName()
{
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QString, says);
    QFETCH(QString, focus);
    const QString path = saveProfile();
    const QByteArray before = readAll(path);
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    dialog.show();
    fillValid(dialog);
    dialog.txtFirstName->setText(first);
    dialog.txtLastName->setText(last);
    dialog.cmdSave->click();
    QCOMPARE(m_messages.messages.size(), 1);
    QVERIFY2(m_messages.texts().first().contains(says), qPrintable(m_messages.texts().first()));
    QCOMPARE(m_messages.messages.first().title, QStringLiteral("Invalid Information"));
    if (!focus.isEmpty())
        QCOMPARE(dialog.focusWidget()->objectName(), focus);
    QVERIFY(dialog.isVisible());
    QCOMPARE(readAll(path), before);
    QCOMPARE(QDir(m_folder->profiles()).entryList(QDir::Files), QStringList{"Cy Ong.xml"});
}

void tst_Settings::deleteProfile_data()
{
    QTest::addColumn<bool>("everSaved");
    QTest::addColumn<bool>("removedMeanwhile");
    QTest::addColumn<QString>("says");
    QTest::newRow("deletes the file and the entry") << true << false << "Profile Has Been Deleted!";
    QTest::newRow("never saved") << false << false << "has not been saved yet";
    QTest::newRow("file removed meanwhile") << true << true << "no longer exists";
}

void tst_Settings::deleteProfile()
{
    QFETCH(bool, everSaved);
    QFETCH(bool, removedMeanwhile);
    QFETCH(QString, says);
    const QString path = everSaved ? saveProfile() : QString();
    frmProfileSelection selection(m_messages);
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(path);
    dialog.gFrmParent = &selection;
    dialog.show();
    if (removedMeanwhile)
        QVERIFY(QFile::remove(path));
    dialog.cmdDeleteProfile->click();
    QCOMPARE(m_messages.messages.size(), 1);
    QVERIFY2(m_messages.texts().first().contains(says), qPrintable(m_messages.texts().first()));
    const bool deleted = everSaved && !removedMeanwhile;
    QCOMPARE(dialog.isVisible(), !deleted);
    if (deleted) {
        QVERIFY(!QFile::exists(path));
        QCOMPARE(m_messages.messages.first().title, QStringLiteral("Profile Deleted"));
        QCOMPARE(m_messages.messages.first().icon, MessageIcon::Exclamation);
        QCOMPARE(selection.listProfiles->topLevelItemCount(), 1);
    }
}

void tst_Settings::rulesAddedDeletedAndSavedInOrder()
{
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    fillValid(dialog);
    dialog.cmbRuleChoices->setCurrentIndex(0);
    dialog.cmdAdd->click();
    dialog.cmbRuleChoices->setCurrentText(QStringLiteral("Reference"));
    dialog.cmdAdd->click();
    // Blank rules are not added; blanks around a text are kept.
    for (const char *text : {"", "   ", " typed- "}) {
        dialog.cmbRuleChoices->setEditText(QLatin1String(text));
        dialog.cmdAdd->click();
    }
    QCOMPARE(lines(dialog.listRules),
             (QStringList{"Job Name", "Job Name", "Reference", " typed- "}));
    // The typed text did not become a choice.
    QCOMPARE(dialog.cmbRuleChoices->count(), 11);

    // "Delete" with no line selected: nothing changes, nothing is shown.
    dialog.listRules->clearSelection();
    dialog.cmdDelete->click();
    QCOMPARE(dialog.listRules->count(), 4);
    QVERIFY(m_messages.messages.isEmpty());
    dialog.listRules->setCurrentRow(2);
    dialog.cmdDelete->click();

    dialog.cmdSave->click();
    QCOMPARE(reload(m_folder->profile("Ann Lee.xml")).colDownloadRules,
             (QStringList{"Job Name", "Job Name", " typed- "}));
}

void tst_Settings::folderChooserFillsTheField()
{
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    dialog.show();
    dialog.cmdOpenDialog->click();
    auto *chooser = dialog.findChild<QFileDialog *>(QStringLiteral("folderChooser"));
    QVERIFY(chooser && chooser->isVisible());
    QCOMPARE(chooser->fileMode(), QFileDialog::Directory);
    Q_EMIT chooser->fileSelected(m_folder->path());
    QCOMPARE(dialog.txtDownload->text(), QDir::toNativeSeparators(m_folder->path()));
    chooser->close();
}

void tst_Settings::editProfileFromTheSelectionWindow()
{
    const QString path = saveProfile();
    GUIFunctions controller(m_messages);
    controller.start();
    frmProfileSelection *selection = controller.selectionWindow();
    QVERIFY(selection);
    Q_EMIT selection->editProfileRequested(path);
    auto *dialog = selection->findChild<frmProfileSettings *>();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
    QCOMPARE(dialog->txtFirstName->text(), QStringLiteral("Cy"));

    // Closed with the close box: nothing written, the list read again.
    const QByteArray before = readAll(path);
    dialog->txtLogin->setText(QStringLiteral("other"));
    QVERIFY(writeFile(m_folder->profile("Dee Fox.xml"), profileFile({{"first_name", "Dee"}})));
    dialog->close();
    QCOMPARE(readAll(path), before);
    QCOMPARE(selection->listProfiles->topLevelItemCount(), 3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!selection->findChild<frmProfileSettings *>());

    // The create-new entry, double-clicked, opens an empty dialog.
    selection->listProfiles->setCurrentItem(selection->listProfiles->topLevelItem(2));
    Q_EMIT selection->listProfiles->itemActivated(selection->listProfiles->topLevelItem(2), 0);
    dialog = selection->findChild<frmProfileSettings *>();
    QVERIFY(dialog);
    QVERIFY(dialog->txtFirstName->text().isEmpty());
}

QTEST_MAIN(tst_Settings)
#include "tst_settings.moc"
