#pragma once

#include "service/DownloadTools.h"
#include "service/WorkSession.h"

#include <QObject>
#include <QPointer>

#include <memory>

class ActivityLog;
class DesktopNotices;
class MessageSink;
class PollNotices;
class ProfileLock;
class TrayIcon;
class frmActivity;
class frmMain;
class frmProfileSelection;

// The controller: opens the profile manager, edits and loads profiles, and
// connects the main window to its work session, which runs the check for
// jobs, the transfer and the polls. It switches the window's commands while
// work runs and decides how the session's outcomes are shown. Where the
// desktop has a system tray, the window gets a tray icon, which shows the
// notices of the polls. The activity log records this run's jobs.
class GUIFunctions : public QObject
{
    Q_OBJECT

public:
    explicit GUIFunctions(MessageSink &messages, QObject *parent = nullptr);
    ~GUIFunctions() override;

    // Start-up: the profile selection window, and nothing else.
    void start();

    // The main window, created on first use.
    frmMain &mainWindow();

    void ShowProfileManager(frmMain &main);
    // The activity view, opened once and shown again while it is open.
    void ShowActivity();
    void EditProfile(frmProfileSelection &selection, const QString &path);
    void LoadProfile(frmProfileSelection &selection, const QString &path);

    // Nothing happens while work runs.
    void CheckForJobs(frmMain &main);
    void BeginTransfer(frmMain &main, bool ShowMessageBoxes);

    void DisableTransferCommands(frmMain &main);
    void EnableTransferCommands(frmMain &main);

    // The poll timer's tick: the countdown, or the poll.
    void timerDownload_Timer();

    bool busy() const;
    // The main window's work session, created with the window.
    WorkSession *session() const { return m_session.get(); }

    // The session bus address for the notices, before the main window is
    // made; empty: the user's session bus.
    void setNoticeBus(const QString &address) { m_noticeBus = address; }
    DesktopNotices *desktopNotices() const { return m_desktop.get(); }

    // The selection window opened last, while it is open.
    frmProfileSelection *selectionWindow() const;

Q_SIGNALS:
    // A poll has ended: the counter is 0 and the timer runs again.
    void pollFinished();

private:
    frmProfileSelection *openSelectionWindow();
    void connectSession(frmMain &main);
    void connectTray(frmMain &main);
    void checkEnded(frmMain &main, const WorkSession::CheckResult &result);
    // Runs `command`; an error that escapes it is shown, never fatal.
    void guarded(const std::function<void()> &command);

    MessageSink &m_messages;
    std::unique_ptr<frmMain> m_main;
    // The transfer control and the job service client the window shows, and
    // the session that works with them; they go before the window they
    // report to, the session first.
    std::unique_ptr<Inet> m_inet;
    std::unique_ptr<DownloadTools> m_tools;
    std::unique_ptr<WorkSession> m_session;
    std::unique_ptr<ActivityLog> m_activity;
    std::unique_ptr<PollNotices> m_notices;
    std::unique_ptr<TrayIcon> m_tray;
    // After the tray, whose balloon it may use.
    std::unique_ptr<DesktopNotices> m_desktop;
    QString m_noticeBus;
    // The loaded profile's lock.
    std::unique_ptr<ProfileLock> m_lock;
    QPointer<frmProfileSelection> m_selection;
    QPointer<frmActivity> m_activityWindow;
    // The four transfer commands as they were before the work began.
    bool m_transferCommandsOn = false;
    // The running transfer was ended by Stop Download.
    bool m_stopped = false;
    // "Job 26 of 200": the jobs listed when the transfer began, and started since.
    int m_jobsListed = 0;
    int m_jobsStarted = 0;
};
