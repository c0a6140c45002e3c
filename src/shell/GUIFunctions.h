#pragma once

#include "service/DownloadTools.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class JobCollection;
class JobListModel;
class MessageSink;
class frmMain;
class frmProfileSelection;

// The controller: opens the profile manager, edits and loads profiles, runs
// the check for jobs and the transfer on the main window, switches the
// transfer commands and drives the poll timer. One check or transfer runs
// at a time; a command that would start another meanwhile does nothing,
// and a poll that falls due waits until the running work ends.
class GUIFunctions : public QObject
{
    Q_OBJECT

public:
    // The destination of the job whose request the transfer started last.
    static QString &gStrCurrentDownloadPath;

    explicit GUIFunctions(MessageSink &messages, QObject *parent = nullptr);
    ~GUIFunctions() override;

    // Start-up: the profile selection window, and nothing else.
    void start();

    // The main window, created on first use.
    frmMain &mainWindow();

    void ShowProfileManager(frmMain &main);
    void EditProfile(frmProfileSelection &selection, const QString &path);
    void LoadProfile(frmProfileSelection &selection, const QString &path);

    // `done` follows when the work has ended (also when it did not start).
    void CheckForJobs(frmMain &main, std::function<void()> done = {});
    void BeginTransfer(frmMain &main, bool ShowMessageBoxes, std::function<void()> done = {});

    void DisableTransferCommands(frmMain &main);
    void EnableTransferCommands(frmMain &main);
    static void PopulateJobList(JobListModel &list, const JobCollection &jobs);

    // The poll timer's tick: the countdown, or the poll.
    void timerDownload_Timer();

    bool busy() const { return m_work != Work::None; }

    // The selection window opened last, while it is open.
    frmProfileSelection *selectionWindow() const;

Q_SIGNALS:
    // A poll has ended: the counter is 0 and the timer runs again.
    void pollFinished();

private:
    enum class Work
    {
        None,
        Check,
        Transfer
    };

    frmProfileSelection *openSelectionWindow();
    void beginWork(frmMain &main, Work work);
    void endWork(frmMain &main);
    void poll(frmMain &main);
    // Runs `command`; an error that escapes it is shown, never fatal.
    void guarded(const std::function<void()> &command);

    MessageSink &m_messages;
    std::unique_ptr<frmMain> m_main;
    QPointer<frmProfileSelection> m_selection;
    Work m_work = Work::None;
    bool m_polling = false;
    bool m_pollPending = false;
    // The four transfer commands as they were before the work began.
    bool m_transferCommandsOn = false;
};
