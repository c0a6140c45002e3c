#pragma once

#include <QWidget>

class ActivityLog;
class MessageSink;
class QPushButton;
class QTreeView;

// The activity view: the jobs received or failed in this run (ActivityLog),
// newest first, and "Open File" and "Open Folder" for a received job. It
// only shows the log; closing it keeps the log.
class frmActivity : public QWidget
{
    Q_OBJECT

public:
    frmActivity(ActivityLog &log, MessageSink &messages, QWidget *parent = nullptr);
    // Places the window over the middle of `window`.
    void centreOn(const QWidget &window);
    ~frmActivity() override;

private:
    // The selected entry's file, when it is a received job's; empty otherwise.
    QString selectedFile() const;
    void updateButtons();
    // Opens the selected received job's file, or its folder, as the desktop
    // opens such files.
    void open(bool folder);

    ActivityLog &m_log;
    MessageSink &m_messages;
    QTreeView *listActivity = nullptr;
    QPushButton *cmdOpenFile = nullptr;
    QPushButton *cmdOpenFolder = nullptr;
};
