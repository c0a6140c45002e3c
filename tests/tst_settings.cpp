#include "TestSupport.h"

#include "dialogs/ProfileSelectionLayout.h"
#include "dialogs/frmProfileSelection.h"
#include "dialogs/frmProfileSettings.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/ServiceUrls.h"
#include "shell/GUIFunctions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace {

// Fills every field that the checks look at.
void fillValid(frmProfileSettings &dialog)
{
    dialog.txtFirstName->setText(QStringLiteral("Ann"));
    dialog.txtLastName->setText(QStringLiteral("Lee"));
    dialog.txtLogin->setText(QStringLiteral("ann"));
    dialog.txtPassword->setText(QStringLiteral("secret"));
    dialog.txtGUID->setText(QStringLiteral("G-1"));
    dialog.txtDownload->setText(QDir::tempPath());
}

} // namespace

class tst_Settings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m_folder.reset(); }

    void listing_data();
    void listing();
    void keyboard_data();
    void keyboard();
    void loadStaysOnATinySelectionWindow();
    void shownAndStored_data();
    void shownAndStored();
    void refused_data();
    void refused();
    void deleteProfile_data();
    void deleteProfile();
    void rules_data();
    void rules();
    void downloadFolder_data();
    void downloadFolder();
    void editProfileFromTheSelectionWindow();

private:
    // "Cy Ong" in the Profiles folder.
    QString saveProfile(qint32 interval = 15, const QStringList &rules = {"Reference"});
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

QString tst_Settings::saveProfile(qint32 interval, const QStringList &rules)
{
    const QString path = m_folder->profile(QStringLiteral("Cy Ong.xml"));
    if (!writeFile(path, profileFile({{"first_name", "Cy"},
                                      {"last_name", "Ong"},
                                      {"department", "Radiology"},
                                      {"guid", "GUID-9"},
                                      {"login", "cy"},
                                      {"base_url", "http://127.0.0.1:9/remote_tools/"},
                                      {"download_folder", "/tmp"},
                                      {"pollinterval", QString::number(interval)}},
                                     rules)))
        qFatal("cannot write the test profile");
    return path;
}

Profile tst_Settings::reload(const QString &path)
{
    Profile profile(m_messages);
    profile.LoadProfileFromXMLFile(path);
    return profile;
}

void tst_Settings::listing_data()
{
    QTest::addColumn<QStringList>("profiles"); // "First Last" with their departments
    QTest::addColumn<QString>("stray");        // "text", "fifo" or none
    QTest::addColumn<QStringList>("entries");  // "name/department"
    const QString createNew = QStringLiteral("< Create New Profile >/");
    QTest::newRow("empty folder: create-new only") << QStringList() << "" << QStringList{createNew};
    QTest::newRow("profiles by name, then create-new")
        << QStringList{"Bo Wu", "Ann Lee"} << ""
        << QStringList{"Ann Lee/Ann's ward", "Bo Wu/Bo's ward", createNew};
    QTest::newRow("stray text file: listed, one message")
        << QStringList() << "text" << QStringList{" /", createNew};
    QTest::newRow("FIFO without a writer: listed, one message")
        << QStringList() << "fifo" << QStringList{" /", createNew};
}

void tst_Settings::listing()
{
    QFETCH(QStringList, profiles);
    QFETCH(QString, stray);
    QFETCH(QStringList, entries);
    for (const QString &name : profiles)
        QVERIFY(writeFile(m_folder->profile(name + ".xml"),
                          profileFile({{"first_name", name.section(' ', 0, 0)},
                                       {"last_name", name.section(' ', 1)},
                                       {"department", name.section(' ', 0, 0) + "'s ward"}})));
    const QString strayPath = m_folder->profile(QStringLiteral("notes.txt"));
    if (stray == "text")
        QVERIFY(writeFile(strayPath, "not a profile"));
    else if (stray == "fifo") {
#ifdef Q_OS_WIN
        QSKIP("Windows has no FIFOs in folders");
#else
        QCOMPARE(::mkfifo(QFile::encodeName(strayPath).constData(), 0600), 0);
#endif
    }

    frmProfileSelection window(m_messages);
    QCOMPARE(m_messages.texts(),
             stray.isEmpty() ? QStringList() : QStringList{"Error Loding User Profile"});
    QStringList shown;
    for (int row = 0; row < window.listProfiles->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = window.listProfiles->topLevelItem(row);
        shown << item->text(0) + '/' + item->text(1);
        // The key is the file, or empty for the create-new entry.
        QCOMPARE(item->data(0, Qt::UserRole).toString().isEmpty(), row == entries.size() - 1);
    }
    QCOMPARE(shown, entries);
}

void tst_Settings::keyboard_data()
{
    QTest::addColumn<QString>("keys"); // a key sequence
    // The profile file loaded or edited (none for a new profile), or the window closed.
    QTest::addColumn<QStringList>("outcome");
    QTest::newRow("Alt+L loads the first entry, selected on opening")
        << "Alt+L" << QStringList{"load Ann Lee.xml"};
    QTest::newRow("create-new: Alt+L does nothing, Alt+E edits a new profile")
        << "Down, Alt+L, Alt+E" << QStringList{"edit "};
    QTest::newRow("Return on create-new edits a new profile")
        << "Down, Return" << QStringList{"edit "};
    QTest::newRow("Escape closes") << "Escape" << QStringList{"closed"};
    QTest::newRow("Tab from the list: Load first")
        << "Tab, Space" << QStringList{"load Ann Lee.xml"};
    QTest::newRow("Tab from the list: Load, Edit, then Cancel")
        << "Tab, Tab, Tab, Space" << QStringList{"closed"};
}

void tst_Settings::keyboard()
{
    QFETCH(QString, keys);
    QFETCH(QStringList, outcome);
    QVERIFY(writeFile(m_folder->profile(QStringLiteral("Ann Lee.xml")), profileFile()));
    frmProfileSelection window(m_messages);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.listProfiles->setFocus();
    QVERIFY(window.cmdLoadProfile->isDefault());
    QSignalSpy loads(&window, &frmProfileSelection::loadProfileRequested);
    QSignalSpy edits(&window, &frmProfileSelection::editProfileRequested);
    QTest::keySequence(window.windowHandle(), QKeySequence(keys));
    // An accelerator animates a click, which lands a moment later.
    QTRY_VERIFY(!loads.isEmpty() || !edits.isEmpty() || !window.isVisible());
    QStringList seen;
    for (const QList<QVariant> &load : loads)
        seen << "load " + QDir(m_folder->profiles()).relativeFilePath(load.value(0).toString());
    for (const QList<QVariant> &edit : edits)
        seen << "edit " + edit.value(0).toString();
    if (!window.isVisible())
        seen << "closed";
    QCOMPARE(seen, outcome);
}

void tst_Settings::loadStaysOnATinySelectionWindow()
{
    const auto tiny = ProfileSelectionLayout::compute(100, 100);
    QCOMPARE(tiny.list.width + tiny.list.height, 0.0);
    QVERIFY(tiny.loadProfile.left >= 0 && tiny.loadProfile.top >= 0);
}

void tst_Settings::shownAndStored_data()
{
    QTest::addColumn<int>("interval"); // of the profile opened; -1: a new profile
    QTest::addColumn<QString>("shownFrequency");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("choice"); // of the poll interval, -1: none
    QTest::addColumn<int>("storedInterval");
    const auto row = [](const char *name, int interval, const char *shown, const char *field,
                        const char *typed, const char *stored, int choice, int storedInterval) {
        QTest::newRow(name) << interval << QString(shown) << QString(field) << QString(typed)
                            << QString(stored) << choice << storedInterval;
    };
    row("new: URL gets its slash", -1, "", "txtURL", "http://host/r", "http://host/r/", -1, 0);
    row("blanks kept, 3 Hrs. chosen", 45, "45 Mins.", "txtFirstName", " Cy ", " Cy ", 5, 180);
    row("90 minutes kept, department emptied", 90, "90 Mins.", "txtDepartment", "", "", -1, 90);
}

void tst_Settings::shownAndStored()
{
    QFETCH(int, interval);
    QFETCH(QString, shownFrequency);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(int, choice);
    QFETCH(int, storedInterval);
    const QString path =
        interval < 0 ? m_folder->profile("Ann Lee.xml") : saveProfile(interval, {"Reference"});
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(interval < 0 ? QString() : path);
    // Every field in its own box; a new profile gets the service's address.
    const auto boxes = [&dialog] {
        QStringList texts;
        for (QLineEdit *edit :
             {dialog.txtFirstName, dialog.txtLastName, dialog.txtDepartment, dialog.txtGUID,
              dialog.txtLogin, dialog.txtPassword, dialog.txtURL, dialog.txtDownload})
            texts << edit->text();
        return texts.join('|');
    };
    QCOMPARE(boxes(), interval < 0 ? "||||||" + QLatin1String(Profile::defaultBaseUrl) + "|"
                                   : "Cy|Ong|Radiology|GUID-9|cy|pw|"
                                     "http://127.0.0.1:9/remote_tools/|/tmp");
    QCOMPARE(dialog.cmdPoll->currentText(), shownFrequency);
    if (interval < 0)
        fillValid(dialog);
    dialog.findChild<QLineEdit *>(field)->setText(typed);
    if (choice >= 0)
        dialog.cmdPoll->setCurrentIndex(choice);
    // Shown, off and not stored: the schedule does not work yet.
    QVERIFY(!dialog.chkSunday->isEnabled());
    dialog.chkSunday->setChecked(true);
    dialog.cmdSave->click();
    QCOMPARE(m_messages.texts(), QStringList{"Profile Has Been Updated"});
    QCOMPARE(dialog.findChild<QLineEdit *>(field)->text(), stored);

    const Profile saved = reload(path);
    QCOMPARE(
        QStringList({saved.gFirstName, saved.gLastName, saved.gDepartment, saved.gGUID,
                     saved.gLogin, saved.gPassword, saved.gStrBaseURL, saved.gStrDownloadFolder})
            .join('|'),
        boxes());
    QCOMPARE(saved.gLngPollInterval, storedInterval);
    QVERIFY(!saved.gSunday);
    QCOMPARE(QDir(m_folder->profiles()).entryList(QDir::Files).size(), 1);
}

void tst_Settings::refused_data()
{
    QTest::addColumn<QStringList>("changes"); // "field=text", "no rules" or "folder gone"
    QTest::addColumn<QString>("says");
    QTest::addColumn<QString>("focus"); // at the message
    QTest::addColumn<int>("icon");
    const auto row = [](const char *name, const QStringList &changes, const char *says,
                        const char *focus, MessageIcon icon = MessageIcon::Information) {
        QTest::newRow(name) << changes << QString(says) << QString(focus) << int(icon);
    };
    row("first name blanks", {"txtFirstName=  "}, "'First Name' field must not be empty",
        "txtFirstName");
    row("last name", {"txtLastName= "}, "'Last Name' field must not be empty", "txtLastName");
    row("login and password: the first is told", {"txtPassword=", "txtLogin="},
        "'Login' field must not be empty", "txtLogin");
    row("password", {"txtPassword="}, "'Password' field must not be empty", "txtPassword");
    row("guid", {"txtGUID="}, "'GUID' field must not be empty", "txtGUID");
    row("download location", {"txtDownload=\t "}, "'Download Location' field must not be empty",
        "txtDownload");
    row("no rule", {"no rules"}, "You must specify at least 1 'Download Rule'", "cmdSave");
    row("name of an existing profile", {"txtFirstName=Cy", "txtLastName=Ong"},
        "'Cy Ong' already exists", "txtFirstName");
    row("name that cannot be a file name", {"txtLastName=Lee/Wu"}, "'Last Name' must not hold",
        "txtLastName");
    row("Profiles folder gone", {"folder gone"}, "Error Saving Profile To Disk", "cmdSave",
        MessageIcon::Critical);
}

void tst_Settings::refused()
{
    QFETCH(QStringList, changes);
    QFETCH(QString, says);
    QFETCH(QString, focus);
    QFETCH(int, icon);
    const QString existing = saveProfile();
    const QByteArray before = readAll(existing);
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    dialog.show();
    fillValid(dialog);
    const bool gone = changes == QStringList{"folder gone"};
    for (const QString &change : changes) {
        if (change == "no rules")
            dialog.listRules->clear();
        else if (gone) // a file where the Profiles folder was: nothing can be saved
            QVERIFY(QDir(m_folder->profiles()).removeRecursively() &&
                    writeFile(m_folder->profiles(), "x"));
        else
            dialog.findChild<QLineEdit *>(change.section('=', 0, 0))
                ->setText(change.section('=', 1));
    }
    QString focusAtMessage;
    int tabAtMessage = -1;
    m_messages.onMessage = [&](const Message &) {
        focusAtMessage = dialog.focusWidget() ? dialog.focusWidget()->objectName() : QString();
        tabAtMessage = dialog.SSTab1->currentIndex();
    };
    dialog.SSTab1->setCurrentIndex(1);
    dialog.cmdSave->click();
    // The field's tab shows before the message.
    QCOMPARE(tabAtMessage, focus == "txtDownload" ? 2 : focus == "cmdSave" ? 1 : 0);
    QCOMPARE(m_messages.messages.size(), 1);
    QVERIFY2(m_messages.texts().first().contains(says), qPrintable(m_messages.texts().first()));
    QCOMPARE(int(m_messages.messages.first().icon), icon);
    QCOMPARE(focusAtMessage, focus);
    QVERIFY(dialog.isVisible());
    // Nothing written, nothing replaced.
    QCOMPARE(readAll(existing), gone ? QByteArray() : before);
    QCOMPARE(QDir(m_folder->profiles()).entryList(QDir::Files),
             gone ? QStringList() : QStringList{"Cy Ong.xml"});
}

void tst_Settings::deleteProfile_data()
{
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("meanwhile"); // the file "removed", or a "folder" in its place
    QTest::addColumn<int>("answer");        // to the question
    const int ok = int(MessageAnswer::Ok);
    QTest::newRow("deletes the file and its entry")
        << "Profile Has Been Deleted!" << true << "" << ok;
    QTest::newRow("Cancel: nothing deleted") << "" << true << "" << int(MessageAnswer::Cancel);
    QTest::newRow("never saved: nothing to delete, the command is off") << "" << false << "" << ok;
    QTest::newRow("file removed meanwhile") << "no longer exists" << true << "removed" << ok;
    QTest::newRow("file cannot be deleted") << "could not be deleted" << true << "folder" << ok;
}

void tst_Settings::deleteProfile()
{
    QFETCH(QString, says);
    QFETCH(bool, saved);
    QFETCH(QString, meanwhile);
    QFETCH(int, answer);
    const QString path = saved ? saveProfile() : QString();
    frmProfileSelection selection(m_messages);
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(path);
    dialog.gFrmParent = &selection;
    dialog.show();
    QCOMPARE(dialog.cmdDeleteProfile->isEnabled(), saved);
    if (!meanwhile.isEmpty())
        QVERIFY(QFile::remove(path));
    if (meanwhile == "folder")
        QVERIFY(QDir().mkpath(path + "/inside"));
    m_messages.answer = MessageAnswer(answer);
    dialog.cmdDeleteProfile->click();
    // A saved profile is asked about first, with Cancel for Enter.
    QStringList expected;
    if (saved)
        expected << "Delete the profile of Cy Ong? Its file and stored password are removed.";
    if (!says.isEmpty())
        expected << says;
    QCOMPARE(m_messages.texts().size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        QVERIFY2(m_messages.texts().at(i).contains(expected.at(i)),
                 qPrintable(m_messages.texts().at(i)));
    if (saved)
        QCOMPARE(m_messages.messages.first().defaultAnswer, MessageAnswer::Cancel);
    const bool deleted = saved && meanwhile.isEmpty() && !says.isEmpty();
    QCOMPARE(dialog.isVisible(), !deleted);
    QCOMPARE(QFileInfo::exists(path), saved && meanwhile != "removed" && !deleted);
    if (deleted) {
        QCOMPARE(m_messages.messages.last().title, QStringLiteral("Profile Deleted"));
        QCOMPARE(selection.listProfiles->topLevelItemCount(), 1);
        QCOMPARE(selection.focusWidget(), selection.listProfiles);
    }
}

void tst_Settings::rules_data()
{
    QTest::addColumn<QStringList>("steps"); // add:TEXT, select:ROW, choose:FOLDER or a button
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QString>("preview");
    const QStringList loaded{"Reference", "\\", "Job Name", "_", "Demographic 1"};
    QTest::newRow("Add a choice; blank texts are not added, blanks around a text are kept")
        << QStringList{"add:Open Date/Time (yyyymmdd)", "add:", "add:   ", "add: - "}
        << loaded + QStringList{"Open Date/Time (yyyymmdd)", " - "}
        << "/tmp/REF-2207/Discharge Summary_Ward 420240305 - .wav";
    QTest::newRow("Delete the selected rule")
        << QStringList{"select:1", "cmdDelete"}
        << QStringList{"Reference", "Job Name", "_", "Demographic 1"}
        << "/tmp/REF-2207Discharge Summary_Ward 4.wav";
    QTest::newRow("Move Up") << QStringList{"select:4", "cmdMoveUp"}
                             << QStringList{"Reference", "\\", "Job Name", "Demographic 1", "_"}
                             << "/tmp/REF-2207/Discharge SummaryWard 4_.wav";
    QTest::newRow("Move Down") << QStringList{"select:2", "cmdMoveDown", "cmdMoveDown"}
                               << QStringList{"Reference", "\\", "_", "Demographic 1", "Job Name"}
                               << "/tmp/REF-2207/_Ward 4Discharge Summary.wav";
    QTest::newRow("Delete with none selected, Move Up on the first, Move Down on the last: nothing")
        << QStringList{"cmdDelete", "select:0", "cmdMoveUp", "select:4", "cmdMoveDown"} << loaded
        << "/tmp/REF-2207/Discharge Summary_Ward 4.wav";
    QTest::newRow("download folder chosen") << QStringList{"choose:/var/tmp"} << loaded
                                            << "/var/tmp/REF-2207/Discharge Summary_Ward 4.wav";
    QTest::newRow("Enter in Rule Choices adds the rule, the dialog stays")
        << QStringList{"enter:Reference"} << loaded + QStringList{"Reference"}
        << "/tmp/REF-2207/Discharge Summary_Ward 4REF-2207.wav";
}

void tst_Settings::rules()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, stored);
    QFETCH(QString, preview);
    const QString path = saveProfile(15, {"Reference", "\\", "Job Name", "_", "Demographic 1"});
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(path);
    dialog.show();
    QCOMPARE(dialog.SSTab1->tabText(2), "File Storeage Rules"); // spelled so, on purpose
    for (const QString &step : steps) {
        const QString argument = step.section(':', 1);
        if (step.startsWith("enter:")) {
            dialog.cmbRuleChoices->setEditText(argument);
            QTest::keyClick(dialog.cmbRuleChoices->lineEdit(), Qt::Key_Return);
            QVERIFY(dialog.isVisible());
        } else if (step.startsWith("add:")) {
            dialog.cmbRuleChoices->setEditText(argument);
            dialog.cmdAdd->click();
        } else if (step.startsWith("select:")) {
            dialog.listRules->setCurrentRow(argument.toInt());
        } else if (step.startsWith("choose:")) {
            dialog.cmdOpenDialog->click();
            auto *chooser = dialog.findChild<QFileDialog *>(QStringLiteral("folderChooser"));
            QVERIFY(chooser && chooser->isVisible() &&
                    chooser->fileMode() == QFileDialog::Directory);
            Q_EMIT chooser->fileSelected(argument);
            chooser->close();
        } else {
            dialog.findChild<QPushButton *>(step)->click();
        }
    }
    QCOMPARE(dialog.lblPreview->text(), QDir::toNativeSeparators(preview));
    dialog.cmdSave->click();
    QCOMPARE(reload(path).colDownloadRules, stored);
    QVERIFY(m_messages.messages.size() == 1);
}

void tst_Settings::downloadFolder_data()
{
    QTest::addColumn<QString>("folder"); // in the test folder, where "file" is a file
    QTest::addColumn<int>("answer");     // to every question
    QTest::addColumn<QString>("asked");  // the first question, a part of it
    QTest::addColumn<bool>("saved");
    const int yes = int(MessageAnswer::Yes), no = int(MessageAnswer::No);
    const char *create = "does not exist. Create it?";
    QTest::newRow("missing, Yes: created and saved") << "new/sub" << yes << create << true;
    QTest::newRow("missing, No: not saved") << "new/sub" << no << create << false;
    QTest::newRow("a file: No, not saved") << "file" << no << "file: it is not a folder." << false;
    QTest::newRow("a file: saved all the same")
        << "file" << yes << "file: it is not a folder." << true;
    QTest::newRow("cannot be created: saved all the same") << "file/sub" << yes << create << true;
}

void tst_Settings::downloadFolder()
{
    QFETCH(QString, folder);
    QFETCH(int, answer);
    QFETCH(QString, asked);
    QFETCH(bool, saved);
    QVERIFY(writeFile(m_folder->path("file"), "x"));
    frmProfileSettings dialog(m_messages);
    dialog.SetupFields(QString());
    dialog.show();
    fillValid(dialog);
    dialog.txtDownload->setText(m_folder->path(folder));
    m_messages.answer = MessageAnswer(answer);
    dialog.cmdSave->click();
    QVERIFY2(m_messages.texts().value(0).contains(asked), qPrintable(m_messages.texts().value(0)));
    QCOMPARE(QFile::exists(m_folder->profile("Ann Lee.xml")), saved);
    QCOMPARE(dialog.isVisible(), !saved);
    if (folder == "file/sub")
        QVERIFY(m_messages.texts().value(1).contains("sub: it could not be created."));
    if (!saved) // back at the field, on its tab
        QCOMPARE(dialog.focusWidget(), dialog.txtDownload);
    QCOMPARE(QFileInfo(m_folder->path(folder)).isDir(), folder == "new/sub" && saved);
}

void tst_Settings::editProfileFromTheSelectionWindow()
{
    const QString path = saveProfile();
    GUIFunctions controller(m_messages);
    controller.start();
    frmProfileSelection *selection = controller.selectionWindow();
    Q_EMIT selection->editProfileRequested(path);
    auto *dialog = selection->findChild<frmProfileSettings *>();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
    QCOMPARE(dialog->txtFirstName->text(), QStringLiteral("Cy"));
    // Closed with the close box: nothing written, the list read again.
    const QByteArray before = readAll(path);
    dialog->txtLogin->setText(QStringLiteral("other"));
    QVERIFY(writeFile(m_folder->profile("Dee Fox.xml"), profileFile({{"first_name", "Dee"}})));
    // Asked first: No keeps the dialog open, Yes discards.
    m_messages.answer = MessageAnswer::No;
    dialog->close();
    QVERIFY(dialog->isVisible());
    m_messages.answer = MessageAnswer::Yes;
    dialog->close();
    QCOMPARE(m_messages.texts(),
             QStringList(2, "The changes to this profile are not saved. Discard them?"));
    QCOMPARE(m_messages.messages.first().defaultAnswer, MessageAnswer::No);
    QCOMPARE(readAll(path), before);
    QCOMPARE(selection->listProfiles->topLevelItemCount(), 3);
    // The profile edited stays selected, second after Dee Fox's, with the focus.
    QCOMPARE(selection->selectedKey().value_or(QString()), path);
    QCOMPARE(selection->focusWidget(), selection->listProfiles);
}

QTEST_MAIN(tst_Settings)
#include "tst_settings.moc"
