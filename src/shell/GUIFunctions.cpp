#include "shell/GUIFunctions.h"

#include "dialogs/frmProfileSelection.h"
#include "dialogs/frmProfileSettings.h"
#include "platform/MessageSink.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "profiles/ProfileLock.h"
#include "service/ActivityLog.h"
#include "service/JobListModel.h"
#include "service/PollCountdown.h"
#include "service/PollNotices.h"
#include "shell/DesktopNotices.h"
#include "shell/TrayIcon.h"
#include "shell/frmActivity.h"
#include "shell/frmMain.h"

#include <QAction>
#include <QPushButton>
#include <QSystemTrayIcon>

#include <exception>

GUIFunctions::GUIFunctions(MessageSink &messages, QObject *parent)
    : QObject(parent), m_messages(messages)
{
}

GUIFunctions::~GUIFunctions()
{
    if (m_selection)
        delete m_selection.data();
    if (m_activityWindow)
        delete m_activityWindow.data();
}

void GUIFunctions::guarded(const std::function<void()> &command)
{
    try {
        command();
    } catch (const std::exception &error) {
        m_messages.post(
            tr("The command could not be completed: %1").arg(QString::fromLocal8Bit(error.what())),
            QStringLiteral("Error"), MessageIcon::Critical);
    } catch (...) {
        m_messages.post(tr("The command could not be completed."), QStringLiteral("Error"),
                        MessageIcon::Critical);
    }
}

frmProfileSelection *GUIFunctions::selectionWindow() const
{
    return m_selection.data();
}

void GUIFunctions::start()
{
    openSelectionWindow();
}

frmProfileSelection *GUIFunctions::openSelectionWindow()
{
    auto *selection = new frmProfileSelection(m_messages);
    selection->setAttribute(Qt::WA_DeleteOnClose);
    connect(selection, &frmProfileSelection::loadProfileRequested, this,
            [this, selection](const QString &path) {
                guarded([&] { LoadProfile(*selection, path); });
            });
    connect(selection, &frmProfileSelection::editProfileRequested, this,
            [this, selection](const QString &path) {
                guarded([&] { EditProfile(*selection, path); });
            });
    m_selection = selection;
    selection->show();
    return selection;
}

frmMain &GUIFunctions::mainWindow()
{
    if (!m_main) {
        m_inet = std::make_unique<Inet>();
        m_inet->setObjectName(QStringLiteral("Inet1"));
        m_tools = std::make_unique<DownloadTools>(m_messages);
        m_main = std::make_unique<frmMain>(m_messages, *m_tools, *m_inet);
        frmMain *main = m_main.get();
        connect(main, &frmMain::checkForJobsRequested, this,
                [this, main] { guarded([&] { CheckForJobs(*main); }); });
        connect(main, &frmMain::beginTransferRequested, this,
                [this, main](bool show) { guarded([&] { BeginTransfer(*main, show); }); });
        connect(main, &frmMain::profileManagerRequested, this,
                [this, main] { guarded([&] { ShowProfileManager(*main); }); });
        connect(main, &frmMain::activityRequested, this,
                [this] { guarded([&] { ShowActivity(); }); });
        connect(main, &frmMain::pollTick, this, &GUIFunctions::timerDownload_Timer);
        // Stop Download ends whatever work runs, a poll's next step included.
        connect(main, &frmMain::stopDownloadRequested, this, [this] {
            m_stopped = m_session->work() == WorkSession::Work::Transfer;
            m_session->stop(false);
        });
        connectSession(*main);
        // Closing the window ends the work; received jobs are still confirmed.
        connect(main, &frmMain::closing, m_session.get(), [this] { m_session->shutDown(); });
        m_activity = std::make_unique<ActivityLog>(main->gDownloadTools());
        // Tray or no tray, the polls' notices reach the desktop.
        m_notices = std::make_unique<PollNotices>(*m_session, main->gDownloadTools());
        m_desktop = std::make_unique<DesktopNotices>(*main, m_noticeBus);
        connect(m_notices.get(), &PollNotices::notice, m_desktop.get(), &DesktopNotices::show);
        if (QSystemTrayIcon::isSystemTrayAvailable())
            connectTray(*main);
    }
    return *m_main;
}

void GUIFunctions::ShowProfileManager(frmMain &main)
{
    // The new window opens first, so that the program does not end in between.
    openSelectionWindow();
    main.close();
}

void GUIFunctions::EditProfile(frmProfileSelection &selection, const QString &path)
{
    auto *dialog = new frmProfileSettings(m_messages, &selection);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->SetupFields(path);
    dialog->gFrmParent = &selection;
    // Modal without a loop of its own: the selection window waits behind it,
    // and the dialog rebuilds its list when it closes.
    dialog->show();
}

void GUIFunctions::LoadProfile(frmProfileSelection &selection, const QString &path)
{
    // One program polls a profile at a time; the lock of the profile loaded
    // before goes when another one is loaded.
    if (!m_lock || ProfileLock::lockPath(m_lock->profilePath()) != ProfileLock::lockPath(path)) {
        auto lock = std::make_unique<ProfileLock>(path);
        if (!lock->locked()) {
            // The names as the file holds them; a file that cannot be read is
            // told when its holder loads it.
            RecordingMessageSink quiet;
            Profile held(quiet);
            held.LoadProfileFromXMLFile(path);
            m_messages.post(
                ProfileLock::inUseText(held.gFirstName + QLatin1Char(' ') + held.gLastName),
                QString(), MessageIcon::Exclamation);
            return;
        }
        m_lock = std::move(lock);
    }
    frmMain &main = mainWindow();
    main.Load();
    main.gDownloadTools().gProfile().LoadProfileFromXMLFile(path);
    main.SetupTitlebar();
    if (m_tray)
        m_tray->setCountdown(PollCountdown::remainingText(
            main.lngMinutesElapsed, main.gDownloadTools().gProfile().gLngPollInterval));
    selection.close();
}

void GUIFunctions::ShowActivity()
{
    mainWindow();
    if (!m_activityWindow) {
        // Not a child of the main window: it stays open when that one closes.
        m_activityWindow = new frmActivity(*m_activity, m_messages);
        m_activityWindow->setAttribute(Qt::WA_DeleteOnClose);
        m_activityWindow->centreOn(*m_main);
    }
    m_activityWindow->show();
    m_activityWindow->raise();
    m_activityWindow->activateWindow();
}

bool GUIFunctions::busy() const
{
    return m_session && m_session->busy();
}

void GUIFunctions::connectSession(frmMain &main)
{
    m_session = std::make_unique<WorkSession>(main.gDownloadTools(), main, main.pollTimer(),
                                              main.lngMinutesElapsed);
    WorkSession *session = m_session.get();
    connect(session, &WorkSession::workStarted, this, [this, &main] {
        m_transferCommandsOn = main.transferCommandsEnabled();
        m_stopped = false;
        // While it runs, only "Stop Download" stays on.
        main.setCheckCommandsEnabled(false);
        main.setTransferCommandsEnabled(false, false);
        main.setStopEnabled(true);
    });
    connect(session, &WorkSession::checkEnded, this,
            [this, &main](const WorkSession::CheckResult &result) { checkEnded(main, result); });
    connect(session, &WorkSession::transferEnded, this, [this, &main] {
        main.setCheckCommandsEnabled(true);
        main.setJobCounterText(QString());
        // After a stop, the rows left can be transferred again.
        (m_stopped && main.jobList().rowCount() > 0) ? EnableTransferCommands(main)
                                                     : DisableTransferCommands(main);
    });
    connect(session, &WorkSession::workStarted, this, [this, &main](WorkSession::Work work) {
        m_jobsListed = work == WorkSession::Work::Transfer ? main.jobList().rowCount() : 0;
        m_jobsStarted = 0;
    });
    connect(&main.gDownloadTools(), &DownloadTools::jobStarted, this,
            [this, &main](const QString &, int attempt) {
                if (attempt == 0)
                    ++m_jobsStarted;
                main.setJobCounterText(tr("Job %1 of %2").arg(m_jobsStarted).arg(m_jobsListed));
            });
    connect(session, &WorkSession::countdown, &main, &frmMain::setStatusText);
    connect(session, &WorkSession::pollEnded, this, &GUIFunctions::pollFinished);
}

void GUIFunctions::connectTray(frmMain &main)
{
    m_tray = std::make_unique<TrayIcon>(main);
    TrayIcon *tray = m_tray.get();
    m_desktop->setBalloon(
        [tray](const QString &title, const QString &text) { tray->showNotice(title, text); });
    connect(m_session.get(), &WorkSession::countdown, tray, &TrayIcon::setCountdown);
    connect(m_session.get(), &WorkSession::pollEnded, tray, [tray, &main] {
        tray->setCountdown(PollCountdown::remainingText(
            main.lngMinutesElapsed, main.gDownloadTools().gProfile().gLngPollInterval));
    });
}

void GUIFunctions::checkEnded(frmMain &main, const WorkSession::CheckResult &result)
{
    main.setCheckCommandsEnabled(true);
    if (result.answered) {
        const bool any = main.gDownloadTools().gColDownloads.Count() > 0;
        any ? EnableTransferCommands(main) : DisableTransferCommands(main);
        if (!result.read && m_session->polling())
            main.setStatusText(DownloadTools::invalidIndexText());
        else if (result.read && !any)
            main.setStatusText(tr("No jobs are waiting."));
        return;
    }
    // The list and the commands stay as they were.
    m_transferCommandsOn ? EnableTransferCommands(main) : DisableTransferCommands(main);
    const bool open = main.isVisible() || (m_tray && m_tray->hidesWindow());
    if (!open || result.failure.isEmpty()) {
        // The window was closed meanwhile, or nothing was sent: nobody to tell.
    } else if (m_session->polling()) {
        main.setStatusText(tr("The check for jobs failed; the next poll tries again."));
    } else {
        m_messages.post(result.failure, QStringLiteral("Check For Jobs"), MessageIcon::Critical);
    }
}

void GUIFunctions::CheckForJobs(frmMain &main)
{
    if (&main == m_main.get())
        m_session->check();
}

void GUIFunctions::BeginTransfer(frmMain &main, bool ShowMessageBoxes)
{
    if (&main == m_main.get())
        m_session->transfer(ShowMessageBoxes);
}

void GUIFunctions::DisableTransferCommands(frmMain &main)
{
    main.setTransferCommandsEnabled(false);
}

void GUIFunctions::EnableTransferCommands(frmMain &main)
{
    main.setTransferCommandsEnabled(true);
}

void GUIFunctions::timerDownload_Timer()
{
    mainWindow();
    m_session->tick();
}
