#include "service/JobReception.h"

#include "naming/FileNames.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// A temporary file untouched for this long, and not locked, was left behind.
constexpr int leftoverAgeSeconds = 60;

// A received body is written back to the disk in steps of this size.
constexpr qint64 writeBackStep = 8 * 1024 * 1024;

QString sizeText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes);
}

QString fileName(const QString &path)
{
    qsizetype start = path.size();
    while (start > 0 && !FileNames::isSeparator(path.at(start - 1)))
        --start;
    return path.mid(start);
}

// True when the regular file `name` in `folder` holds the `size` bytes of
// the open file `file`.
bool sameContents(const Files::Handle &file, qint64 size, const Files::Handle &folder,
                  const QString &name)
{
    qint64 otherSize = -1;
    int error = 0;
    const Files::Handle other = Files::openRegular(&folder, name, otherSize, error);
    bool same = other.isOpen() && otherSize == size;
    constexpr qint64 block = 64 * 1024;
    std::array<char, block> mine;
    std::array<char, block> theirs;
    for (qint64 at = 0; same && at < size;) {
        const qint64 got = Files::readAt(file, mine.data(), std::min(block, size - at), at);
        same = got > 0 && Files::readAt(other, theirs.data(), got, at) == got &&
               std::memcmp(mine.data(), theirs.data(), size_t(got)) == 0;
        at += got;
    }
    return same;
}

// Removes the temporary files in `folder` that were left by a run that ended
// before it could put them in place.
void removeLeftovers(const Files::Handle &folder)
{
    for (const QString &name : Files::entries(folder)) {
        if (Files::isTemporaryName(name))
            Files::removeIfLeftover(folder, name, leftoverAgeSeconds);
    }
}

} // namespace

JobReception::JobReception(QString destination, std::shared_ptr<DownloadFolder> folder,
                           std::shared_ptr<DiskFlush::WriteBack> writeBack)
    : m_destination(std::move(destination)), m_folder(std::move(folder)),
      m_writeBack(std::move(writeBack))
{
    if (!m_folder) {
        const QString folder = m_destination.chopped(fileName(m_destination).size());
        m_folder =
            std::make_shared<DownloadFolder>(folder.isEmpty() ? QStringLiteral(".") : folder);
    }
}

JobReception::~JobReception()
{
    discard();
}

QString JobReception::numberedPath(const QString &path, int number)
{
    const qsizetype nameStart = path.size() - fileName(path).size();
    qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= nameStart)
        dot = path.size();
    return path.left(dot) + QStringLiteral(" (%1)").arg(number) + path.mid(dot);
}

void JobReception::fail(const QString &what, int error)
{
    m_error = QObject::tr("%1: %2").arg(what, Files::errorText(error));
}

bool JobReception::openTemporary()
{
    int error = 0;
    m_file = Files::createTemporary(m_folderHandle, m_unnamedFiles, m_temporaryName, error);
    if (!m_file.isOpen()) {
        fail(QObject::tr("The file %1 could not be written")
                 .arg(QDir::toNativeSeparators(m_destination)),
             error);
        return false;
    }
    return true;
}

bool JobReception::hasRoomFor(qint64 length)
{
    if (length <= 0)
        return true;
    const qint64 available = Files::freeSpace(m_folderHandle);
    if (available >= 0 && available < length) {
        m_error = QObject::tr("There is not enough free space for this job in %1: it needs "
                              "%2, %3 are free.")
                      .arg(QDir::toNativeSeparators(QFileInfo(m_destination).absolutePath()),
                           sizeText(length), sizeText(available));
        return false;
    }
    return true;
}

bool JobReception::begin(qint64 contentLength)
{
    discard();
    m_error.clear();
    const QString &top = m_folder->path();
    const QString below =
        m_destination.startsWith(top) ? m_destination.mid(top.size() + 1) : fileName(m_destination);
    const QString folder = below.left(below.size() - fileName(below).size());
    m_folderHandle = m_folder->openFolder(folder, m_createdFolders, m_error);
    if (!m_folderHandle.isOpen()) {
        discard();
        return false;
    }
    if (m_folder->firstVisit(m_folderHandle))
        removeLeftovers(m_folderHandle);
    if (!hasRoomFor(contentLength) || !openTemporary()) {
        discard();
        return false;
    }
    return true;
}

bool JobReception::resume(qint64 remaining)
{
    if (!m_file.isOpen() || m_written == 0)
        return false;
    m_error.clear();
    return hasRoomFor(remaining);
}

bool JobReception::write(const char *data, qint64 size)
{
    if (!m_file.isOpen())
        return false;
    const qint64 before = m_written;
    if (const int error = Files::writeAll(m_file, data, size, m_written)) {
        fail(QObject::tr("The file %1 could not be written after %2")
                 .arg(QDir::toNativeSeparators(m_destination), sizeText(before)),
             error);
        discard();
        return false;
    }
    // What has arrived goes to the disk while the rest arrives, so that
    // making the file durable before its confirmation waits for its tail only.
    if (m_writeBack && m_written - m_writtenBack >= writeBackStep) {
        // Its errors count when the files are flushed before their confirmation.
        if (!m_handle)
            m_handle = std::make_shared<DiskFlush::Handle>(m_file.duplicate());
        m_writeBack->range(m_handle, m_writtenBack, m_written - m_writtenBack);
        m_writtenBack = m_written;
    }
    return true;
}

std::optional<QString> JobReception::finish()
{
    m_placed = false;
    if (!m_file.isOpen()) {
        if (m_error.isEmpty())
            m_error = QObject::tr("Nothing was received.");
        return std::nullopt;
    }
    for (int number = 1; number < 10000; ++number) {
        const QString candidate = number == 1 ? m_destination : numberedPath(m_destination, number);
        const QString name = fileName(candidate);
        // A name taken while it is looked at is looked at once more.
        for (int look = 0; look < 2; ++look) {
            if (Files::exists(m_folderHandle, name)) {
                // The same job fetched again: its file is already there.
                if (!sameContents(m_file, m_written, m_folderHandle, name))
                    break;
                discard();
                return candidate;
            }
            const int error = Files::place(m_folderHandle, m_file, m_temporaryName, name);
            if (error == 0) {
                // The rest of a body written back while it arrived goes to the
                // disk on the write-back's thread.
                if (m_handle)
                    m_writeBack->finish(m_handle);
                if (const int closeError = m_file.close()) {
                    fail(QObject::tr("The file %1 could not be written")
                             .arg(QDir::toNativeSeparators(candidate)),
                         closeError);
                    Files::remove(m_folderHandle, name);
                    discard();
                    return std::nullopt;
                }
                close();
                m_placed = true;
                m_createdFolders.clear();
                return candidate;
            }
            if (!Files::isNameTaken(error)) {
                fail(QObject::tr("The file %1 could not be put in place")
                         .arg(QDir::toNativeSeparators(candidate)),
                     error);
                discard();
                return std::nullopt;
            }
        }
    }
    m_error = QObject::tr("No free file name was found for %1.")
                  .arg(QDir::toNativeSeparators(m_destination));
    discard();
    return std::nullopt;
}

void JobReception::close()
{
    if (!m_temporaryName.isEmpty()) {
        Files::remove(m_folderHandle, m_temporaryName);
        m_temporaryName.clear();
    }
    m_file.close();
    m_folderHandle.close();
    m_written = 0;
    m_writtenBack = 0;
}

void JobReception::discard()
{
    close();
    m_placed = false;
    m_handle.reset();
    // Innermost first; a folder that holds anything stays.
    if (m_folder)
        m_folder->remove(m_createdFolders);
}
