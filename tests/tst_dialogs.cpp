#include "TestSupport.h"

#include "dialogs/ProfileSelectionLayout.h"
#include "dialogs/frmProfileSelection.h"
#include "platform/RecordingMessageSink.h"

#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <sys/stat.h>

class tst_Dialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        folder = std::make_unique<TestFolder>();
        QDir().mkpath(folder->profiles());
        messages.clear();
    }
    void cleanup() { folder.reset(); }

    void listing_data();
    void listing();
    void keyboard_data();
    void keyboard();
    void resizeRule();

private:
    std::unique_ptr<TestFolder> folder;
    RecordingMessageSink messages;
};

void tst_Dialogs::listing_data()
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

void tst_Dialogs::listing()
{
    QFETCH(QStringList, profiles);
    QFETCH(QString, stray);
    QFETCH(QStringList, entries);
    for (const QString &name : profiles)
        QVERIFY(writeFile(folder->profile(name + ".xml"),
                          profileFile({{"first_name", name.section(' ', 0, 0)},
                                       {"last_name", name.section(' ', 1)},
                                       {"department", name.section(' ', 0, 0) + "'s ward"}})));
    const QString strayPath = folder->profile(QStringLiteral("notes.txt"));
    if (stray == "text")
        QVERIFY(writeFile(strayPath, "not a profile"));
    else if (stray == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(strayPath).constData(), 0600), 0);

    frmProfileSelection window(messages);
    QCOMPARE(messages.texts(),
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

void tst_Dialogs::keyboard_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<bool>("loadsFirst");
    QTest::addColumn<QString>("edits"); // "first", "new" or none
    QTest::addColumn<bool>("closes");
    QTest::newRow("Alt+L loads the first entry, selected on opening")
        << "alt+l" << true << "" << false;
    QTest::newRow("Home, then Alt+L") << "home alt+l" << true << "" << false;
    QTest::newRow("Alt+E edits the first entry") << "alt+e" << false << "first" << false;
    QTest::newRow("create-new: Alt+L does nothing, Alt+E edits a new profile")
        << "down alt+l alt+e" << false << "new" << false;
    QTest::newRow("Return on create-new edits a new profile")
        << "down return" << false << "new" << false;
    QTest::newRow("Alt+C closes") << "alt+c" << false << "" << true;
    QTest::newRow("Escape closes") << "escape" << false << "" << true;
}

void tst_Dialogs::keyboard()
{
    QFETCH(QString, keys);
    QFETCH(bool, loadsFirst);
    QFETCH(QString, edits);
    QFETCH(bool, closes);
    const QString first = folder->profile(QStringLiteral("Ann Lee.xml"));
    QVERIFY(writeFile(first, profileFile()));
    frmProfileSelection window(messages);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.listProfiles->setFocus();
    QSignalSpy loads(&window, &frmProfileSelection::loadProfileRequested);
    QSignalSpy editSpy(&window, &frmProfileSelection::editProfileRequested);
    const QMap<QString, QPair<Qt::Key, Qt::KeyboardModifiers>> named{
        {"alt+l", {Qt::Key_L, Qt::AltModifier}},
        {"alt+e", {Qt::Key_E, Qt::AltModifier}},
        {"alt+c", {Qt::Key_C, Qt::AltModifier}},
        {"home", {Qt::Key_Home, {}}},
        {"down", {Qt::Key_Down, {}}},
        {"return", {Qt::Key_Return, {}}},
        {"escape", {Qt::Key_Escape, {}}}};
    for (const QString &key : keys.split(' '))
        QTest::keyClick(window.windowHandle(), named[key].first, named[key].second);
    // An accelerator animates a click, which lands a moment later.
    QTRY_VERIFY(!loads.isEmpty() || !editSpy.isEmpty() || !window.isVisible());
    QCOMPARE(loads.size(), loadsFirst ? 1 : 0);
    if (loadsFirst)
        QCOMPARE(loads.first().first().toString(), first);
    QCOMPARE(editSpy.size(), edits.isEmpty() ? 0 : 1);
    if (!edits.isEmpty())
        QCOMPARE(editSpy.first().first().toString(), edits == "first" ? first : QString());
    QCOMPARE(window.isVisible(), !closes);
}

void tst_Dialogs::resizeRule()
{
    const float width = 5445, height = 5835, extra = 3333;
    const auto base = ProfileSelectionLayout::compute(width, height);
    const auto wide = ProfileSelectionLayout::compute(width + extra, height);
    QCOMPARE(base.list.height, height - 495 - 750);
    // The list and its columns take the extra width; the buttons stay centred.
    QCOMPARE(wide.list.width, width - 150 + extra);
    QCOMPARE(wide.nameColumnWidth + wide.departmentColumnWidth, wide.list.width);
    QCOMPARE(wide.edit.left + wide.edit.width / 2, (width + extra) / 2);
    const auto tiny = ProfileSelectionLayout::compute(100, 100);
    QCOMPARE(tiny.list.width + tiny.list.height, 0.0f);
    QVERIFY(tiny.loadProfile.left >= 0 && tiny.loadProfile.top >= 0);
}

QTEST_MAIN(tst_Dialogs)
#include "tst_dialogs.moc"
