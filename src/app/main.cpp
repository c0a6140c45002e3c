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

    MessageBoxSink messages;
    GUIFunctions controller(messages);
    controller.start();
    return app.exec();
}
