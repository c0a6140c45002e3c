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

void addProfile(const TestFolder &folder, const QString &first, const QString &last,
                const QString &department = QString())
{
    QVERIFY(writeFile(
        folder.profile(first + QLatin1Char(' ') + last + ".xml"),
        profileFile({{"first_name", first}, {"last_name", last}, {"department", department}})));
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

    void listing_data();
    void listing();
    void commandsFollowTheSelection();
    void cancelCloses();
    void resizeRule_data();
    void resizeRule();
    void resizeRuleApplied();

private:
    std::unique_ptr<TestFolder> folder;
    RecordingMessageSink messages;
};

void tst_Dialogs::listing_data()
{
    QTest::addColumn<QStringList>("profiles"); // "First Last/Department"
    QTest::addColumn<QString>("stray");        // "text", "fifo" or none
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("departments");
    QTest::addColumn<QString>("firstFile");
    const QString createNew = QStringLiteral("< Create New Profile >");
    QTest::newRow("empty folder: create-new only")
        << QStringList() << QString() << QStringList{createNew} << QStringList{""} << QString();
    QTest::newRow("profiles by name, then create-new")
        << QStringList{"Bo Wu/Radiology", "Ann Lee/Cardiology"} << QString()
        << QStringList{"Ann Lee", "Bo Wu", createNew} << QStringList{"Cardiology", "Radiology", ""}
        << "Ann Lee.xml";
    QTest::newRow("stray text file is listed with one message")
        << QStringList() << "text" << QStringList{" ", createNew} << QStringList() << "notes.txt";
    QTest::newRow("FIFO without a writer is listed with one message")
        << QStringList() << "fifo" << QStringList{" ", createNew} << QStringList() << "notes.txt";
}

void tst_Dialogs::listing()
{
    QFETCH(QStringList, profiles);
    QFETCH(QString, stray);
    QFETCH(QStringList, names);
    QFETCH(QStringList, departments);
    QFETCH(QString, firstFile);
    for (const QString &profile : profiles)
        addProfile(*folder, profile.section(' ', 0, 0), profile.section(' ', 1).section('/', 0, 0),
                   profile.section('/', 1));
    const QString strayPath = folder->profile(QStringLiteral("notes.txt"));
    if (stray == "text")
        QVERIFY(writeFile(strayPath, "not a profile"));
    else if (stray == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(strayPath).constData(), 0600), 0);

    frmProfileSelection window(messages);
    QCOMPARE(messages.texts(),
             stray.isEmpty() ? QStringList() : QStringList{"Error Loding User Profile"});
    QCOMPARE(entryTexts(window.listProfiles, 0), names);
    if (!departments.isEmpty())
        QCOMPARE(entryTexts(window.listProfiles, 1), departments);
    const auto path = [&](int row) {
        return window.listProfiles->topLevelItem(row)->data(0, Qt::UserRole).toString();
    };
    if (!firstFile.isEmpty())
        QCOMPARE(path(0), folder->profile(firstFile));
    QVERIFY(path(int(names.size()) - 1).isEmpty());
}

void tst_Dialogs::commandsFollowTheSelection()
{
    addProfile(*folder, QStringLiteral("Ann"), QStringLiteral("Lee"));
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
    // The create-new entry can be edited, not loaded.
    clickEntry(window.listProfiles, 1);
    QVERIFY(!window.cmdLoadProfile->isEnabled());
    QVERIFY(window.cmdEdit->isEnabled());

    clickEntry(window.listProfiles, 0);
    QVERIFY(window.cmdLoadProfile->isEnabled());
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

    // The keyboard moves the selection the same way; Enter on the create-new
    // entry acts like its double click.
    QTest::keyClick(window.listProfiles, Qt::Key_Down);
    QVERIFY(!window.cmdLoadProfile->isEnabled());
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
    // The list and its columns take the extra width; the buttons stay centred.
    QCOMPARE(wide.list.width, base.list.width + extra);
    QCOMPARE(wide.nameColumnWidth, base.nameColumnWidth + extra / 2);
    QCOMPARE(wide.departmentColumnWidth, base.departmentColumnWidth + extra / 2);
    for (auto box : {&ProfileSelectionLayout::loadProfile, &ProfileSelectionLayout::edit,
                     &ProfileSelectionLayout::cancel})
        QCOMPARE((wide.*box).left, (base.*box).left + extra / 2);

    const auto tiny = ProfileSelectionLayout::compute(100, 100);
    QCOMPARE(tiny.list.width, 0.0f);
    QCOMPARE(tiny.list.height, 0.0f);
    QVERIFY(tiny.loadProfile.left >= 0 && tiny.loadProfile.top >= 0);
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
