#include "dialogs/frmProfileSelection.h"

#include "dialogs/ProfileSelectionLayout.h"
#include "dialogs/TwipsPlacer.h"
#include "platform/Paths.h"
#include "profiles/Profile.h"
#include "profiles/ProfileLock.h"

#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QKeySequence>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QTreeWidget>

#include <algorithm>

namespace {
constexpr int keyRole = Qt::UserRole;
}

frmProfileSelection::frmProfileSelection(MessageSink &messages, QWidget *parent)
    : QWidget(parent, Qt::Window), m_messages(messages)
{
    setWindowTitle(QStringLiteral("Profile Selection"));
    setWindowIcon(QIcon(QStringLiteral(":/images/app.png")));

    listProfiles = new QTreeWidget(this);
    listProfiles->setObjectName(QStringLiteral("listProfiles"));
    listProfiles->setHeaderLabels({QStringLiteral("Profile Name"), QStringLiteral("Department")});
    listProfiles->setRootIsDecorated(false);
    listProfiles->setUniformRowHeights(true);
    listProfiles->setSelectionMode(QAbstractItemView::SingleSelection);
    // The 37 x 35 entry image is shown scaled down so that the names fit.
    listProfiles->setIconSize(QSize(18, 17));
    listProfiles->header()->setSectionResizeMode(QHeaderView::Interactive);
    listProfiles->header()->setStretchLastSection(false);

    cmdEdit = new QPushButton(QStringLiteral("&Edit Profile"), this);
    cmdEdit->setObjectName(QStringLiteral("cmdEdit"));
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdLoadProfile = new QPushButton(QStringLiteral("&Load Profile"), this);
    cmdLoadProfile->setObjectName(QStringLiteral("cmdLoadProfile"));

    // In the order the buttons read; Load is what Enter on a button means most.
    setTabOrder(listProfiles, cmdLoadProfile);
    setTabOrder(cmdLoadProfile, cmdEdit);
    setTabOrder(cmdEdit, cmdCancel);
    cmdLoadProfile->setDefault(true);

    connect(listProfiles, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { onItemClicked(item); });
    // Moving through the list with the keyboard selects like a click.
    connect(listProfiles, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *item) { onItemClicked(item); });
    connect(listProfiles, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem *item) { onItemActivated(item); });
    connect(cmdLoadProfile, &QPushButton::clicked, this, &frmProfileSelection::onLoadProfile);
    connect(cmdEdit, &QPushButton::clicked, this, &frmProfileSelection::onEdit);
    connect(cmdCancel, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    const TwipsPlacer twips(*this);
    resize(twips.px(5325), twips.px(5325));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    LoadProfileListEx();
    applyLayout();
}

void frmProfileSelection::LoadProfileListEx()
{
    const QDir folder(Paths::profilesFolder());
    listProfiles->clear();
    const QFileInfoList files = folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System,
                                                     QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &file : files) {
        if (ProfileLock::isLockFile(file.fileName()))
            continue;
        Profile profile(m_messages);
        profile.LoadProfileFromXMLFile(file.absoluteFilePath());
        addEntry(profile.gStrProfilePath, profile.gFirstName + QLatin1Char(' ') + profile.gLastName,
                 profile.gDepartment);
    }
    AddNewProfileEntry();
    // The first entry is selected, so that Load and Edit work on it at once.
    listProfiles->setCurrentItem(listProfiles->topLevelItem(0));
}

void frmProfileSelection::selectProfile(const QString &path)
{
    QTreeWidgetItem *entry = listProfiles->topLevelItem(0);
    for (int row = 0; !path.isEmpty() && row < listProfiles->topLevelItemCount(); ++row) {
        if (listProfiles->topLevelItem(row)->data(0, keyRole).toString() == path)
            entry = listProfiles->topLevelItem(row);
    }
    listProfiles->setCurrentItem(entry);
    activateWindow();
    listProfiles->setFocus(Qt::OtherFocusReason);
}

void frmProfileSelection::AddNewProfileEntry()
{
    addEntry(QString(), createNewProfileText(), QString());
}

void frmProfileSelection::addEntry(const QString &key, const QString &name,
                                   const QString &department)
{
    auto *item = new QTreeWidgetItem(listProfiles, {name, department});
    item->setData(0, keyRole, key);
    item->setIcon(0, QIcon(QStringLiteral(":/images/profile.png")));
}

std::optional<QString> frmProfileSelection::selectedKey() const
{
    const QTreeWidgetItem *item = listProfiles->currentItem();
    if (!item || !item->isSelected())
        return std::nullopt;
    return item->data(0, keyRole).toString();
}

void frmProfileSelection::onItemClicked(QTreeWidgetItem *item)
{
    if (!item)
        return;
    cmdLoadProfile->setEnabled(!item->data(0, keyRole).toString().isEmpty());
}

void frmProfileSelection::onItemActivated(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const QString key = item->data(0, keyRole).toString();
    if (key.isEmpty())
        Q_EMIT editProfileRequested(key);
    else
        Q_EMIT loadProfileRequested(key);
}

void frmProfileSelection::onLoadProfile()
{
    // The create-new entry has no file to load.
    const std::optional<QString> key = selectedKey();
    if (key && !key->isEmpty())
        Q_EMIT loadProfileRequested(*key);
}

void frmProfileSelection::onEdit()
{
    if (const std::optional<QString> key = selectedKey())
        Q_EMIT editProfileRequested(*key);
}

void frmProfileSelection::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    applyLayout();
}

void frmProfileSelection::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    // The layout counts the frame and the title bar, which the window manager
    // adds after the window is first placed, moving it.
    applyLayout();
}

void frmProfileSelection::applyLayout()
{
    const TwipsPlacer twips(*this);
    const QSize outer = frameGeometry().size();
    const auto layout =
        ProfileSelectionLayout::compute(twips.twips(outer.width()), twips.twips(outer.height()));
    twips.place(listProfiles, layout.list);
    twips.place(cmdLoadProfile, layout.loadProfile);
    twips.place(cmdEdit, layout.edit);
    twips.place(cmdCancel, layout.cancel);
    // Half the list each, less the list's frame, so that no scroll bar is needed.
    const int inner = listProfiles->width() - 2 * listProfiles->frameWidth();
    listProfiles->setColumnWidth(0, std::min(twips.px(layout.nameColumnWidth), inner / 2));
    listProfiles->setColumnWidth(
        1, std::min(twips.px(layout.departmentColumnWidth), inner - inner / 2));
}
