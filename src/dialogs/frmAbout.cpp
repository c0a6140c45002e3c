#include "dialogs/frmAbout.h"

#include "dialogs/TwipsPlacer.h"
#include "platform/MessageSink.h"

#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

#include <algorithm>
#include <utility>

namespace {

const char *const productName = "Quillet Internet Transfer Tool";

// Desktop programs that show what the system is made of, looked for in turn.
const QStringList knownSystemInformationPrograms = {
    QStringLiteral("kinfocenter"), QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"),
    QStringLiteral("gnome-system-monitor"), QStringLiteral("xfce4-taskmanager")};

} // namespace

frmAbout::frmAbout(MessageSink &messages, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_messages(messages), m_registry(Registry::system()),
      m_start([](const QString &program) { return QProcess::startDetached(program, {}); }),
      m_exists([](const QString &path) { return QFileInfo(path).isFile(); }),
      m_desktopPrograms(knownSystemInformationPrograms)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + MessageSink::applicationTitle());
    auto *picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(QIcon(QStringLiteral(":/images/app.png")).pixmap(32, 32));
    picIcon->setAlignment(Qt::AlignCenter);

    lblTitle = new QLabel(QLatin1String(productName), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    lblVersion = new QLabel(QStringLiteral("Version %1.%2.%3")
                                .arg(QUILLET_VERSION_MAJOR)
                                .arg(QUILLET_VERSION_MINOR)
                                .arg(QUILLET_VERSION_PATCH),
                            this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));

    lblDescription = new QLabel(
        QStringLiteral("Quillet Internet Job Retreival Tool - Windows 9x/ME/2000/XP"), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // The etched separator: a grey line with a white one below it.
    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    lblDisclaimer = new QLabel(
        QStringLiteral("This program fetches dictation jobs from a job service for typing. "
                       "It is provided as is, without warranty of any kind."),
        this);
    lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    lblDisclaimer->setWordWrap(true);
    lblDisclaimer->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setAutoDefault(false);
    setTabOrder(cmdOK, cmdSysInfo);

    const TwipsPlacer twips(*this);
    QRect used;
    for (const auto &[control, box] : std::initializer_list<std::pair<QWidget *, TwipsBox>>{
             {picIcon, {240, 240, 540, 540}},
             {lblTitle, {1050, 240, 3885, 480}},
             {lblVersion, {1050, 780, 3885, 225}},
             {lblDescription, {1050, 1125, 3885, 1170}},
             {lblDisclaimer, {255, 2625, 3870, 825}},
             {cmdOK, {4245, 2625, 1260, 345}},
             {cmdSysInfo, {4245, 3075, 1260, 345}}})
        used |= twips.place(control, box);
    TwipsPlacer::sameWidth({cmdOK, cmdSysInfo});
    used |= cmdOK->geometry() | cmdSysInfo->geometry();
    // The box holds whatever grew, with the design's margins to its right and
    // bottom edges.
    const QSize size(std::max(twips.px(5730), used.right() + 1 + twips.px(225)),
                     std::max(twips.px(3555), used.bottom() + 1 + twips.px(135)));
    setFixedSize(size);
    line->setGeometry(twips.px(90), twips.px(2445) - 1, size.width() - twips.px(90) - twips.px(76),
                      3);

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
