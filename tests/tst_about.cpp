#include "dialogs/frmAbout.h"
#include "platform/RecordingMessageSink.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

using Value = QPair<quint32, QByteArray>; // type, bytes
using Values = QMap<QByteArray, Value>;
const QByteArray pathKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QByteArray folderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";

// A registry of keys holding values; it records the keys opened and counts
// the closes.
struct FakeRegistry : Registry
{
    QMap<QByteArray, Values> keys;
    QList<QByteArray> opened;
    int closes = 0;

    long openKey(quint32 root, const QByteArray &name, quint32 access, Handle *key) override
    {
        opened << name;
        *key = keys.contains(name) ? Handle(opened.size()) : 0;
        return root == HKEY_LOCAL_MACHINE_ && access == 0x2003F && *key ? 0 : 2;
    }
    long queryValue(Handle key, const QByteArray &name, QByteArray &buffer, quint32 *type,
                    quint32 *size) override
    {
        const Value value = keys.value(opened.at(qsizetype(key) - 1)).value(name);
        *type = value.first;
        *size = quint32(value.second.size());
        if (value.second.size() > buffer.size())
            return 234; // more data
        buffer.replace(0, value.second.size(), value.second);
        return value.first ? 0 : 2;
    }
    void closeKey(Handle) override { ++closes; }
};

// The About box over the fake registry, with program starts recorded.
struct Box
{
    RecordingMessageSink messages;
    frmAbout about{messages};
    FakeRegistry *registry = new FakeRegistry;
    QStringList started;
    bool startWorks = true;

    Box()
    {
        about.setRegistry(std::unique_ptr<Registry>(registry));
        about.setProgramStarter([this](const QString &program) {
            started << program;
            return startWorks;
        });
        about.setFileExists([](const QString &path) { return path.startsWith("C:\\Shared\\"); });
        about.setDesktopPrograms({});
    }
};

} // namespace

class tst_About : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wholeTextsAndCommands();
    void startSysInfo_data();
    void startSysInfo();
};

void tst_About::wholeTextsAndCommands()
{
    Box box;
    QVERIFY(
        !(box.about.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    for (QWidget *control : std::initializer_list<QWidget *>{
             box.about.lblTitle, box.about.lblVersion, box.about.cmdOK, box.about.cmdSysInfo}) {
        const QString text = control->property("text").toString().remove('&');
        QVERIFY2(control->width() >= control->fontMetrics().horizontalAdvance(text) &&
                     box.about.rect().contains(control->geometry()),
                 qPrintable(text + " is cut"));
    }
    box.about.show();
    box.about.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&box.about));
    QTest::keyClick(box.about.windowHandle(), Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(box.started.size() + box.messages.messages.size(), 1);
    QTest::keyClick(&box.about, Qt::Key_Return); // OK
    QTRY_VERIFY(!box.about.isVisible());
}

void tst_About::startSysInfo_data()
{
    QTest::addColumn<Values>("path");       // the values of the first key
    QTest::addColumn<QByteArray>("folder"); // the value of the second key
    QTest::addColumn<QString>("started");   // the end of the program started; empty: none
    QTest::addColumn<QStringList>("desktop");
    QTest::addColumn<bool>("startWorks");
    const auto row = [](const char *name, const Values &path, const char *folder,
                        const QString &started, const QStringList &desktop = {},
                        bool works = true) {
        QTest::newRow(name) << path << QByteArray(folder) << started << desktop << works;
    };
    const auto path = [](quint32 type, const QByteArray &bytes) {
        return Values{{"PATH", {type, bytes}}};
    };
    const QString inFolder = QStringLiteral("C:\\Shared\\MSINFO32.EXE");
    row("PATH, its closing NUL dropped; the folder is not read",
        path(1, QByteArray("C:\\Info\\msinfo32.exe\0", 21)), "C:\\Shared",
        "C:\\Info\\msinfo32.exe");
    row("PATH as a 32-bit value, last byte first", path(4, QByteArray("\x0f\x01\0\xab", 4)), "",
        "&hAB01F");
    row("PATH of 1024 bytes", path(1, QByteArray(1024, 'a')), "", QString(1024, 'a'));
    row("PATH over 1024 bytes: the folder's program", path(1, QByteArray(1025, 'a')), "C:\\Shared",
        inFolder);
    row("first key without PATH: the folder's program", {{"OTHER", {1, "x"}}}, "C:\\Shared",
        inFolder);
    row("folder without the program", {}, "C:\\Elsewhere", "");
    row("program cannot start", path(1, "C:\\Info\\msinfo32.exe"), "", "msinfo32.exe", {}, false);
    row("no registry: a desktop program on PATH", {}, "", "/sh", {"no-such-program-here", "sh"});
    row("no registry, no desktop program", {}, "", "");
}

void tst_About::startSysInfo()
{
    QFETCH(Values, path);
    QFETCH(QByteArray, folder);
    QFETCH(QString, started);
    QFETCH(QStringList, desktop);
    QFETCH(bool, startWorks);
#ifdef Q_OS_WIN
    if (!desktop.isEmpty())
        QSKIP("the registry decides on Windows");
#endif
    Box box;
    if (!path.isEmpty())
        box.registry->keys[pathKey] = path;
    if (!folder.isEmpty())
        box.registry->keys[folderKey] = Values{{"MSINFO", {1, folder}}};
    box.startWorks = startWorks;
    box.about.setDesktopPrograms(desktop);
    box.about.StartSysInfo();
    QCOMPARE(box.started.size(), started.isEmpty() ? 0 : 1);
    QVERIFY2(started.isEmpty() || box.started.first().endsWith(started),
             qPrintable(box.started.value(0)));
    const bool fails = started.isEmpty() || !startWorks;
    QCOMPARE(box.messages.texts(),
             fails ? QStringList{"System Information Is Unavailable At This Time"} : QStringList());
    QCOMPARE(box.registry->opened.contains(folderKey),
             !path.contains("PATH") || path.value("PATH").second.size() > 1024);
    QCOMPARE(box.registry->closes, box.registry->opened.size());
}

QTEST_MAIN(tst_About)
#include "tst_about.moc"
