#pragma once

#include <QString>

// Keeps the file names built from job fields usable: on this machine and on
// the Windows shares where typists often keep their files.
namespace FileNames {

// True for "\\" and "/": both separate the folders of a path.
bool isSeparator(QChar c);

// A job field's text with the characters a Windows file name cannot hold
// (< > : " | ? * and control characters) and the bidirectional overrides and
// isolates replaced by "_". Backslash and
// slash stay: they separate folders.
QString cleanFieldValue(const QString &value);

// Fixes every path component of a relative name that would be hidden (a
// leading dot becomes "_") or that Windows cannot hold: a trailing dot or blank gets a "_" after it
// ("report." -> "report._"), and a device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, any case,
// with or without an extension) gets a "_" right after the device name
// ("CON.wav" -> "CON_.wav"). The components "." and ".." are left alone so that
// leavesFolder() still sees them.
QString fixPathComponents(const QString &name);

// True when a name meant to lie inside a folder would lead out of it: it is
// absolute (a leading separator or a drive letter) or its ".." components
// climb above its start. Both separators count.
bool leavesFolder(const QString &relativeName);

// The path with the separators of this platform.
QString nativeSeparators(const QString &path);

} // namespace FileNames
