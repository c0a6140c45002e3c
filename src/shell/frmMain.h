#pragma once

#include "platform/Inet.h"
#include "service/JobListModel.h"
#include "service/TransferHost.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <memory>

class DownloadTools;
class MessageSink;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolBar;
class QTreeView;
class frmAbout;

// The main window: the job list, the progress bar, the three command
// buttons, the toolbar, the menus and the status bar. Its commands are
// forwarded through signals to the controller; the job service client works
// on it as its TransferHost. One instance per process: closing only hides
// it, and showing it again with Load() starts it afresh.
class frmMain : public QMainWindow, public TransferHost
{
    Q_OBJECT

public:
    static constexpr const char *designCaption = "Quillet Internet Transfer Tool";

    // `tools` and `inet`, the job service client and the transfer control the
    // window shows and works on, belong to its owner and outlive the window's work.
    frmMain(MessageSink &messages, DownloadTools &tools, Inet &inet, QWidget *parent = nullptr);
    ~frmMain() override;

    DownloadTools &gDownloadTools() { return m_tools; }

    // Appends " - First Last" of the loaded profile to the caption.
    void SetupTitlebar();

    // Shows the window as freshly loaded: design caption, empty list,
    // progress 0, empty status text, transfer commands off, the poll timer
    // running. The tools, the profile, the jobs and the counter stay.
    void Load();

    // TransferHost
    JobListModel &jobList() override { return m_jobs; }
    Inet &inet() override { return *m_inet; }
    double progressValue() const override { return m_progress; }
    void setProgressValue(double value) override;
    QString statusText() const override;
    void setStatusText(const QString &text) override;
    // "Job 26 of 200" beside the state text during a transfer; empty after it.
    QString jobCounterText() const;
    void setJobCounterText(const QString &text);

    // The three "Check For Jobs" commands (button, menu item, toolbar button).
    void setCheckCommandsEnabled(bool enabled);
    // The transfer commands: "Begin Transfer" in its three places and, with
    // `stopToo`, "Stop Download".
    void setTransferCommandsEnabled(bool enabled, bool stopToo = true);
    bool transferCommandsEnabled() const;
    // "Stop Download" alone.
    void setStopEnabled(bool enabled);

    // The poll timer: one tick a minute while the window is open.
    QTimer &pollTimer() { return *timerDownload; }

    // The minute counter of the poll timer.
    qint32 lngMinutesElapsed = 0;

    // Runs the command of a toolbar button, by its key (compared exactly).
    void onToolbarButton(const QString &key);

    // Adds the commands for the tray to `menu`: Check For Jobs, Begin
    // Transfer, `showHide`, Activity… and Exit, the window's own actions.
    void fillTrayMenu(QMenu &menu, QAction *showHide);

    // The shared modeless About box, while it is open.
    frmAbout *aboutBox() const;

Q_SIGNALS:
    void checkForJobsRequested();
    void beginTransferRequested(bool showMessageBoxes);
    void profileManagerRequested();
    void activityRequested();
    void stopDownloadRequested();
    void pollTick();
    // The window is closing: its owner ends the work that runs.
    void closing();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void applyLayout();
    void showAbout();
    void resetControls();

    QPushButton *cmdTransfer = nullptr;
    QPushButton *cmdStopDownload = nullptr;
    QPushButton *cmdCheckForJobs = nullptr;
    // The commands: the two menu items, and Stop Download, which has none.
    QAction *mCheckForJobs = nullptr;
    QAction *mDownloadJobs = nullptr;
    QAction *m_stopDownload = nullptr;
    QAction *mExit = nullptr;
    QAction *mViewActivity = nullptr;
    QAction *mProfileManager = nullptr;
    QAction *mHelpAbout = nullptr;
    QToolBar *Toolbar1 = nullptr;
    QAction *tlbCheckForJobs = nullptr;
    QAction *tlbBeginTransfer = nullptr;
    QTreeView *listJobs = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QTimer *timerDownload = nullptr;

    MessageSink &m_messages;
    DownloadTools &m_tools;
    JobListModel m_jobs;
    Inet *m_inet;
    double m_progress = 0;
    QLabel *m_status = nullptr;
    QLabel *m_jobCounter = nullptr;
    QPointer<frmAbout> m_about;
};
