#include "dialogs/MessageBoxSink.h"
#include "platform/Startup.h"
#include "shell/GUIFunctions.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    Startup::prepare();
    QApplication app(argc, argv);
    Startup::nameApplication(QStringLiteral("QuilletInetTool"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/app.png")));
    // The installed desktop entry's name (packaging/CMakeLists.txt), which
    // Wayland compositors match the window with.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUILLET_APP_ID));

    MessageBoxSink messages;
    GUIFunctions controller(messages);
    controller.start();
    return app.exec();
}
