#include "TestSupport.h"

#include "dialogs/ProfileSelectionLayout.h"
#include "dialogs/frmProfileSelection.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <sys/stat.h>

namespace {

void saveProfile(MessageSink &messages, const QString &first, const QString &last,
                 const QString &department)
{
    Profile profile(messages);
    profile.gFirstName = first;
    profile.gLastName = last;
    profile.gDepartment = department;
    QVERIFY(profile.SaveProfileToXML(QString()));
}

QStringList entryTexts(const QTreeWidget *list, int column)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << list->topLevelItem(i)->text(column);
    return out;
}

void clickEntry(QTreeWidget *list, int row)
{
    const QRect rect = list->visualItemRect(list->topLevelItem(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

} // namespace

class tst_Dialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { folder.reset(); }
    void init()
    {
        folder.reset(new TestFolder);
        QDir().mkpath(folder->profiles());
        messages.clear();
    }

    void emptyFolderListsCreateNewOnly();
    void profilesInOrderThenCreateNew();
    void strayFileIsListedWithOneMessage_data();
    void strayFileIsListedWithOneMessage();
    void clickingEntriesSwitchesLoadProfile();
    void commandsHandOverTheKey();
    void cancelCloses();
    void rebuildFollowsTheFolder();
    void resizeRule_data();
    void resizeRule();
    void resizeRuleApplied();

private:
    std::unique_ptr<TestFolder> folder;
    RecordingMessageSink messages;
};

void tst_Dialogs::emptyFolderListsCreateNewOnly()
{
    frmProfileSelection window(messages);
    QCOMPARE(window.windowTitle(), QStringLiteral("Profile Selection"));
    QCOMPARE(window.listProfiles->headerItem()->text(0), QStringLiteral("Profile Name"));
    QCOMPARE(window.listProfiles->headerItem()->text(1), QStringLiteral("Department"));
    QCOMPARE(entryTexts(window.listProfiles, 0), QStringList{"< Create New Profile >"});
    QCOMPARE(entryTexts(window.listProfiles, 1), QStringList{""});
    QVERIFY(window.cmdLoadProfile->isEnabled());
    QVERIFY(messages.messages.isEmpty());
}

void tst_Dialogs::profilesInOrderThenCreateNew()
{
    saveProfile(messages, QStringLiteral("Bo"), QStringLiteral("Wu"), QStringLiteral("Radiology"));
    saveProfile(messages, QStringLiteral("Ann"), QStringLiteral("Lee"),
                QStringLiteral("Cardiology"));
    frmProfileSelection window(messages);
    QCOMPARE(entryTexts(window.listProfiles, 0),
             QStringList({"Ann Lee", "Bo Wu", "< Create New Profile >"}));
    QCOMPARE(entryTexts(window.listProfiles, 1), QStringList({"Cardiology", "Radiology", ""}));
    QCOMPARE(window.listProfiles->topLevelItem(0)->data(0, Qt::UserRole).toString(),
             folder->profile(QStringLiteral("Ann Lee.xml")));
    QVERIFY(window.listProfiles->topLevelItem(2)->data(0, Qt::UserRole).toString().isEmpty());
    QVERIFY(!window.listProfiles->topLevelItem(0)->icon(0).isNull());
    QVERIFY(messages.messages.isEmpty());
}

void tst_Dialogs::strayFileIsListedWithOneMessage_data()
{
    QTest::addColumn<bool>("fifo");
    QTest::newRow("text file") << false;
    QTest::newRow("FIFO without a writer") << true;
}

void tst_Dialogs::strayFileIsListedWithOneMessage()
{
    QFETCH(bool, fifo);
    const QString path = folder->profile(QStringLiteral("notes.txt"));
    QVERIFY(fifo ? ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0
                 : writeFile(path, "not a profile"));
    frmProfileSelection window(messages);
    QCOMPARE(messages.texts(), QStringList{"Error Loding User Profile"});
    QCOMPARE(entryTexts(window.listProfiles, 0), QStringList({" ", "< Create New Profile >"}));
    QCOMPARE(window.listProfiles->topLevelItem(0)->data(0, Qt::UserRole).toString(),
             folder->profile(QStringLiteral("notes.txt")));
}

void tst_Dialogs::clickingEntriesSwitchesLoadProfile()
{
    saveProfile(messages, QStringLiteral("Ann"), QStringLiteral("Lee"), QString());
    frmProfileSelection window(messages);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    clickEntry(window.listProfiles, 1);
    QVERIFY(!window.cmdLoadProfile->isEnabled());
    QVERIFY(window.cmdEdit->isEnabled());
    QVERIFY(window.cmdCancel->isEnabled());
    clickEntry(window.listProfiles, 0);
    QVERIFY(window.cmdLoadProfile->isEnabled());
    // The keyboard moves the selection the same way.
    QTest::keyClick(window.listProfiles, Qt::Key_Down);
    QVERIFY(!window.cmdLoadProfile->isEnabled());
}

void tst_Dialogs::commandsHandOverTheKey()
{
    saveProfile(messages, QStringLiteral("Ann"), QStringLiteral("Lee"), QString());
    frmProfileSelection window(messages);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy loads(&window, &frmProfileSelection::loadProfileRequested);
    QSignalSpy edits(&window, &frmProfileSelection::editProfileRequested);
    const QString path = folder->profile(QStringLiteral("Ann Lee.xml"));

    // Nothing selected: the commands have no entry to work on.
    window.cmdLoadProfile->click();
    window.cmdEdit->click();
    QCOMPARE(loads.size() + edits.size(), 0);

    clickEntry(window.listProfiles, 0);
    window.cmdLoadProfile->click();
    window.cmdEdit->click();
    QCOMPARE(loads.size(), 1);
    QCOMPARE(loads.at(0).at(0).toString(), path);
    QCOMPARE(edits.size(), 1);
    QCOMPARE(edits.at(0).at(0).toString(), path);

    const QRect profileRect =
        window.listProfiles->visualItemRect(window.listProfiles->topLevelItem(0));
    QTest::mouseDClick(window.listProfiles->viewport(), Qt::LeftButton, {}, profileRect.center());
    QCOMPARE(loads.size(), 2);
    // Enter on the create-new entry acts like its double click.
    window.listProfiles->setCurrentItem(window.listProfiles->topLevelItem(1));
    QTest::keyClick(window.listProfiles, Qt::Key_Return);
    QCOMPARE(edits.size(), 2);
    QVERIFY(edits.at(1).at(0).toString().isEmpty());
    QCOMPARE(loads.size(), 2);
}

void tst_Dialogs::cancelCloses()
{
    frmProfileSelection window(messages);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    // The accelerator animates a click, which lands a moment later.
    QTest::keyClick(window.windowHandle(), Qt::Key_C, Qt::AltModifier);
    QTRY_VERIFY(!window.isVisible());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
    QVERIFY(!window.isVisible());
    QVERIFY(messages.messages.isEmpty());
}

void tst_Dialogs::rebuildFollowsTheFolder()
{
    frmProfileSelection window(messages);
    QCOMPARE(window.listProfiles->topLevelItemCount(), 1);
    saveProfile(messages, QStringLiteral("Ann"), QStringLiteral("Lee"), QString());
    window.LoadProfileListEx();
    QCOMPARE(window.listProfiles->topLevelItemCount(), 2);
    QVERIFY(QFile::remove(folder->profile(QStringLiteral("Ann Lee.xml"))));
    window.LoadProfileListEx();
    QCOMPARE(window.listProfiles->topLevelItemCount(), 1);
}

void tst_Dialogs::resizeRule_data()
{
    QTest::addColumn<float>("extra");
    QTest::newRow("as designed") << 0.0f;
    QTest::newRow("wider by 1000") << 1000.0f;
    QTest::newRow("wider by 3333") << 3333.0f;
}

void tst_Dialogs::resizeRule()
{
    QFETCH(float, extra);
    const float width = 5445, height = 5835;
    const auto base = ProfileSelectionLayout::compute(width, height);
    const auto wide = ProfileSelectionLayout::compute(width + extra, height);

    QCOMPARE(base.list.width, width - 150);
    QCOMPARE(base.list.height, height - 495 - 750);
    QCOMPARE(base.nameColumnWidth, base.list.width / 2);
    QCOMPARE(wide.list.width, base.list.width + extra);
    QCOMPARE(wide.nameColumnWidth, base.nameColumnWidth + extra / 2);
    QCOMPARE(wide.departmentColumnWidth, base.departmentColumnWidth + extra / 2);
    for (auto box : {&ProfileSelectionLayout::loadProfile, &ProfileSelectionLayout::edit,
                     &ProfileSelectionLayout::cancel}) {
        QCOMPARE((wide.*box).left, (base.*box).left + extra / 2);
        QCOMPARE((wide.*box).width, 1575.0f);
        QCOMPARE((wide.*box).height, 495.0f);
        QCOMPARE((wide.*box).top, base.list.height + 150);
    }
    QCOMPARE(wide.list.left, 0.0f);
    QCOMPARE(wide.list.top, 0.0f);
    QCOMPARE(wide.edit.left, wide.loadProfile.left + 1575 + 200);
    QCOMPARE(wide.cancel.left, wide.edit.left + 1575 + 200);

    const auto tiny = ProfileSelectionLayout::compute(100, 100);
    QCOMPARE(tiny.list.width, 0.0f);
    QCOMPARE(tiny.list.height, 0.0f);
    QCOMPARE(tiny.nameColumnWidth, 0.0f);
    QVERIFY(tiny.loadProfile.left >= 0);
    QVERIFY(tiny.loadProfile.top >= 0);
}

void tst_Dialogs::resizeRuleApplied()
{
    frmProfileSelection window(messages);
    window.resize(600, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int listWidth = window.listProfiles->width();
    const int loadLeft = window.cmdLoadProfile->x();
    window.resize(800, 400);
    QTRY_COMPARE(window.width(), 800);
    QCOMPARE(window.listProfiles->width(), listWidth + 200);
    QVERIFY(qAbs(window.cmdLoadProfile->x() - (loadLeft + 100)) <= 1);
    QVERIFY(qAbs(window.listProfiles->columnWidth(0) - window.listProfiles->width() / 2) <= 3);
}

QTEST_MAIN(tst_Dialogs)
#include "tst_dialogs.moc"
