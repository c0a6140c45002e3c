#include "demo/DemoJobService.h"
#include "platform/Conversions.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTextStream>

int main(int argc, char *argv[])
{
    Conversions::cacheLocalTimeZone();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillet-demo-service"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A local job service with sample dictation jobs, on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port to listen on (0: any free port)."),
                                  QStringLiteral("PORT"), QStringLiteral("0"));
    const QCommandLineOption jobs(QStringLiteral("jobs"), QStringLiteral("Number of sample jobs."),
                                  QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption profileOut(
        QStringLiteral("profile-out"),
        QStringLiteral("Write a profile file that points at this service."),
        QStringLiteral("FILE"));
    const QCommandLineOption downloads(
        QStringLiteral("download-folder"),
        QStringLiteral("Download folder of the written profile."), QStringLiteral("DIR"),
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(QStringLiteral("Quillet Demo Jobs")));
    const QCommandLineOption login(QStringLiteral("login"), QStringLiteral("Login to accept."),
                                   QStringLiteral("LOGIN"), QStringLiteral("demo"));
    const QCommandLineOption password(QStringLiteral("password"),
                                      QStringLiteral("Password to accept."),
                                      QStringLiteral("PASSWORD"), QStringLiteral("demo"));
    parser.addOptions({port, jobs, profileOut, downloads, login, password});
    parser.process(app);

    QTextStream err(stderr);
    bool numbers = true;
    bool ok = false;
    const uint portNumber = parser.value(port).toUInt(&ok);
    numbers = numbers && ok && portNumber <= 65535;
    const int jobCount = parser.value(jobs).toInt(&ok);
    numbers = numbers && ok && jobCount >= 0 && jobCount <= 100000;
    if (!numbers) {
        err << "quillet-demo-service: --port takes 0-65535 and --jobs 0-100000\n";
        return 2;
    }

    DemoJobService::Options options;
    options.jobs = jobCount;
    options.login = parser.value(login);
    options.password = parser.value(password);
    DemoJobService service(options);
    if (!service.listen(quint16(portNumber))) {
        err << "quillet-demo-service: cannot listen on 127.0.0.1:" << portNumber << ": "
            << service.errorString() << '\n';
        return 1;
    }

    if (parser.isSet(profileOut)) {
        RecordingMessageSink messages;
        Profile profile(messages);
        profile.gFirstName = QStringLiteral("Demo");
        profile.gLastName = QStringLiteral("Typist");
        profile.gDepartment = QStringLiteral("Typing Pool");
        profile.gGUID = options.guid;
        profile.gLogin = options.login;
        profile.gPassword = options.password;
        profile.gStrBaseURL = service.baseUrl();
        profile.gStrDownloadFolder = parser.value(downloads);
        profile.gLngPollInterval = 1;
        profile.colDownloadRules = {QStringLiteral("Dictator Name (Last,First)"),
                                    QStringLiteral("\\"), QStringLiteral("Job Name"),
                                    QStringLiteral("_"),
                                    QStringLiteral("Open Date/Time (yyyymmdd_hhnnss)")};
        if (!profile.SaveProfileToXML(parser.value(profileOut))) {
            err << "quillet-demo-service: cannot write the profile " << parser.value(profileOut)
                << '\n';
            return 1;
        }
    }

    QTextStream out(stdout);
    out << "Quillet demo job service at " << service.baseUrl() << " (" << jobCount
        << " jobs; login " << options.login << ")" << Qt::endl;
    return app.exec();
}
