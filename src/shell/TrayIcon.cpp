#include "shell/TrayIcon.h"

#include "shell/ImageLists.h"
#include "shell/frmMain.h"

#include <QAction>
#include <QEvent>
#include <QEventLoopLocker>
#include <QMenu>
#include <QSystemTrayIcon>

TrayIcon::TrayIcon(frmMain &window, QObject *parent)
    : QObject(parent), m_window(window), m_menu(std::make_unique<QMenu>()),
      m_icon(new QSystemTrayIcon(ImageLists::ImageListSmall(), this))
{
    m_icon->setObjectName(QStringLiteral("trayIcon"));
    m_menu->setObjectName(QStringLiteral("mTray"));
    m_showHide = new QAction(m_menu.get());
    m_showHide->setObjectName(QStringLiteral("mTrayShowHide"));
    m_window.fillTrayMenu(*m_menu, m_showHide);
    m_icon->setContextMenu(m_menu.get());

    connect(m_menu.get(), &QMenu::aboutToShow, this, [this] {
        const bool shown = m_window.isVisible() && !m_window.isMinimized();
        m_showHide->setText(shown ? tr("&Hide Window") : tr("&Show Window"));
    });
    connect(m_showHide, &QAction::triggered, this, &TrayIcon::toggleWindow);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    toggleWindow();
            });
    connect(&m_window, &QWidget::windowTitleChanged, this, &TrayIcon::updateToolTip);
    m_window.installEventFilter(this);
    updateToolTip();
    m_icon->setVisible(m_window.isVisible());
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::setCountdown(const QString &text)
{
    m_countdown = text;
    updateToolTip();
}

void TrayIcon::updateToolTip()
{
    const QString caption = m_window.windowTitle();
    m_icon->setToolTip(m_countdown.isEmpty() ? caption : caption + QLatin1Char('\n') + m_countdown);
}

void TrayIcon::showNotice(const QString &title, const QString &text)
{
    m_icon->showMessage(title, text, ImageLists::ImageListLarge());
}

bool TrayIcon::hidesWindow() const
{
    // The icon goes as soon as the window closes.
    return m_hidden && m_icon->isVisible();
}

void TrayIcon::toggleWindow()
{
    if (m_window.isVisible() && !m_window.isMinimized()) {
        m_hidden = std::make_unique<QEventLoopLocker>();
        m_window.hide();
        return;
    }
    m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
    m_hidden.reset();
}

bool TrayIcon::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_window) {
        if (event->type() == QEvent::Show) {
            m_icon->show();
        } else if (event->type() == QEvent::Close) {
            m_icon->hide();
            // Once the window's close has run: a window that still confirms
            // received jobs holds the program itself.
            QMetaObject::invokeMethod(
                this, [this] { m_hidden.reset(); }, Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(watched, event);
}
