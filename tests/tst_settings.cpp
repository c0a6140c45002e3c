#include "TestSupport.h"

#include "dialogs/frmProfileSelection.h"
#include "dialogs/frmProfileSettings.h"
#include "platform/RecordingMessageSink.h"
#include "platform/Twips.h"
#include "profiles/Profile.h"
#include "service/ServiceUrls.h"
#include "shell/GUIFunctions.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
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

QStringList comboItems(const QComboBox *combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
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
    void cleanup();

    // opening
    void newProfileDefaults();
    void existingProfileFillsTheFields();
    void intervalOfNinetyMinutesSelectsNothing();
    void layout();

    // validation
    void validation_data();
    void validation();
    void noRuleKeepsTheFocus();

    // storing
    void urlSlash_data();
    void urlSlash();
    void storedUntrimmedAndIntervalKept();

    // save
    void saveNewProfileAddsAnEntry();
    void saveFailureKeepsTheDialogOpen();
    void newProfileNeverTakesAnExistingName();
    void nameThatCannotBeAFileName();

    // delete
    void deleteRemovesTheFileAndTheEntry();
    void deleteWithoutFile_data();
    void deleteWithoutFile();

    // rules
    void rulesAddedDeletedAndSavedInOrder();
    void blankRuleIsIgnored();
    void folderChooserFillsTheField();

    // opened from the selection window
    void editProfileFromTheSelectionWindow();

private:
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

void tst_Settings::cleanup()
{
    m_folder.reset();
}

QString tst_Settings::saveProfile(qint32 interval, bool sunday)
{
    Profile profile(m_messages);
    profile.gFirstName = QStringLiteral("Cy");
    profile.gLastName = QStringLiteral("Ong");
    profile.gDepartment = QStringLiteral("Radiology");
    profile.gGUID = QStringLiteral("GUID-9");
    profile.gLogin = QStringLiteral("cy");
    profile.gPassword = QStringLiteral("pw");
    profile.gStrBaseURL = QStringLiteral("http://127.0.0.1:9/remote_tools/");
    profile.gStrDownloadFolder = QStringLiteral("/tmp/cy");
    profile.gLngPollInterval = interval;
    profile.colDownloadRules = {QStringLiteral("Reference"), QStringLiteral("Job Name")};
    const QString path = profile.NewProfilePath();
    if (!profile.SaveProfileToXML(path))
        qFatal("cannot write the test profile");
    // The program itself always writes Monday to Friday; a file from
    // elsewhere may say otherwise.
    if (sunday && !writeFile(path, readAll(path).replace("<sunday>False", "<sunday>True")))
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
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Profile Settings"));
    QVERIFY(dialog.isModal());
    for (QLineEdit *field :
         {dialog.txtFirstName, dialog.txtLastName, dialog.txtDepartment, dialog.txtLogin,
          dialog.txtPassword, dialog.txtGUID, dialog.txtDownload})
        QVERIFY2(field->text().isEmpty(), qPrintable(field->objectName()));
    QCOMPARE(dialog.txtURL->text(), QLatin1String(ServiceUrls::defaultBaseUrl));
    QVERIFY(dialog.txtURL->text().startsWith(QLatin1String("https://")));
    QVERIFY(dialog.txtURL->text().endsWith(QLatin1String("/remote_tools/")));
    QCOMPARE(lines(dialog.listRules), QStringList{"Job Name"});
    QCOMPARE(dialog.cmdPoll->currentIndex(), -1);
    QCOMPARE(dialog.cmdPoll->currentText(), QString());
    for (QCheckBox *day : dialog.dayBoxes())
        QVERIFY(!day->isChecked());
    QCOMPARE(dialog.txtPassword->echoMode(), QLineEdit::Normal);

    QCOMPARE(comboItems(dialog.cmdPoll),
             (QStringList{"15 Mins.", "30 Mins.", "45 Mins.", "1 Hr.", "2 Hrs.", "3 Hrs."}));
    QVERIFY(!dialog.cmdPoll->isEditable());
    QCOMPARE(comboItems(dialog.cmbRuleChoices).size(), 11);
    QCOMPARE(comboItems(dialog.cmbRuleChoices).first(), QStringLiteral("Job Name"));
    QCOMPARE(comboItems(dialog.cmbRuleChoices).last(),
             QStringLiteral("Dictator Name (Last,First)"));
    QVERIFY(dialog.cmbRuleChoices->isEditable());
    QCOMPARE(dialog.cmbRuleChoices->currentText(), QString());
    QCOMPARE(dialog.SSTab1->count(), 3);
    QCOMPARE(dialog.SSTab1->tabText(0), QStringLiteral("Profile"));
    QCOMPARE(dialog.SSTab1->tabText(1), QStringLiteral("Download Schedule"));
    QCOMPARE(dialog.SSTab1->tabText(2), QStringLiteral("File Storeage Rules"));
    QCOMPARE(dialog.SSTab1->currentIndex(), 0);
    QCOMPARE(dialog.Label1->text(), QStringLiteral("* Day Of Week download feature is not "
                                                   "currently working in the Alpha test release."));

    // "&Update Profile" at once: the first check fails.
    dialog.cmdSave->click();
    QCOMPARE(m_messages.texts(), QStringList{"'First Name' field must not be empty"});
    QVERIFY(QDir(m_folder->profiles()).isEmpty());
}

void tst_Settings::existingProfileFillsTheFields()
{
    const QString path = saveProfile(120, true);
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(path);
    QCOMPARE(dialog.txtFirstName->text(), QStringLiteral("Cy"));
    QCOMPARE(dialog.txtLastName->text(), QStringLiteral("Ong"));
    QCOMPARE(dialog.txtDepartment->text(), QStringLiteral("Radiology"));
    QCOMPARE(dialog.txtGUID->text(), QStringLiteral("GUID-9"));
    QCOMPARE(dialog.txtLogin->text(), QStringLiteral("cy"));
    QCOMPARE(dialog.txtPassword->text(), QStringLiteral("pw"));
    QCOMPARE(dialog.txtURL->text(), QStringLiteral("http://127.0.0.1:9/remote_tools/"));
    QCOMPARE(dialog.txtDownload->text(), QStringLiteral("/tmp/cy"));
    QCOMPARE(lines(dialog.listRules), (QStringList{"Reference", "Job Name"}));
    QCOMPARE(dialog.cmdPoll->currentText(), QStringLiteral("2 Hrs."));
    QVERIFY(dialog.chkSunday->isChecked());
    QVERIFY(dialog.chkMonday->isChecked());
    QVERIFY(!dialog.chkSaturday->isChecked());
    QVERIFY(m_messages.messages.isEmpty());
}

void tst_Settings::intervalOfNinetyMinutesSelectsNothing()
{
    const QString path = saveProfile(90);
    {
        frmProfileSettings dialog(m_messages);
        dialog.SetupFields(path);
        QCOMPARE(dialog.cmdPoll->currentIndex(), -1);
        dialog.cmdSave->click();
        QCOMPARE(m_messages.texts(), QStringList{"Profile Has Been Updated"});
    }
    QCOMPARE(reload(path).gLngPollInterval, 90);

    // A new profile saved without a choice keeps 0.
    frmProfileSettings fresh(m_messages);
    fresh.SetupFields(QString());
    fillValid(fresh);
    fresh.cmdSave->click();
    QCOMPARE(reload(m_folder->profile("Ann Lee.xml")).gLngPollInterval, 0);
}

void tst_Settings::layout()
{
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    dialog.show();
    const double dpi = dialog.logicalDpiX();
    const auto px = [dpi](int twips) {
        return Twips::toPixels(twips, dpi);
    };
    QCOMPARE(dialog.size(), QSize(px(7875), px(5055)));
    QCOMPARE(dialog.SSTab1->geometry(), QRect(px(120), px(120), px(7695), px(4335)));
    QCOMPARE(dialog.cmdDeleteProfile->geometry(), QRect(px(3960), px(4560), px(1935), px(375)));
    QCOMPARE(dialog.cmdSave->geometry(), QRect(px(6000), px(4560), px(1815), px(375)));
    // The frames of the tabs count from the tab control's corner.
    QCOMPARE(QRect(dialog.frameDisplaySettings->mapTo(dialog.SSTab1, QPoint()),
                   dialog.frameDisplaySettings->size()),
             QRect(px(240), px(480), px(7215), px(3615)));
    dialog.SSTab1->setCurrentIndex(2);
    QCOMPARE(dialog.frameFileRules->mapTo(dialog.SSTab1, QPoint()), QPoint(px(120), px(480)));
    QCOMPARE(dialog.listRules->geometry(), QRect(px(240), px(600), px(3135), px(1620)));
    QCOMPARE(dialog.cmdOpenDialog->geometry(), QRect(px(6480), px(240), px(375), px(255)));
    QCOMPARE(dialog.txtFirstName->geometry().topLeft(), QPoint(px(240), px(600)));
    // Every caption shows its whole text.
    for (QLabel *label : dialog.findChildren<QLabel *>())
        QVERIFY2(label->width() >= label->minimumSizeHint().width() || label->wordWrap(),
                 qPrintable(label->text()));
    // Tab order: "&Update Profile" first.
    QCOMPARE(dialog.cmdSave->nextInFocusChain(), dialog.cmdDeleteProfile);
}

void tst_Settings::validation_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("alsoEmpty");
    QTest::addColumn<QString>("message");

    QTest::newRow("first name empty") << "txtFirstName"
                                      << ""
                                      << ""
                                      << "'First Name' field must not be empty";
    QTest::newRow("first name blanks") << "txtFirstName"
                                       << "   "
                                       << ""
                                       << "'First Name' field must not be empty";
    QTest::newRow("first name and login") << "txtFirstName"
                                          << ""
                                          << "txtLogin"
                                          << "'First Name' field must not be empty";
    QTest::newRow("last name") << "txtLastName"
                               << " "
                               << ""
                               << "'Last Name' field must not be empty";
    QTest::newRow("login") << "txtLogin"
                           << ""
                           << "txtPassword"
                           << "'Login' field must not be empty";
    QTest::newRow("password") << "txtPassword"
                              << ""
                              << ""
                              << "'Password' field must not be empty";
    QTest::newRow("guid") << "txtGUID"
                          << ""
                          << ""
                          << "'GUID' field must not be empty";
    QTest::newRow("download location") << "txtDownload"
                                       << "\t "
                                       << ""
                                       << "'Download Location' field must not be empty";
}

void tst_Settings::validation()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, alsoEmpty);
    QFETCH(QString, message);

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
    QVERIFY(!dialog.ValidateFields());
    QCOMPARE(m_messages.texts(), QStringList{message});
    QCOMPARE(m_messages.messages.first().title, QStringLiteral("Invalid Information"));
    QCOMPARE(m_messages.messages.first().icon, MessageIcon::Information);
    QCOMPARE(focusAtMessage, field);
    QCOMPARE(dialog.SSTab1->currentIndex(), tab);
    // Nothing stored.
    QVERIFY(dialog.profile().gFirstName.isEmpty());
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

void tst_Settings::urlSlash_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("appended") << "http://host/remote_tools"
                              << "http://host/remote_tools/";
    QTest::newRow("unchanged") << "http://host/remote_tools/"
                               << "http://host/remote_tools/";
    QTest::newRow("empty stays empty") << ""
                                       << "";
    QTest::newRow("no slash at all") << "host"
                                     << "host/";
}

void tst_Settings::urlSlash()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    fillValid(dialog);
    dialog.txtURL->setText(typed);
    dialog.cmdSave->click();
    QCOMPARE(m_messages.texts(), QStringList{"Profile Has Been Updated"});
    QCOMPARE(dialog.txtURL->text(), stored);
    QCOMPARE(reload(m_folder->profile("Ann Lee.xml")).gStrBaseURL, stored);
}

void tst_Settings::storedUntrimmedAndIntervalKept()
{
    const QString path = saveProfile(45);
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(path);
    dialog.txtFirstName->setText(QStringLiteral("  Cy "));
    dialog.txtDepartment->setText(QStringLiteral(" Ward 3 "));
    dialog.cmdPoll->setCurrentIndex(5);
    // The day boxes can be ticked, but are not stored.
    dialog.chkSunday->setChecked(true);
    dialog.chkMonday->setChecked(false);
    dialog.cmdSave->click();
    QCOMPARE(m_messages.texts(), QStringList{"Profile Has Been Updated"});
    QCOMPARE(m_messages.messages.first().icon, MessageIcon::None);
    QCOMPARE(m_messages.messages.first().title, MessageSink::applicationTitle());
    const Profile saved = reload(path);
    QCOMPARE(saved.gFirstName, QStringLiteral("  Cy "));
    QCOMPARE(saved.gDepartment, QStringLiteral(" Ward 3 "));
    QCOMPARE(saved.gLngPollInterval, 180);
    QVERIFY(!saved.gSunday);
    QVERIFY(saved.gMonday);
    // Saved to its own file: no new file beside it.
    QCOMPARE(QDir(m_folder->profiles()).entryList(QDir::Files), QStringList{"Cy Ong.xml"});
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
    QCOMPARE(m_messages.messages.first().title, MessageSink::applicationTitle());
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.txtLogin->text(), QStringLiteral("changed"));
    QCOMPARE(dialog.profile().gLogin, QStringLiteral("changed"));

    // Once the folder is back, a second try saves.
    QVERIFY(QDir().mkpath(m_folder->profiles()));
    dialog.cmdSave->click();
    QCOMPARE(m_messages.texts().last(), QStringLiteral("Profile Has Been Updated"));
    QCOMPARE(reload(path).gLogin, QStringLiteral("changed"));
}

void tst_Settings::newProfileNeverTakesAnExistingName()
{
    const QString path = saveProfile();
    const QByteArray before = readAll(path);
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    dialog.show();
    fillValid(dialog);
    dialog.txtFirstName->setText(QStringLiteral("Cy"));
    dialog.txtLastName->setText(QStringLiteral("Ong"));
    dialog.cmdSave->click();
    QCOMPARE(m_messages.messages.size(), 1);
    QVERIFY(m_messages.texts().first().contains(QLatin1String("'Cy Ong' already exists")));
    QCOMPARE(m_messages.messages.first().title, QStringLiteral("Invalid Information"));
    QVERIFY(dialog.isVisible());
    QCOMPARE(readAll(path), before);
}

void tst_Settings::nameThatCannotBeAFileName()
{
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    dialog.show();
    fillValid(dialog);
    dialog.txtLastName->setText(QStringLiteral("Lee/Wu"));
    dialog.cmdSave->click();
    QCOMPARE(m_messages.messages.size(), 1);
    QVERIFY(m_messages.texts().first().startsWith(QLatin1String("'Last Name' must not hold")));
    QCOMPARE(m_messages.messages.first().title, QStringLiteral("Invalid Information"));
    QCOMPARE(dialog.focusWidget(), dialog.txtLastName);
    QVERIFY(dialog.isVisible());
    QVERIFY(QDir(m_folder->profiles()).isEmpty());
}

void tst_Settings::deleteRemovesTheFileAndTheEntry()
{
    const QString path = saveProfile();
    frmProfileSelection selection(m_messages);
    QCOMPARE(selection.listProfiles->topLevelItemCount(), 2);
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(path);
    dialog.gFrmParent = &selection;
    dialog.show();
    dialog.cmdDeleteProfile->click();
    QVERIFY(!QFile::exists(path));
    QCOMPARE(m_messages.texts(), QStringList{"Profile Has Been Deleted!"});
    QCOMPARE(m_messages.messages.first().title, QStringLiteral("Profile Deleted"));
    QCOMPARE(m_messages.messages.first().icon, MessageIcon::Exclamation);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(selection.listProfiles->topLevelItemCount(), 1);
}

void tst_Settings::deleteWithoutFile_data()
{
    QTest::addColumn<bool>("everSaved");
    QTest::addColumn<QString>("says");
    QTest::newRow("never saved") << false << "has not been saved yet";
    QTest::newRow("file removed meanwhile") << true << "no longer exists";
}

void tst_Settings::deleteWithoutFile()
{
    QFETCH(bool, everSaved);
    QFETCH(QString, says);
    const QString path = everSaved ? saveProfile() : QString();
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(path);
    dialog.show();
    if (everSaved)
        QVERIFY(QFile::remove(path));
    dialog.cmdDeleteProfile->click();
    QCOMPARE(m_messages.messages.size(), 1);
    QVERIFY2(m_messages.texts().first().contains(says), qPrintable(m_messages.texts().first()));
    QVERIFY(!m_messages.texts().contains(QStringLiteral("Profile Has Been Deleted!")));
    QVERIFY(dialog.isVisible());
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
    dialog.cmbRuleChoices->setEditText(QStringLiteral("typed-"));
    dialog.cmdAdd->click();
    QCOMPARE(lines(dialog.listRules), (QStringList{"Job Name", "Job Name", "Reference", "typed-"}));
    // The typed text did not become a choice.
    QCOMPARE(dialog.cmbRuleChoices->count(), 11);

    // "Delete" with no line selected: nothing changes, nothing is shown.
    dialog.listRules->clearSelection();
    dialog.cmdDelete->click();
    QCOMPARE(dialog.listRules->count(), 4);
    QVERIFY(m_messages.messages.isEmpty());
    dialog.listRules->setCurrentRow(2);
    dialog.cmdDelete->click();
    QCOMPARE(lines(dialog.listRules), (QStringList{"Job Name", "Job Name", "typed-"}));

    dialog.cmdSave->click();
    QCOMPARE(reload(m_folder->profile("Ann Lee.xml")).colDownloadRules,
             (QStringList{"Job Name", "Job Name", "typed-"}));
}

void tst_Settings::blankRuleIsIgnored()
{
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    for (const char *text : {"", "   "}) {
        dialog.cmbRuleChoices->setEditText(QLatin1String(text));
        dialog.cmdAdd->click();
    }
    QCOMPARE(lines(dialog.listRules), QStringList{"Job Name"});
    // Blanks around a text are kept, as typed.
    dialog.cmbRuleChoices->setEditText(QStringLiteral(" x "));
    dialog.cmdAdd->click();
    QCOMPARE(lines(dialog.listRules), (QStringList{"Job Name", " x "}));
}

void tst_Settings::folderChooserFillsTheField()
{
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    dialog.show();
    dialog.cmdOpenDialog->click();
    auto *chooser = dialog.findChild<QFileDialog *>(QStringLiteral("folderChooser"));
    QVERIFY(chooser);
    QVERIFY(chooser->isVisible());
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
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
    QCOMPARE(dialog->gFrmParent.data(), selection);
    QCOMPARE(dialog->txtFirstName->text(), QStringLiteral("Cy"));

    // Closed with the close box: nothing written, the list read again.
    const QByteArray before = readAll(path);
    dialog->txtLogin->setText(QStringLiteral("other"));
    QVERIFY(writeFile(
        m_folder->profile("Dee Fox.xml"),
        readAll(path).replace("<first_name>Cy</first_name>", "<first_name>Dee</first_name>")));
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
