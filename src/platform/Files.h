#pragma once

#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

// The file-system calls that bring a job's file to the disk, on POSIX and on
// Windows. Failures are the system's codes (errno, GetLastError()), 0 for
// none. Folders are opened once and files are made relative to the open
// folder, so that a folder swapped for a link meanwhile does not move them:
// POSIX works on the folder's descriptor, Windows keeps the folder open
// without sharing its deletion, which keeps it from being renamed or removed.
namespace Files {

#ifdef Q_OS_WIN
using Native = void *; // HANDLE
inline Native invalidNative()
{
    return reinterpret_cast<void *>(qintptr(-1));
}
#else
using Native = int;
inline Native invalidNative()
{
    return -1;
}
#endif

// The code of the last failed call on this thread.
int lastError();
// The system's text for a code.
QString errorText(int error);
// Whether a code says that the name is taken.
bool isNameTaken(int error);
// The code of a full disk.
int diskFull();

// An open file or folder, closed with the object; `path()` is where it was
// opened (with the platform's separators).
class Handle
{
public:
    Handle() : m_native(invalidNative()) {}
    Handle(Native native, QString path);
    ~Handle();
    Handle(Handle &&other) noexcept;
    Handle &operator=(Handle &&other) noexcept;
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    bool isOpen() const;
    Native native() const { return m_native; }
    const QString &path() const { return m_path; }
    // Closes now; 0 or the code of a failure that means written data may be lost.
    int close();
    // Another handle to the same open file.
    Handle duplicate() const;

private:
    Native m_native;
    QString m_path;
};

// A file's volume and its number on it.
using Identity = QPair<quint64, quint64>;
std::optional<Identity> identity(const Handle &handle);

// The folder at `path`, following links as the typist named it.
Handle openFolder(const QString &path, int &error);
// The folder `name` in `parent`, created when missing (`created` tells),
// never through a link: a link there fails (see isLink()).
Handle openSubfolder(const Handle &parent, const QString &name, bool &created, int &error);
// Whether `name` in `folder` is a link (of any kind the system has).
bool isLink(const Handle &folder, const QString &name);
// Creates the folder at `path`; 0 or the code (a taken name included).
int makeFolder(const QString &path);
// Removes the folder `name` of `parent` (or at the path `name` when there is
// no parent) if it is empty.
void removeEmptyFolder(const Handle *parent, const QString &name);
// Whether an open folder was removed since it was opened.
bool isGone(const Handle &folder);
// The bytes the user may still write to the folder's volume; -1 when unknown.
qint64 freeSpace(const Handle &folder);
// The names in a folder.
QStringList entries(const Handle &folder);

// Whether `folder` holds an entry `name` of any kind; links are not followed.
bool exists(const Handle &folder, const QString &name);
// The regular file `name` in `folder` (the path `name` when there is no
// folder) opened for reading, and its size: never a link in the folder,
// never a device, pipe or socket, and opened without waiting on one. No
// handle and the code 0: there is something else under that name.
Handle openRegular(const Handle *folder, const QString &name, qint64 &size, int &error);
// Reads at most `size` bytes from offset `at`; the count, or -1.
qint64 readAt(const Handle &file, char *data, qint64 size, qint64 at);
// Removes the file `name` of `folder`.
void remove(const Handle &folder, const QString &name);

// A new, empty file in `folder` that no other program sees or writes until it
// is placed: without a name where `unnamed` and the system allow it, else a
// hidden name (set in `name`), locked for as long as it is open. Files get
// the permissions the system gives new files (POSIX: what the umask leaves
// of rw-rw-rw-).
Handle createTemporary(const Handle &folder, bool unnamed, QString &name, int &error);
// A fresh hidden temporary name, ".quillet-XXXXXX.part", and whether `name`
// is one.
QString newTemporaryName();
bool isTemporaryName(const QString &name);
// Removes the temporary file `name` of `folder` when a run that ended left
// it: no program holds it, and it was not changed for `ageSeconds`.
void removeIfLeftover(const Handle &folder, const QString &name, qint64 ageSeconds);
// Appends all `size` bytes, counting those written in `written`; 0 or the
// code (diskFull() when the system wrote nothing without saying why).
int writeAll(const Handle &file, const char *data, qint64 size, qint64 &written);
// Gives the temporary `file` of `folder` the name `name`, never replacing
// what is there (isNameTaken() then); `temporaryName` is emptied once the
// file no longer has it. 0 or the code.
int place(const Handle &folder, const Handle &file, QString &temporaryName, const QString &name);

// Writes a range of a file back to the disk and waits for it (where the
// system has no such call, nothing: the file's flush covers it).
int flushRange(Native file, qint64 from, qint64 length);
// Puts a file's data on the disk; for a folder, its entries where the
// system can.
int flushFile(Native file);
// Puts everything written on the folder's volume on the disk; a failure
// where the system cannot (Windows, without administrator rights), so that
// each file is flushed alone.
int flushVolume(Native folder);
// The file or folder at `path`, opened to be flushed.
Handle openToFlush(const QString &path, int &error);

} // namespace Files
