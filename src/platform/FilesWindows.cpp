#include "platform/Files.h"

#include <QDateTime>
#include <QDir>

#include <windows.h>

#include <string>

namespace Files {

namespace {

// Folders are opened without sharing their deletion: while one is open, no
// program renames or removes it, so the paths below it stay where they were.
constexpr DWORD folderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD anySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::wstring wide(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

QString child(const Handle &folder, const QString &name)
{
    QString path = folder.path();
    if (!path.endsWith(QLatin1Char('\\')))
        path += QLatin1Char('\\');
    return path + name;
}

Handle open(const QString &path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags)
{
    const HANDLE handle =
        ::CreateFileW(wide(path).c_str(), access, sharing, nullptr, disposition, flags, nullptr);
    return Handle(handle, QDir::toNativeSeparators(path));
}

bool information(const Handle &handle, BY_HANDLE_FILE_INFORMATION &info)
{
    return ::GetFileInformationByHandle(handle.native(), &info) != 0;
}

} // namespace

int lastError()
{
    return int(::GetLastError());
}

QString errorText(int error)
{
    wchar_t *text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(error), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString result = length ? QString::fromWCharArray(text, int(length)).trimmed()
                            : QStringLiteral("error %1").arg(error);
    ::LocalFree(text);
    // The system's texts end with a full stop; the callers' sentences do.
    if (result.endsWith(QLatin1Char('.')))
        result.chop(1);
    return result;
}

bool isNameTaken(int error)
{
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

int diskFull()
{
    return ERROR_DISK_FULL;
}

bool Handle::isOpen() const
{
    return m_native != invalidNative() && m_native != nullptr;
}

int Handle::close()
{
    if (!isOpen())
        return 0;
    const bool closed = ::CloseHandle(std::exchange(m_native, invalidNative()));
    return closed ? 0 : int(::GetLastError());
}

Handle Handle::duplicate() const
{
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (isOpen() && !::DuplicateHandle(::GetCurrentProcess(), m_native, ::GetCurrentProcess(),
                                       &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        copy = INVALID_HANDLE_VALUE;
    return Handle(copy, m_path);
}

std::optional<Identity> identity(const Handle &handle)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!information(handle, info))
        return std::nullopt;
    return Identity{quint64(info.dwVolumeSerialNumber),
                    (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

Handle openFolder(const QString &path, int &error)
{
    Handle folder = open(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, folderSharing,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    error = folder.isOpen() ? 0 : lastError();
    // The same call opens a file: it is no folder.
    BY_HANDLE_FILE_INFORMATION info;
    if (folder.isOpen() &&
        (!information(folder, info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))) {
        error = ERROR_DIRECTORY;
        return Handle();
    }
    return folder;
}

Handle openSubfolder(const Handle &parent, const QString &name, bool &created, int &error)
{
    const QString path = child(parent, name);
    created = false;
    if (::GetFileAttributesW(wide(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (::CreateDirectoryW(wide(path).c_str(), nullptr))
            created = true;
        else if (::GetLastError() != ERROR_ALREADY_EXISTS)
            return error = lastError(), Handle();
    }
    // The link itself is opened, and refused when it is one.
    Handle folder = open(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, folderSharing,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    error = folder.isOpen() ? 0 : lastError();
    BY_HANDLE_FILE_INFORMATION info;
    if (folder.isOpen() &&
        (!information(folder, info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
         !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))) {
        error = 0;
        return Handle();
    }
    return folder;
}

bool isLink(const Handle &folder, const QString &name)
{
    const DWORD attributes = ::GetFileAttributesW(wide(child(folder, name)).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

int makeFolder(const QString &path)
{
    return ::CreateDirectoryW(wide(path).c_str(), nullptr) ? 0 : lastError();
}

void removeEmptyFolder(const Handle *parent, const QString &name)
{
    ::RemoveDirectoryW(wide(parent ? child(*parent, name) : name).c_str());
}

bool isGone(const Handle &folder)
{
    FILE_STANDARD_INFO info;
    return !::GetFileInformationByHandleEx(folder.native(), FileStandardInfo, &info, sizeof info) ||
           info.DeletePending;
}

qint64 freeSpace(const Handle &folder)
{
    ULARGE_INTEGER available;
    if (!::GetDiskFreeSpaceExW(wide(folder.path()).c_str(), &available, nullptr, nullptr))
        return -1;
    return qint64(available.QuadPart);
}

QStringList entries(const Handle &folder)
{
    QStringList names;
    WIN32_FIND_DATAW entry;
    const HANDLE search =
        ::FindFirstFileW(wide(child(folder, QStringLiteral("*"))).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.append(QString::fromWCharArray(entry.cFileName));
    while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    return names;
}

bool exists(const Handle &folder, const QString &name)
{
    // The attributes of a link are the link's own.
    return ::GetFileAttributesW(wide(child(folder, name)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

Handle openRegular(const Handle *folder, const QString &name, qint64 &size, int &error)
{
    // In a folder, a link is never followed; a path is taken as named.
    Handle file = open(folder ? child(*folder, name) : name, GENERIC_READ, anySharing,
                       OPEN_EXISTING, folder ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    if (!file.isOpen()) {
        error = lastError();
        return file;
    }
    error = 0;
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(file.native()) != FILE_TYPE_DISK || !information(file, info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return Handle();
    size = qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    return file;
}

qint64 readAt(const Handle &file, char *data, qint64 size, qint64 at)
{
    OVERLAPPED where = {};
    where.Offset = DWORD(quint64(at));
    where.OffsetHigh = DWORD(quint64(at) >> 32);
    DWORD got = 0;
    const DWORD want = DWORD(std::min<qint64>(size, 1 << 30));
    if (!::ReadFile(file.native(), data, want, &got, &where))
        return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return qint64(got);
}

void remove(const Handle &folder, const QString &name)
{
    ::DeleteFileW(wide(child(folder, name)).c_str());
}

Handle createTemporary(const Handle &folder, bool unnamed, QString &name, int &error)
{
    // Windows has no unnamed files: a hidden name beside the destination,
    // which no other program may write while it is open. Sharing its
    // deletion lets this program remove it while it holds it.
    Q_UNUSED(unnamed);
    name.clear();
    for (int tries = 0; tries < 100; ++tries) {
        const QString candidate = newTemporaryName();
        Handle file = open(child(folder, candidate), GENERIC_READ | GENERIC_WRITE | DELETE,
                           FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_NEW,
                           FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        if (file.isOpen()) {
            name = candidate;
            error = 0;
            return file;
        }
        if (!isNameTaken(lastError()))
            break;
    }
    error = lastError();
    return Handle();
}

void removeIfLeftover(const Handle &folder, const QString &name, qint64 ageSeconds)
{
    // Opened without sharing: fails while any program holds it.
    const Handle file = open(child(folder, name), DELETE | FILE_READ_ATTRIBUTES, 0, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT);
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.isOpen() || !information(file, info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return;
    ULARGE_INTEGER written;
    written.LowPart = info.ftLastWriteTime.dwLowDateTime;
    written.HighPart = info.ftLastWriteTime.dwHighDateTime;
    // 100 ns steps since 1601.
    const qint64 writtenSecs = qint64(written.QuadPart / 10000000ULL) - 11644473600LL;
    if (QDateTime::currentSecsSinceEpoch() - writtenSecs < ageSeconds)
        return;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    ::SetFileInformationByHandle(file.native(), FileDispositionInfo, &disposition,
                                 sizeof disposition);
}

int writeAll(const Handle &file, const char *data, qint64 size, qint64 &written)
{
    while (size > 0) {
        DWORD done = 0;
        const DWORD chunk = DWORD(std::min<qint64>(size, 1 << 30));
        if (!::WriteFile(file.native(), data, chunk, &done, nullptr))
            return lastError();
        if (done == 0)
            return ERROR_DISK_FULL;
        data += done;
        size -= done;
        written += done;
    }
    return 0;
}

int place(const Handle &folder, const Handle &file, QString &temporaryName, const QString &name)
{
    // Renamed through the open file, never replacing a file that is there.
    const std::wstring target = wide(child(folder, name));
    const size_t bytes = sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t);
    std::string buffer(bytes, '\0');
    auto *rename = reinterpret_cast<FILE_RENAME_INFO *>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = DWORD(target.size() * sizeof(wchar_t));
    std::copy(target.begin(), target.end(), rename->FileName);
    if (!::SetFileInformationByHandle(file.native(), FileRenameInfo, rename, DWORD(bytes)))
        return lastError();
    temporaryName.clear();
    // No longer hidden: it is the job's file now.
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(file.native(), FileBasicInfo, &basic, sizeof basic);
    return 0;
}

int flushRange(Native file, qint64 from, qint64 length)
{
    // No such call: the whole file's flush puts it on the disk.
    Q_UNUSED(file);
    Q_UNUSED(from);
    Q_UNUSED(length);
    return 0;
}

int flushFile(Native file)
{
    BY_HANDLE_FILE_INFORMATION info;
    // A folder's entries are kept by the file system's journal; it has no flush.
    if (::GetFileInformationByHandle(file, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    return ::FlushFileBuffers(file) ? 0 : lastError();
}

int flushVolume(Native folder)
{
    // A volume is flushed whole only by an administrator: each file is then
    // flushed alone.
    Q_UNUSED(folder);
    return ERROR_NOT_SUPPORTED;
}

Handle openToFlush(const QString &path, int &error)
{
    Handle handle = open(path, GENERIC_READ | GENERIC_WRITE, anySharing, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS);
    if (!handle.isOpen() && ::GetLastError() == ERROR_ACCESS_DENIED)
        // A folder, or a read-only file: opened to read, which a folder's
        // flush needs and a file's flush then fails on.
        handle = open(path, GENERIC_READ, anySharing, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    error = handle.isOpen() ? 0 : lastError();
    return handle;
}

} // namespace Files
