#include "dialogs/frmAbout.h"
#include "platform/RecordingMessageSink.h"

#include <QPushButton>
#include <QTest>

#include <map>

namespace {

// A registry of keys holding values, that remembers which keys were opened.
class FakeRegistry : public Registry
{
public:
    struct Value
    {
        quint32 type;
        QByteArray bytes;
    };
    std::map<QByteArray, std::map<QByteArray, Value>> keys;
    QList<QByteArray> opened;
    int closes = 0;

    long openKey(quint32 root, const QByteArray &keyName, quint32 access, Handle *key) override
    {
        opened << keyName;
        *key = 0;
        if (root != HKEY_LOCAL_MACHINE_ || access != 0x2003F || !keys.count(keyName))
            return 2;
        *key = Handle(std::distance(keys.begin(), keys.find(keyName)) + 1);
        return 0;
    }

    long queryValue(Handle key, const QByteArray &valueName, QByteArray &buffer, quint32 *type,
                    quint32 *size) override
    {
        auto entry = std::next(keys.begin(), qsizetype(key) - 1);
        const auto value = entry->second.find(valueName);
        if (value == entry->second.end())
            return 2;
        *type = value->second.type;
        *size = quint32(value->second.bytes.size());
        if (value->second.bytes.size() > buffer.size())
            return 234; // more data
        std::copy(value->second.bytes.begin(), value->second.bytes.end(), buffer.begin());
        return 0;
    }

    void closeKey(Handle) override { ++closes; }
};

const QByteArray pathKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QByteArray folderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
const QString unavailable = QStringLiteral("System Information Is Unavailable At This Time");

} // namespace

using Values = std::map<QByteArray, FakeRegistry::Value>;

class tst_About : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void closesByOkEnterAndEscape_data();
    void closesByOkEnterAndEscape();
    void getKeyValue_data();
    void getKeyValue();
    void startSysInfo_data();
    void startSysInfo();
    void desktopProgramWithoutRegistry();

private:
    struct Box
    {
        RecordingMessageSink messages;
        frmAbout about{messages};
        FakeRegistry *registry = nullptr;
        QStringList started;
        bool startWorks = true;
        QStringList existing;

        Box()
        {
            auto fake = std::make_unique<FakeRegistry>();
            registry = fake.get();
            about.setRegistry(std::move(fake));
            about.setProgramStarter([this](const QString &program) {
                started << program;
                return startWorks;
            });
            about.setFileExists([this](const QString &path) { return existing.contains(path); });
            about.setDesktopPrograms({});
        }
    };
};

void tst_About::closesByOkEnterAndEscape_data()
{
    QTest::addColumn<int>("key"); // 0: a click on OK
    QTest::addColumn<bool>("closes");
    QTest::newRow("OK") << 0 << true;
    QTest::newRow("Enter") << int(Qt::Key_Return) << true;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << true;
    QTest::newRow("Alt+S starts the information program instead") << int(Qt::Key_S) << false;
}

void tst_About::closesByOkEnterAndEscape()
{
    QFETCH(int, key);
    QFETCH(bool, closes);
    Box box;
    box.about.show();
    box.about.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&box.about));
    if (key == 0)
        QTest::mouseClick(box.about.cmdOK, Qt::LeftButton);
    else if (key == Qt::Key_S)
        QTest::keyClick(box.about.windowHandle(), Qt::Key_S, Qt::AltModifier);
    else
        QTest::keyClick(&box.about, Qt::Key(key));
    if (closes) {
        QTRY_VERIFY(!box.about.isVisible());
    } else {
        QTRY_COMPARE(box.messages.texts(), QStringList{unavailable});
        QVERIFY(box.about.isVisible());
    }
}

void tst_About::getKeyValue_data()
{
    QTest::addColumn<Values>("values");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("expected");

    QTest::newRow("string with its NUL")
        << Values{{"V", {1, QByteArray("C:\\Tools\0", 9)}}} << "x" << true << "C:\\Tools";
    QTest::newRow("string without NUL")
        << Values{{"V", {1, QByteArray("C:\\Tools")}}} << "x" << true << "C:\\Tools";
    QTest::newRow("32-bit value, last character first")
        << Values{{"V", {4, QByteArray("\x2a\x01\x05\xab", 4)}}} << "" << true << "&hAB512A";
    QTest::newRow("32-bit value after the entry text")
        << Values{{"V", {4, QByteArray("\x0f\x01\0\0", 4)}}} << "pre" << true << "&hpre01F";
    QTest::newRow("unknown type leaves the text")
        << Values{{"V", {3, QByteArray("abc")}}} << "kept" << true << "kept";
    QTest::newRow("over 1024 bytes")
        << Values{{"V", {1, QByteArray(1025, 'a')}}} << "x" << false << "";
    QTest::newRow("exactly 1024 bytes") << Values{{"V", {1, QByteArray(1024, 'a')}}} << "x" << true
                                        << QString(1024, QLatin1Char('a'));
    QTest::newRow("missing value") << Values{{"W", {1, QByteArray("x")}}} << "x" << false << "";
}

void tst_About::getKeyValue()
{
    QFETCH(Values, values);
    QFETCH(QString, entry);
    QFETCH(bool, result);
    QFETCH(QString, expected);
    Box box;
    box.registry->keys[pathKey] = values;
    QString value = entry;
    QCOMPARE(box.about.GetKeyValue(Registry::HKEY_LOCAL_MACHINE_, QString::fromLatin1(pathKey),
                                   QStringLiteral("V"), value),
             result);
    QCOMPARE(value, expected);
    QCOMPARE(box.registry->closes, 1);

    // A missing key.
    value = entry;
    QVERIFY(!box.about.GetKeyValue(Registry::HKEY_LOCAL_MACHINE_, QStringLiteral("NO\\SUCH"),
                                   QStringLiteral("V"), value));
    QCOMPARE(value, QString());
}

void tst_About::startSysInfo_data()
{
    QTest::addColumn<bool>("pathValue");
    QTest::addColumn<bool>("folderValue");
    QTest::addColumn<bool>("programInFolder");
    QTest::addColumn<bool>("startWorks");
    QTest::addColumn<QStringList>("started");
    QTest::addColumn<bool>("message");

    QTest::newRow("PATH present") << true << true << true << true
                                  << QStringList{"C:\\Info\\msinfo32.exe"} << false;
    QTest::newRow("only the folder, program in it")
        << false << true << true << true << QStringList{"C:\\Shared\\MSINFO32.EXE"} << false;
    QTest::newRow("folder without the program")
        << false << true << false << true << QStringList() << true;
    QTest::newRow("neither") << false << false << false << true << QStringList() << true;
    QTest::newRow("program cannot start")
        << true << false << false << false << QStringList{"C:\\Info\\msinfo32.exe"} << true;
}

void tst_About::startSysInfo()
{
    QFETCH(bool, pathValue);
    QFETCH(bool, folderValue);
    QFETCH(bool, programInFolder);
    QFETCH(bool, startWorks);
    QFETCH(QStringList, started);
    QFETCH(bool, message);

    Box box;
    if (pathValue)
        box.registry->keys[pathKey] =
            Values{{"PATH", {1, QByteArray("C:\\Info\\msinfo32.exe\0", 21)}}};
    if (folderValue)
        box.registry->keys[folderKey] = Values{{"MSINFO", {1, QByteArray("C:\\Shared")}}};
    if (programInFolder)
        box.existing << QStringLiteral("C:\\Shared\\MSINFO32.EXE");
    box.startWorks = startWorks;
    box.about.show();

    box.about.StartSysInfo();
    QCOMPARE(box.started, started);
    QCOMPARE(box.messages.texts(), message ? QStringList{unavailable} : QStringList());
    if (message) {
        QCOMPARE(box.messages.messages.first().icon, MessageIcon::None);
        QCOMPARE(box.messages.messages.first().title, MessageSink::applicationTitle());
    }
    // With PATH present the second key is not read.
    QCOMPARE(box.registry->opened.contains(folderKey), !pathValue);
    QVERIFY(box.about.isVisible());
}

void tst_About::desktopProgramWithoutRegistry()
{
#ifdef Q_OS_WIN
    QSKIP("the registry decides on Windows");
#else
    Box box;
    box.about.setDesktopPrograms({"no-such-program-here", "sh"});
    box.about.StartSysInfo();
    QCOMPARE(box.started.size(), 1);
    QVERIFY(box.started.first().endsWith(QLatin1String("/sh")));
    QVERIFY(box.messages.messages.isEmpty());
#endif
}

QTEST_MAIN(tst_About)
#include "tst_about.moc"
