#pragma once

#include <QString>

// Where the program keeps its profile files.
class Paths
{
public:
    // The Profiles folder: beside the executable, created when missing; where
    // that folder cannot be created or written, or the executable is installed
    // in a folder named bin, the per-user application data folder's Profiles.
    // Resolved on first use, or as set by setProfilesFolder.
    static QString profilesFolder();

    // Places the Profiles folder elsewhere (tests, the command-line tool's
    // callers). An empty path returns to the default.
    static void setProfilesFolder(const QString &folder);

    // The choice behind profilesFolder(): `preferred` when it exists or can be
    // created and is writable, else `fallback` (created when missing). Returns
    // an empty text when neither can be used.
    static QString chooseProfilesFolder(const QString &preferred, const QString &fallback);

    // Creates the folder and its parents; true when it exists and is writable.
    static bool ensureWritableFolder(const QString &folder);
};
