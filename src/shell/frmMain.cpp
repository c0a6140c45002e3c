#include "shell/frmMain.h"

#include "dialogs/TwipsPlacer.h"
#include "dialogs/frmAbout.h"
#include "platform/MessageSink.h"
#include "platform/Secrets.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"
#include "shell/CutTextToolTips.h"
#include "shell/ImageLists.h"
#include "shell/MainWindowLayout.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QTreeView>

namespace {

// Design positions in twips, relative to the client area (the toolbar is
// its top 480 twips).
constexpr double toolbarHeight = 480;
constexpr double statusHeight = 375;
constexpr double clientWidth = 6165;
constexpr double clientHeight = 3960;

constexpr TwipsBox listDesign{0, 480, 6135, 2175};
constexpr TwipsBox checkDesign{720, 3120, 1575, 375};
constexpr TwipsBox transferDesign{2400, 3120, 1575, 375};
constexpr TwipsBox progressDesign{240, 2760, 5655, 255};
constexpr TwipsBox stopDesign{4080, 3120, 1455, 375};

// `button` runs `command` and is enabled while the command is.
void follow(QAbstractButton *button, QAction *command)
{
    button->setEnabled(command->isEnabled());
    QObject::connect(command, &QAction::enabledChanged, button, &QWidget::setEnabled);
    QObject::connect(button, &QAbstractButton::clicked, command, &QAction::trigger);
}

// The toolbar button `button` is enabled while `command` is.
void follow(QAction *button, QAction *command)
{
    button->setEnabled(command->isEnabled());
    QObject::connect(command, &QAction::enabledChanged, button, &QAction::setEnabled);
}

} // namespace

frmMain::frmMain(MessageSink &messages, DownloadTools &tools, Inet &inet, QWidget *parent)
    : QMainWindow(parent), m_messages(messages), m_tools(tools), m_inet(&inet)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QLatin1String(designCaption));
    setWindowIcon(QIcon(QStringLiteral(":/images/app.png")));
    const TwipsPlacer twips(*this);
    const auto px = [&twips](double measure) {
        return twips.px(measure);
    };

    // Menus.
    QMenu *mFile = menuBar()->addMenu(QStringLiteral("&File"));
    mFile->setObjectName(QStringLiteral("mFile"));
    mCheckForJobs = mFile->addAction(QStringLiteral("&Check For Jobs"));
    mCheckForJobs->setObjectName(QStringLiteral("mCheckForJobs"));
    mCheckForJobs->setShortcut(QKeySequence(Qt::Key_F5));
    mDownloadJobs = mFile->addAction(QStringLiteral("&Begin Transfer"));
    mDownloadJobs->setObjectName(QStringLiteral("mDownloadJobs"));
    mFile->addSeparator()->setObjectName(QStringLiteral("mLineExit"));
    mExit = mFile->addAction(QStringLiteral("E&xit"));
    mExit->setObjectName(QStringLiteral("mExit"));
    mExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu *mView = menuBar()->addMenu(QStringLiteral("&View"));
    mView->setObjectName(QStringLiteral("mView"));
    mViewActivity = mView->addAction(QStringLiteral("&Activity\u2026"));
    mViewActivity->setObjectName(QStringLiteral("mViewActivity"));
    QMenu *mSettings = menuBar()->addMenu(QStringLiteral("&Settings"));
    mSettings->setObjectName(QStringLiteral("mSettings"));
    mProfileManager = mSettings->addAction(QStringLiteral("&Profile Manager"));
    mProfileManager->setObjectName(QStringLiteral("mProfileManager"));
    QMenu *mHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mHelp->setObjectName(QStringLiteral("mHelp"));
    mHelpAbout = mHelp->addAction(QStringLiteral("&About Quillet Download Manager 1.0"));
    mHelpAbout->setObjectName(QStringLiteral("mHelpAbout"));

    // Toolbar.
    Toolbar1 = addToolBar(QStringLiteral("Toolbar1"));
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setMovable(false);
    Toolbar1->setFloatable(false);
    Toolbar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    Toolbar1->setIconSize(QSize(20, 20));
    Toolbar1->setFixedHeight(px(toolbarHeight));
    Toolbar1->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    tlbCheckForJobs = Toolbar1->addAction(
        ImageLists::ImageListToolbar(*style(), QStringLiteral("tlbCheckForJobs")),
        QStringLiteral("Check For Jobs  "));
    tlbCheckForJobs->setObjectName(QStringLiteral("tlbCheckForJobs"));
    tlbCheckForJobs->setToolTip(QStringLiteral("Check For Download Jobs"));
    tlbBeginTransfer = Toolbar1->addAction(
        ImageLists::ImageListToolbar(*style(), QStringLiteral("tlbBeginTransfer")),
        QStringLiteral("Begin Transfer  "));
    tlbBeginTransfer->setObjectName(QStringLiteral("tlbBeginTransfer"));
    tlbBeginTransfer->setToolTip(QStringLiteral("Begin Download of Jobs In Queue"));
    connect(Toolbar1, &QToolBar::actionTriggered, this,
            [this](QAction *action) { onToolbarButton(action->objectName()); });

    // Status bar with the state text, and beside it which job of a transfer runs.
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("StatusBarText"));
    m_jobCounter = new QLabel(this);
    m_jobCounter->setObjectName(QStringLiteral("StatusBarJob"));
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->addWidget(m_status, 1);
    statusBar()->addPermanentWidget(m_jobCounter);
    statusBar()->setSizeGripEnabled(true);
    statusBar()->setFixedHeight(px(statusHeight));

    // The client area below the toolbar.
    auto *client = new QWidget(this);
    setCentralWidget(client);
    listJobs = new QTreeView(client);
    listJobs->setObjectName(QStringLiteral("listJobs"));
    CutTextToolTips::setUpRowList(*listJobs, m_jobs);
    listJobs->setIconSize(QSize(15, 14));
    listJobs->header()->setStretchLastSection(false);
    listJobs->header()->setSectionResizeMode(QHeaderView::Interactive);
    for (int column = 0; column < JobListModel::ColumnCount; ++column)
        listJobs->setColumnWidth(column, px(JobListModel::widthTwips(column)));
    listJobs->setColumnHidden(1, true);
    m_jobs.setDecorationProvider([](int priority) -> QVariant {
        const QIcon image = ImageLists::ImageList1(priority);
        return image.isNull() ? QVariant() : QVariant(image);
    });

    cmdCheckForJobs = new QPushButton(QStringLiteral("Check For Jobs"), client);
    cmdCheckForJobs->setObjectName(QStringLiteral("cmdCheckForJobs"));
    cmdTransfer = new QPushButton(QStringLiteral("Begin Transfer"), client);
    cmdTransfer->setObjectName(QStringLiteral("cmdTransfer"));
    ProgressBar1 = new QProgressBar(client);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    cmdStopDownload = new QPushButton(QStringLiteral("Stop Download"), client);
    cmdStopDownload->setObjectName(QStringLiteral("cmdStopDownload"));

    // Each command is one action, the menu item where it has one; its button
    // and toolbar button follow its state.
    m_stopDownload = new QAction(QStringLiteral("Stop Download"), this);
    m_stopDownload->setObjectName(QStringLiteral("actStopDownload"));
    follow(cmdCheckForJobs, mCheckForJobs);
    follow(tlbCheckForJobs, mCheckForJobs);
    follow(cmdTransfer, mDownloadJobs);
    follow(tlbBeginTransfer, mDownloadJobs);
    follow(cmdStopDownload, m_stopDownload);

    const auto place = [&twips](QWidget *widget, TwipsBox design) {
        design.top -= toolbarHeight;
        twips.place(widget, design);
    };
    place(listJobs, listDesign);
    place(cmdCheckForJobs, checkDesign);
    place(cmdTransfer, transferDesign);
    place(ProgressBar1, progressDesign);
    place(cmdStopDownload, stopDesign);

    setTabOrder(listJobs, cmdCheckForJobs);
    setTabOrder(cmdCheckForJobs, cmdTransfer);
    setTabOrder(cmdTransfer, cmdStopDownload);

    timerDownload = new QTimer(this);
    timerDownload->setObjectName(QStringLiteral("timerDownload"));
    timerDownload->setInterval(60000);
    connect(timerDownload, &QTimer::timeout, this, &frmMain::pollTick);

    connect(mCheckForJobs, &QAction::triggered, this, &frmMain::checkForJobsRequested);
    connect(mDownloadJobs, &QAction::triggered, this,
            [this] { Q_EMIT beginTransferRequested(true); });
    connect(m_stopDownload, &QAction::triggered, this, &frmMain::stopDownloadRequested);
    connect(mExit, &QAction::triggered, this, &QWidget::close);
    connect(mViewActivity, &QAction::triggered, this, &frmMain::activityRequested);
    connect(mProfileManager, &QAction::triggered, this, &frmMain::profileManagerRequested);
    connect(mHelpAbout, &QAction::triggered, this, &frmMain::showAbout);

    resetControls();
    // Client area 6165 x 3960 twips; the menu bar comes on top of it.
    resize(px(clientWidth), px(clientHeight) + menuBar()->sizeHint().height());
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - frameGeometry().center() + pos());
}

frmMain::~frmMain() = default;

void frmMain::SetupTitlebar()
{
    const Profile &profile = gDownloadTools().gProfile();
    setWindowTitle(windowTitle() + QStringLiteral(" - ") + profile.gFirstName + QLatin1Char(' ') +
                   profile.gLastName);
}

void frmMain::resetControls()
{
    m_jobs.clear();
    setProgressValue(0);
    setStatusText(QString());
    setTransferCommandsEnabled(false);
}

void frmMain::fillTrayMenu(QMenu &menu, QAction *showHide)
{
    menu.addAction(mCheckForJobs);
    menu.addAction(mDownloadJobs);
    menu.addSeparator();
    menu.addAction(showHide);
    menu.addAction(mViewActivity);
    menu.addSeparator();
    menu.addAction(mExit);
}

frmAbout *frmMain::aboutBox() const
{
    return m_about.data();
}

void frmMain::Load()
{
    resetControls();
    setWindowTitle(QLatin1String(designCaption));
    timerDownload->start();
    show();
    raise();
    activateWindow();
}

void frmMain::setProgressValue(double value)
{
    m_progress = value;
    const int shown = int(std::lround(value));
    if (ProgressBar1->value() != shown)
        ProgressBar1->setValue(shown);
}

QString frmMain::statusText() const
{
    return m_status->text();
}

void frmMain::setStatusText(const QString &text)
{
    m_status->setText(Secrets::shown(text));
}

QString frmMain::jobCounterText() const
{
    return m_jobCounter->text();
}

void frmMain::setJobCounterText(const QString &text)
{
    m_jobCounter->setText(text);
}

void frmMain::onToolbarButton(const QString &key)
{
    if (key == QLatin1String("tlbCheckForJobs"))
        Q_EMIT checkForJobsRequested();
    else if (key == QLatin1String("tlbBeginTransfer"))
        Q_EMIT beginTransferRequested(true);
}

void frmMain::showAbout()
{
    if (!m_about) {
        // Not a child of this window: it stays open when this one closes.
        m_about = new frmAbout(m_messages);
        m_about->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    applyLayout();
}

void frmMain::applyLayout()
{
    const TwipsPlacer twips(*this);
    const MainWindowLayout layout = MainWindowLayout::compute(twips.twips(frameGeometry().width()));
    listJobs->resize(twips.px(layout.listWidth), listJobs->height());
    ProgressBar1->resize(twips.px(layout.progressWidth), ProgressBar1->height());
}

void frmMain::closeEvent(QCloseEvent *event)
{
    timerDownload->stop();
    Q_EMIT closing();
    event->accept();
}

void frmMain::setCheckCommandsEnabled(bool enabled)
{
    mCheckForJobs->setEnabled(enabled);
}

void frmMain::setTransferCommandsEnabled(bool enabled, bool stopToo)
{
    mDownloadJobs->setEnabled(enabled);
    if (stopToo)
        m_stopDownload->setEnabled(enabled);
}

void frmMain::setStopEnabled(bool enabled)
{
    m_stopDownload->setEnabled(enabled);
}

bool frmMain::transferCommandsEnabled() const
{
    return mDownloadJobs->isEnabled();
}
