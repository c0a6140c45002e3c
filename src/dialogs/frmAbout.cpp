#include "dialogs/frmAbout.h"

#include "platform/MessageSink.h"
#include "platform/Twips.h"

#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

namespace {

const char *const productName = "Quillet Internet Transfer Tool";

// Desktop programs that show what the system is made of, looked for in turn.
const QStringList knownSystemInformationPrograms = {
    QStringLiteral("kinfocenter"), QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"),
    QStringLiteral("gnome-system-monitor"), QStringLiteral("xfce4-taskmanager")};

} // namespace

frmAbout::frmAbout(MessageSink &messages, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_messages(messages), m_registry(Registry::system()),
      m_start([](const QString &program) { return QProcess::startDetached(program, {}); }),
      m_exists([](const QString &path) { return QFileInfo(path).isFile(); }),
      m_desktopPrograms(knownSystemInformationPrograms)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + MessageSink::applicationTitle());
    const double dpi = logicalDpiX();
    const auto px = [dpi](double twips) {
        return Twips::toPixels(twips, dpi);
    };
    setFixedSize(px(5730), px(3555));

    auto *picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(QIcon(QStringLiteral(":/images/app.png")).pixmap(32, 32));
    picIcon->setAlignment(Qt::AlignCenter);
    picIcon->setGeometry(px(240), px(240), px(540), px(540));

    lblTitle = new QLabel(QLatin1String(productName), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblTitle->setGeometry(px(1050), px(240), px(3885), px(480));

    lblVersion = new QLabel(QStringLiteral("Version %1.%2.%3")
                                .arg(QUILLET_VERSION_MAJOR)
                                .arg(QUILLET_VERSION_MINOR)
                                .arg(QUILLET_VERSION_PATCH),
                            this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setGeometry(px(1050), px(780), px(3885), px(225));

    lblDescription = new QLabel(
        QStringLiteral("Quillet Internet Job Retreival Tool - Windows 9x/ME/2000/XP"), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDescription->setGeometry(px(1050), px(1125), px(3885), px(1170));

    // The etched separator: a grey line with a white one below it.
    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(px(90), px(2445) - 1, px(5654) - px(90), 3);

    lblDisclaimer = new QLabel(
        QStringLiteral("This program fetches dictation jobs from a job service for typing. "
                       "It is provided as is, without warranty of any kind."),
        this);
    lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    lblDisclaimer->setWordWrap(true);
    lblDisclaimer->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDisclaimer->setGeometry(px(255), px(2625), px(3870), px(825));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    cmdOK->setGeometry(px(4245), px(2625), px(1260), px(345));
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setAutoDefault(false);
    cmdSysInfo->setGeometry(px(4260), px(3075), px(1245), px(345));
    setTabOrder(cmdOK, cmdSysInfo);

    // Enter presses the default button; Escape and the close box reject,
    // which closes the box as OK does.
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);
    cmdOK->setFocus();
}

frmAbout::~frmAbout() = default;

bool frmAbout::GetKeyValue(quint32 KeyRoot, const QString &KeyName, const QString &SubKeyRef,
                           QString &KeyVal)
{
    Registry::Handle key = 0;
    if (m_registry->openKey(KeyRoot, KeyName.toLocal8Bit(), Registry::KEY_ALL_ACCESS_, &key) != 0) {
        KeyVal.clear();
        m_registry->closeKey(key);
        return false;
    }
    QByteArray buffer(1024, '\0');
    quint32 type = 0;
    quint32 size = quint32(buffer.size());
    if (m_registry->queryValue(key, SubKeyRef.toLocal8Bit(), buffer, &type, &size) != 0 ||
        size > quint32(buffer.size())) {
        KeyVal.clear();
        m_registry->closeKey(key);
        return false;
    }
    QByteArray kept = buffer.left(qsizetype(size));
    if (kept.endsWith('\0'))
        kept.chop(1);
    switch (type) {
    case Registry::REG_SZ_:
        KeyVal = QString::fromLocal8Bit(kept);
        break;
    case Registry::REG_DWORD_: {
        QString digits = KeyVal;
        for (qsizetype i = kept.size() - 1; i >= 0; --i)
            digits += QString::number(uchar(kept.at(i)), 16).toUpper();
        KeyVal = QStringLiteral("&h") + digits;
        break;
    }
    default:
        break;
    }
    m_registry->closeKey(key);
    return true;
}

void frmAbout::StartSysInfo()
{
    const auto unavailable = [this] {
        m_messages.post(QStringLiteral("System Information Is Unavailable At This Time"), QString(),
                        MessageIcon::None);
    };
    QString path;
    if (GetKeyValue(Registry::HKEY_LOCAL_MACHINE_,
                    QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                    QStringLiteral("PATH"), path)) {
        if (!m_start(path))
            unavailable();
        return;
    }
    if (GetKeyValue(Registry::HKEY_LOCAL_MACHINE_,
                    QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                    QStringLiteral("MSINFO"), path)) {
        const QString program = path + QStringLiteral("\\MSINFO32.EXE");
        if (!m_exists(program) || !m_start(program))
            unavailable();
        return;
    }
#ifndef Q_OS_WIN
    // No registry here: a system information program of the desktop.
    for (const QString &name : m_desktopPrograms) {
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty())
            return m_start(found) ? void() : unavailable();
    }
#endif
    unavailable();
}
