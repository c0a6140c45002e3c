#include "shell/DesktopNotices.h"

#include "platform/MessageSink.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>

#ifdef QUILLET_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#endif

namespace {
const QLatin1String privateBus("quillet-notices");
}

DesktopNotices::DesktopNotices(QWidget &window, const QString &bus, QObject *parent)
    : QObject(parent), m_window(window)
{
#ifdef QUILLET_HAVE_DBUS
    if (!bus.isEmpty()) {
        m_busName = privateBus + QString::number(quintptr(this));
        QDBusConnection::connectToBus(bus, m_busName);
    }
#else
    Q_UNUSED(bus);
#endif
}

DesktopNotices::~DesktopNotices()
{
#ifdef QUILLET_HAVE_DBUS
    if (!m_busName.isEmpty())
        QDBusConnection::disconnectFromBus(m_busName);
#endif
}

void DesktopNotices::show(const QString &title, const QString &text)
{
    if (!m_window.isActiveWindow())
        QApplication::alert(&m_window);
#ifdef QUILLET_HAVE_DBUS
    QDBusConnection bus =
        m_busName.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(m_busName);
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"),
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        const QString entry = QGuiApplication::desktopFileName();
        QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(uchar(1))}};
        if (!entry.isEmpty())
            hints.insert(QStringLiteral("desktop-entry"), entry);
        // The icon by the desktop entry's name, as the package installs it.
        call << MessageSink::applicationTitle() << uint(0) << entry << title << text
             << QStringList() << hints << -1;
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, title, text](QDBusPendingCallWatcher *reply) {
                    reply->deleteLater();
                    if (reply->isError())
                        toBalloon(title, text);
                    else
                        Q_EMIT shown(true);
                });
        return;
    }
#endif
    toBalloon(title, text);
}

void DesktopNotices::toBalloon(const QString &title, const QString &text)
{
    if (m_balloon)
        m_balloon(title, text);
    Q_EMIT shown(false);
}
