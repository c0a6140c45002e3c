#include "cli/CommandLineOptions.h"

#include <QObject>

const char *CommandLineOptions::usage()
{
    return "Usage: quillet-transfer [-q] COMMAND PROFILE [OPTIONS]\n"
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
           "Options:\n"
           "  -q, --quiet     only failures and the closing summary on standard error\n"
           "  --index=FILE    the same as --index FILE\n"
           "  --              ends the options: a profile named \"-x\" is \"-- -x\"\n"
           "\n"
           "PROFILE is a profile file, or the \"First Last\" name of a profile in the\n"
           "Profiles folder.\n"
           "\n"
           "Exit status:\n"
           "  0    every listed job was received and confirmed\n"
           "  1    the check, the job index, a job or a confirmation failed\n"
           "  2    bad arguments, or a profile or job index that cannot be read\n"
           "  130  ended by SIGINT (143: by SIGTERM), once received jobs were confirmed\n";
}

std::variant<CommandLineOptions, CommandLineOptions::Problem>
CommandLineOptions::parse(const QStringList &arguments)
{
    CommandLineOptions options;
    QStringList positional;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        // "-" alone is an argument, as it is for most tools.
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) || argument.size() == 1) {
            positional << argument;
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            options.help = true;
            return options;
        } else if (argument == QLatin1String("--version")) {
            options.version = true;
            return options;
        } else if (argument == QLatin1String("--json")) {
            options.json = true;
        } else if (argument == QLatin1String("--now")) {
            options.now = true;
        } else if (argument == QLatin1String("-q") || argument == QLatin1String("--quiet")) {
            options.quiet = true;
        } else if (argument == QLatin1String("--index") ||
                   argument.startsWith(QLatin1String("--index="))) {
            const bool joined = argument.size() > 7;
            if (!joined && i + 1 >= arguments.size())
                return Problem{QStringLiteral("--index needs a file")};
            options.indexFile = joined ? argument.mid(8) : arguments.at(++i);
            if (options.indexFile.isEmpty())
                return Problem{QStringLiteral("--index needs a file")};
        } else {
            return Problem{QStringLiteral("unknown option %1").arg(argument)};
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
        return Problem{QStringLiteral("%1 takes no such option").arg(options.command)};
    return options;
}
