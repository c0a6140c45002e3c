#include "cli/CommandLineTool.h"
#include "platform/Conversions.h"
#include "platform/Paths.h"

#include <QCoreApplication>

#include <cstdio>

#include <csignal>

int main(int argc, char *argv[])
{
    Conversions::cacheLocalTimeZone();
#ifdef SIGXFSZ
    // A file size limit makes a write fail (the job fails cleanly) instead
    // of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillet-transfer"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));

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
