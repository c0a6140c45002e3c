#include "platform/Startup.h"

#include "platform/Conversions.h"

#include <QCoreApplication>

#include <csignal>

namespace Startup {

QString version()
{
    return QStringLiteral("%1.%2.%3")
        .arg(QUILLET_VERSION_MAJOR)
        .arg(QUILLET_VERSION_MINOR)
        .arg(QUILLET_VERSION_PATCH);
}

void prepare()
{
    Conversions::cacheLocalTimeZone();
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

void nameApplication(const QString &name)
{
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(version());
}

} // namespace Startup
