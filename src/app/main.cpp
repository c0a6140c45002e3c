#include "dialogs/MessageBoxSink.h"
#include "platform/Startup.h"
#include "shell/GUIFunctions.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

namespace {

// --help and --version are answered before the application object, which
// needs a display; any other argument is refused. The status to exit with,
// or -1 to go on.
int answerArguments(int argc, char *argv[])
{
    if (argc < 2)
        return -1;
    const char *argument = argv[1];
    if (argc == 2 && (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0)) {
        std::fputs("Usage: QuilletInetTool [--help | --version]\n"
                   "\n"
                   "The window of the Quillet Internet Transfer Tool: fetches dictation jobs\n"
                   "from a job service into a download folder and confirms them. Profiles are\n"
                   "chosen and edited in the window; quillet-transfer(1) does the same work\n"
                   "without a window.\n",
                   stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argument, "--version") == 0) {
        std::printf("QuilletInetTool %s\n", qPrintable(Startup::version()));
        return 0;
    }
    if (argc > 2 && (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0 ||
                     std::strcmp(argument, "--version") == 0))
        argument = argv[2];
    std::fprintf(stderr, "QuilletInetTool: unexpected argument %s; see --help\n", argument);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const int status = answerArguments(argc, argv); status >= 0)
        return status;
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
