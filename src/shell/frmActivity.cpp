#include "shell/frmActivity.h"

#include "platform/MessageSink.h"
#include "service/ActivityLog.h"
#include "shell/CutTextToolTips.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

frmActivity::frmActivity(ActivityLog &log, MessageSink &messages, QWidget *parent)
    : QWidget(parent, Qt::Window), m_log(log), m_messages(messages)
{
    setObjectName(QStringLiteral("frmActivity"));
    setWindowTitle(tr("Activity - Quillet Internet Transfer Tool"));

    listActivity = new QTreeView(this);
    listActivity->setObjectName(QStringLiteral("listActivity"));
    CutTextToolTips::setUpRowList(*listActivity, m_log);
    listActivity->setSelectionMode(QAbstractItemView::SingleSelection);
    listActivity->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Short texts in full; the path or reason takes the rest.
    for (int column = 0; column < ActivityLog::DetailColumn; ++column)
        listActivity->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);

    cmdOpenFile = new QPushButton(tr("Open File"), this);
    cmdOpenFile->setObjectName(QStringLiteral("cmdOpenFile"));
    cmdOpenFolder = new QPushButton(tr("Open Folder"), this);
    cmdOpenFolder->setObjectName(QStringLiteral("cmdOpenFolder"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOpenFile);
    buttons->addWidget(cmdOpenFolder);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(listActivity);
    layout->addLayout(buttons);

    connect(listActivity->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &frmActivity::updateButtons);
    connect(listActivity, &QTreeView::activated, this, [this] { open(false); });
    connect(cmdOpenFile, &QPushButton::clicked, this, [this] { open(false); });
    connect(cmdOpenFolder, &QPushButton::clicked, this, [this] { open(true); });
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    updateButtons();
    resize(130 * fontMetrics().averageCharWidth(), 18 * fontMetrics().height());
}

void frmActivity::centreOn(const QWidget &window)
{
    move(window.frameGeometry().center() - QPoint(width() / 2, height() / 2));
}

frmActivity::~frmActivity() = default;

QString frmActivity::selectedFile() const
{
    const QModelIndexList rows = listActivity->selectionModel()->selectedRows();
    const ActivityLog::Entry *entry = rows.isEmpty() ? nullptr : m_log.entry(rows.first().row());
    return entry && entry->received ? entry->detail : QString();
}

void frmActivity::updateButtons()
{
    const bool received = !selectedFile().isEmpty();
    cmdOpenFile->setEnabled(received);
    cmdOpenFolder->setEnabled(received);
}

void frmActivity::open(bool folder)
{
    const QString file = selectedFile();
    if (file.isEmpty())
        return;
    const QString path = folder ? QFileInfo(file).absolutePath() : file;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        m_messages.post(tr("%1 could not be opened.").arg(QDir::toNativeSeparators(path)),
                        QString(), MessageIcon::Exclamation);
}
