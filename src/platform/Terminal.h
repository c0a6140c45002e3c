#pragma once

// Standard output and standard error as the command-line tool sees them.
namespace Terminal {

enum class Stream
{
    Output,
    Error
};

// Whether the stream is a terminal (on Windows, a console).
bool isTerminal(Stream stream);
// The terminal's width in columns; 0 when it is not known.
int width(Stream stream);
// Whether standard error is systemd's journal (JOURNAL_STREAM names it);
// a program started from a unit's shell may have inherited the variable
// with another standard error.
bool errorIsJournal();

} // namespace Terminal
