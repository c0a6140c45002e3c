#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

// Shows the notices of unattended work on the desktop: through the
// notification service on the session bus (org.freedesktop.Notifications,
// with the program's icon and desktop entry), tray or no tray, so that they
// reach the desktop's history and its do-not-disturb setting. Where no
// service answers, the balloon takes the notice, if there is one. While the
// window is not the active one, it also asks for attention.
class DesktopNotices : public QObject
{
    Q_OBJECT

public:
    using Balloon = std::function<void(const QString &title, const QString &text)>;

    // `bus`: the address of the session bus to use; empty for the user's own.
    explicit DesktopNotices(QWidget &window, const QString &bus = QString(),
                            QObject *parent = nullptr);
    ~DesktopNotices() override;

    // Where the service does not answer; unset: nowhere.
    void setBalloon(Balloon balloon) { m_balloon = std::move(balloon); }

    // Sends the notice without waiting for the service.
    void show(const QString &title, const QString &text);

Q_SIGNALS:
    // The notice was shown by the service (true) or handed to the balloon.
    void shown(bool byService);

private:
    void toBalloon(const QString &title, const QString &text);

    QWidget &m_window;
    QString m_busName;
    Balloon m_balloon;
};
