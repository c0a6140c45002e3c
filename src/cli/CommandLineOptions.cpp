#include "cli/CommandLineOptions.h"

#include <QObject>

const char *CommandLineOptions::usage()
{
    return "Usage: quillet-transfer COMMAND PROFILE [OPTIONS]\n"
           "       quillet-transfer --help | --version\n"
           "\n"
           "Commands:\n"
           "  list PROFILE [--index FILE] [--json] check for jobs (or read a saved job\n"
           "                                       index) and list them\n"
           "  fetch PROFILE [--json]               check, fetch every listed job, confirm\n"
           "                                       the received ones\n"
           "  watch PROFILE [--now]                check and fetch unattended, every poll\n"
           "                                       interval + 1 minutes (as the window\n"
           "                                       does), with --now also at start;\n"
           "                                       SIGINT/SIGTERM end it after the\n"
           "                                       running job\n"
           "  profile PROFILE                      show the profile, password hidden\n"
           "\n"
           "PROFILE is a profile file, or the \"First Last\" name of a profile in the\n"
           "Profiles folder.\n"
           "Exit status: 0 done, 1 a job or the job index failed, 2 bad arguments or a\n"
           "profile that cannot be read.\n";
}

std::variant<CommandLineOptions, CommandLineOptions::Problem>
CommandLineOptions::parse(const QStringList &arguments)
{
    CommandLineOptions options;
    QStringList positional;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--json")) {
            options.json = true;
        } else if (argument == QLatin1String("--now")) {
            options.now = true;
        } else if (argument == QLatin1String("--index")) {
            if (i + 1 >= arguments.size())
                return Problem{QStringLiteral("--index needs a file")};
            options.indexFile = arguments.at(++i);
        } else if (argument.startsWith(QLatin1String("--")) && argument.size() > 2) {
            return Problem{QStringLiteral("unknown option %1").arg(argument)};
        } else {
            positional << argument;
        }
    }
    if (positional.isEmpty())
        return Problem{};
    options.command = positional.takeFirst();
    if (options.command != QLatin1String("list") && options.command != QLatin1String("profile") &&
        options.command != QLatin1String("fetch") && options.command != QLatin1String("watch"))
        return Problem{QStringLiteral("unknown command %1").arg(options.command)};
    if (positional.isEmpty())
        return Problem{QStringLiteral("%1 needs a profile").arg(options.command)};
    options.profile = positional.takeFirst();
    if (!positional.isEmpty())
        return Problem{QStringLiteral("unexpected argument %1").arg(positional.first())};
    const bool isList = options.command == QLatin1String("list");
    const bool isProfile =
        options.command == QLatin1String("profile") || options.command == QLatin1String("watch");
    const bool isWatch = options.command == QLatin1String("watch");
    if ((isProfile && options.json) || (!isList && !options.indexFile.isEmpty()) ||
        (!isWatch && options.now))
        return Problem{QStringLiteral("%1 takes no options").arg(options.command)};
    return options;
}
