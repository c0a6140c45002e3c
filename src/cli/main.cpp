#include "cli/CommandLineTool.h"
#include "platform/Paths.h"
#include "platform/Startup.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    Startup::prepare();
    QCoreApplication app(argc, argv);
    Startup::nameApplication(QStringLiteral("quillet-transfer"));

    // Scripts and tests may keep their profiles elsewhere.
    const QString profiles = qEnvironmentVariable("QUILLET_PROFILES_FOLDER");
    if (!profiles.isEmpty())
        Paths::setProfilesFolder(profiles);

    QTextStream out(stdout);
    QTextStream err(stderr);
    CommandLineTool tool(out, err);
    int status = -1;
    bool done = false;
    QObject::connect(&tool, &CommandLineTool::finished, &app, [&](int code) {
        status = code;
        done = true;
        QCoreApplication::exit(code);
    });
    tool.start(app.arguments().mid(1));
    if (done)
        return status;
    return app.exec();
}
