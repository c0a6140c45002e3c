#include "demo/DemoJobService.h"
#include "platform/RecordingMessageSink.h"
#include "platform/Startup.h"
#include "profiles/Profile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

int main(int argc, char *argv[])
{
    Startup::prepare();
    QCoreApplication app(argc, argv);
    Startup::nameApplication(QStringLiteral("quillet-demo-service"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A local job service with sample dictation jobs, on 127.0.0.1."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
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
    const QCommandLineOption demoProfile(
        QStringLiteral("demo-profile"),
        QStringLiteral("Write the profile \"Demo Typist\" into the Profiles folder when it is "
                       "missing; point it at this service when it points at another demo "
                       "service of this machine."));
    parser.addOptions({port, jobs, profileOut, demoProfile, downloads, login, password});

    // Answered on the standard streams, also where Windows gives the
    // program no console (QCommandLineParser would open a message box).
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!parser.parse(app.arguments())) {
        err << "quillet-demo-service: " << parser.errorText() << '\n';
        return 2;
    }
    if (parser.isSet(version)) {
        out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion()
            << '\n';
        return 0;
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
        return 0;
    }

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

    RecordingMessageSink messages;
    auto demoProfileFor = [&] {
        Profile profile(messages);
        profile.gFirstName = QStringLiteral("Demo");
        profile.gLastName = QStringLiteral("Typist");
        profile.gDepartment = QStringLiteral("Typing Pool");
        profile.gGUID = options.guid;
        profile.gLogin = options.login;
        profile.gPassword = options.password;
        profile.gStrBaseURL = service.baseUrl();
        profile.gStrDownloadFolder = parser.value(downloads);
        profile.gLngPollInterval = 15;
        profile.colDownloadRules = {QStringLiteral("Dictator Name (Last,First)"),
                                    QStringLiteral("\\"), QStringLiteral("Job Name"),
                                    QStringLiteral("_"),
                                    QStringLiteral("Open Date/Time (yyyymmdd_hhnnss)")};
        return profile;
    };
    if (parser.isSet(profileOut) && !demoProfileFor().SaveProfileToXML(parser.value(profileOut))) {
        err << "quillet-demo-service: cannot write the profile " << parser.value(profileOut)
            << '\n';
        return 1;
    }
    if (parser.isSet(demoProfile)) {
        const Profile fresh = demoProfileFor();
        const QString path = fresh.NewProfilePath();
        Profile existing(messages);
        if (!QFileInfo::exists(path)) {
            if (!fresh.SaveProfileToXML(path)) {
                err << "quillet-demo-service: cannot write the profile " << path << '\n';
                return 1;
            }
        } else if (existing.LoadProfileFromXMLFile(path) &&
                   existing.gStrBaseURL.startsWith(QLatin1String("http://127.0.0.1:")) &&
                   existing.gStrBaseURL != fresh.gStrBaseURL) {
            // A demo profile from an earlier run: the service has a new port.
            // Everything else the user may have changed stays.
            existing.gStrBaseURL = fresh.gStrBaseURL;
            existing.gLogin = fresh.gLogin;
            existing.gPassword = fresh.gPassword;
            existing.gGUID = fresh.gGUID;
            if (!existing.SaveProfileToXML(path)) {
                err << "quillet-demo-service: cannot update the profile " << path << '\n';
                return 1;
            }
        }
    }

    out << "Quillet demo job service at " << service.baseUrl() << " (" << jobCount
        << " jobs; login " << options.login << ")" << Qt::endl;
    return app.exec();
}
