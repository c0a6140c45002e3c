#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QAction;
class QEventLoopLocker;
class QMenu;
class QSystemTrayIcon;
class frmMain;

// The main window's icon in the system tray, shown while the window is open
// (from Load() until it closes). Its tooltip is the window's caption, which
// names the profile, and the minutes until the next poll; its menu holds the
// window's own commands, enabled as they are in the window, and shows or
// hides the window. A window hidden here goes on with its polls, and the
// program keeps running for it.
class TrayIcon : public QObject
{
    Q_OBJECT

public:
    explicit TrayIcon(frmMain &window, QObject *parent = nullptr);
    ~TrayIcon() override;

    // The countdown line of the tooltip.
    void setCountdown(const QString &text);
    // A notice as the desktop shows notifications; it may show none.
    void showNotice(const QString &title, const QString &text);

    // The window is open, hidden from here.
    bool hidesWindow() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void toggleWindow();
    void updateToolTip();

    frmMain &m_window;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon *m_icon = nullptr;
    QAction *m_showHide = nullptr;
    // Held while the window is hidden here, so that closing another window
    // does not end the program.
    std::unique_ptr<QEventLoopLocker> m_hidden;
    QString m_countdown;
};
