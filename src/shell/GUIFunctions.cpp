#include "shell/GUIFunctions.h"

#include "dialogs/frmProfileSelection.h"
#include "dialogs/frmProfileSettings.h"
#include "platform/MessageSink.h"
#include "profiles/Profile.h"
#include "service/JobListModel.h"
#include "service/PollCountdown.h"
#include "shell/frmMain.h"

#include <QAction>
#include <QPushButton>

#include <exception>

QString &GUIFunctions::gStrCurrentDownloadPath = ::gStrCurrentDownloadPath;

GUIFunctions::GUIFunctions(MessageSink &messages, QObject *parent)
    : QObject(parent), m_messages(messages)
{
}

GUIFunctions::~GUIFunctions()
{
    if (m_selection)
        delete m_selection.data();
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
        m_main = std::make_unique<frmMain>(m_messages);
        frmMain *main = m_main.get();
        connect(main, &frmMain::checkForJobsRequested, this,
                [this, main] { guarded([&] { CheckForJobs(*main); }); });
        connect(main, &frmMain::beginTransferRequested, this,
                [this, main](bool show) { guarded([&] { BeginTransfer(*main, show); }); });
        connect(main, &frmMain::profileManagerRequested, this,
                [this, main] { guarded([&] { ShowProfileManager(*main); }); });
        connect(main, &frmMain::pollTick, this, &GUIFunctions::timerDownload_Timer);
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
    frmMain &main = mainWindow();
    main.Load();
    main.gDownloadTools().gProfile().LoadProfileFromXMLFile(path);
    main.SetupTitlebar();
    selection.close();
}

void GUIFunctions::beginWork(frmMain &main, Work work)
{
    m_work = work;
    m_transferCommandsOn = main.transferCommandsEnabled();
    // While it runs, only "Stop Download" stays on.
    main.setCheckCommandsEnabled(false);
    main.setTransferCommandsEnabled(false, false);
    main.cmdStopDownload->setEnabled(true);
}

void GUIFunctions::endWork(frmMain &main)
{
    m_work = Work::None;
    main.setCheckCommandsEnabled(true);
    if (m_pollPending && !m_polling) {
        m_pollPending = false;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_main && m_main->isVisible() && !busy())
                    poll(*m_main);
            },
            Qt::QueuedConnection);
    }
}

void GUIFunctions::CheckForJobs(frmMain &main, std::function<void()> done)
{
    if (busy()) {
        if (done)
            done();
        return;
    }
    beginWork(main, Work::Check);
    const bool quiet = m_polling;
    QPointer<frmMain> window(&main);
    DownloadTools &tools = main.gDownloadTools();
    tools.RetrieveJobListing(main, [this, window, &tools, quiet,
                                    done](DownloadTools::RequestOutcome outcome,
                                          const QString &failure) {
        if (!window)
            return;
        frmMain &main = *window;
        if (outcome == DownloadTools::RequestOutcome::Failed) {
            // The list and the commands stay as they were.
            const bool on = m_transferCommandsOn;
            endWork(main);
            on ? EnableTransferCommands(main) : DisableTransferCommands(main);
            if (!main.isVisible()) {
                // The window was closed meanwhile: nobody to tell.
            } else if (quiet) {
                main.setStatusText(tr("The check for jobs failed; the next poll tries again."));
            } else {
                m_messages.post(failure, QStringLiteral("Check For Jobs"), MessageIcon::Critical);
            }
            if (done)
                done();
            return;
        }
        tools.gColDownloads = JobCollection();
        tools.PopluateJobCollecionFromIndexFile();
        PopulateJobList(main.jobList(), tools.gColDownloads);
        endWork(main);
        if (tools.gColDownloads.Count() == 0)
            DisableTransferCommands(main);
        else
            EnableTransferCommands(main);
        if (done)
            done();
    });
}

void GUIFunctions::BeginTransfer(frmMain &main, bool ShowMessageBoxes, std::function<void()> done)
{
    if (busy()) {
        if (done)
            done();
        return;
    }
    beginWork(main, Work::Transfer);
    DownloadTools &tools = main.gDownloadTools();
    QPointer<frmMain> window(&main);
    connect(
        &tools, &DownloadTools::DownloadJobsFinished, this,
        [this, window, done] {
            if (window) {
                endWork(*window);
                DisableTransferCommands(*window);
            }
            if (done)
                done();
        },
        Qt::SingleShotConnection);
    tools.DownloadJobs(main, ShowMessageBoxes);
}

void GUIFunctions::DisableTransferCommands(frmMain &main)
{
    main.setTransferCommandsEnabled(false);
}

void GUIFunctions::EnableTransferCommands(frmMain &main)
{
    main.setTransferCommandsEnabled(true);
}

void GUIFunctions::PopulateJobList(JobListModel &list, const JobCollection &jobs)
{
    ::PopulateJobList(list, jobs);
}

void GUIFunctions::timerDownload_Timer()
{
    frmMain &main = mainWindow();
    const qint32 interval = main.gDownloadTools().gProfile().gLngPollInterval;
    if (main.lngMinutesElapsed >= interval) {
        if (busy()) {
            // A user's check or transfer runs: the poll follows when it ends.
            m_pollPending = true;
            return;
        }
        poll(main);
        return;
    }
    if (const std::optional<QString> countdown = PollCountdown::tick(
            main.lngMinutesElapsed, main.gDownloadTools().gProfile().gLngPollInterval))
        main.setStatusText(*countdown);
}

void GUIFunctions::poll(frmMain &main)
{
    m_polling = true;
    main.timerDownload->stop();
    QPointer<frmMain> window(&main);
    // Each step runs whatever the step before it gave.
    CheckForJobs(main, [this, window] {
        if (!window)
            return;
        BeginTransfer(*window, false, [this, window] {
            m_polling = false;
            if (!window)
                return;
            window->lngMinutesElapsed = 0;
            if (window->isVisible())
                window->timerDownload->start();
            Q_EMIT pollFinished();
        });
    });
}
