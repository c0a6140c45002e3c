#include "dialogs/MessageBoxSink.h"
#include "platform/Conversions.h"
#include "shell/GUIFunctions.h"

#include <QApplication>
#include <QIcon>

#include <csignal>

int main(int argc, char *argv[])
{
    Conversions::cacheLocalTimeZone();
#ifdef SIGXFSZ
    // A file size limit makes a write fail (the job fails cleanly) instead
    // of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QuilletInetTool"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/app.png")));

    MessageBoxSink messages;
    GUIFunctions controller(messages);
    controller.start();
    return app.exec();
}
