#pragma once

#include <QString>
#include <QStringList>

#include <variant>

// The arguments of quillet-transfer: COMMAND PROFILE [OPTIONS].
struct CommandLineOptions
{
    QString command; // list, fetch, watch or profile
    QString profile;
    QString indexFile;
    bool json = false;
    bool now = false;   // watch: check at start
    bool quiet = false; // only failures and the closing summary on standard error
    bool help = false;
    bool version = false;

    // What is wrong with the arguments; empty when none were given at all.
    struct Problem
    {
        QString text;
    };

    // "--" ends the options; "--index FILE" and "--index=FILE" are the same.
    // With --help or --version the rest is not checked.
    static std::variant<CommandLineOptions, Problem> parse(const QStringList &arguments);

    // The usage text, ending with a line break.
    static const char *usage();
};
