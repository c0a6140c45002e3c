#include "service/JobReception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStorageInfo>

#ifdef Q_OS_WIN
#include <io.h>
#endif
#ifdef Q_OS_UNIX
#include <sys/statvfs.h>
#endif
#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

namespace {

bool isSeparator(QChar c)
{
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
}

// The bytes this user may still write on the folder's volume; -1 unknown.
qint64 bytesAvailable(const QString &folder)
{
#ifdef Q_OS_UNIX
    // statvfs alone: QStorageInfo would read the mount table for every job.
    struct statvfs volume;
    if (::statvfs(QFile::encodeName(folder).constData(), &volume) != 0)
        return -1;
    return qint64(volume.f_bavail) * qint64(volume.f_frsize);
#else
    const QStorageInfo volume(folder);
    return volume.isValid() ? volume.bytesAvailable() : -1;
#endif
}

QString sizeText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes);
}

} // namespace

JobReception::JobReception(QString destination) : m_destination(std::move(destination))
{
}

JobReception::~JobReception()
{
    discard();
}

bool JobReception::CreateFolderPath(const QString &path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!isSeparator(path.at(i)))
            continue;
        const QString folder = path.left(i + 1);
        // Doubled separators name no new folder.
        if (i > 0 && isSeparator(path.at(i - 1)))
            continue;
        const QFileInfo info(folder);
        if (info.isDir())
            continue;
        if (info.exists() || !QDir().mkdir(folder))
            return false;
    }
    return true;
}

QString JobReception::numberedPath(const QString &path, int number)
{
    qsizetype nameStart = path.size();
    while (nameStart > 0 && !isSeparator(path.at(nameStart - 1)))
        --nameStart;
    qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= nameStart)
        dot = path.size();
    return path.left(dot) + QStringLiteral(" (%1)").arg(number) + path.mid(dot);
}

bool JobReception::sameContents(QIODevice &a, QIODevice &b)
{
    constexpr qint64 block = 64 * 1024;
    if (a.size() != b.size())
        return false;
    for (;;) {
        const QByteArray left = a.read(block);
        const QByteArray right = b.read(block);
        if (left != right)
            return false;
        if (left.isEmpty())
            return true;
    }
}

bool JobReception::begin(qint64 contentLength)
{
    discard();
    m_error.clear();
    m_written = 0;
    m_writtenBack = 0;
    const QFileInfo target(m_destination);
    const QString folder = target.absolutePath();
    if (!CreateFolderPath(m_destination) || !QFileInfo(folder).isDir()) {
        m_error = QObject::tr("The folder %1 could not be created.")
                      .arg(QDir::toNativeSeparators(folder));
        return false;
    }
    if (!hasRoomFor(folder, contentLength))
        return false;
    // Hidden, beside the destination, so that putting it in place is a
    // rename on the same volume. Where the system allows, the file has no
    // name at all until then, so a crash leaves nothing behind.
    m_file = std::make_unique<PartFile>(folder + QStringLiteral("/.quillet-XXXXXX.part"));
    if (!m_file->openUnbuffered()) {
        m_error = QObject::tr("The file %1 could not be written: %2")
                      .arg(QDir::toNativeSeparators(m_destination), m_file->errorString());
        m_file.reset();
        return false;
    }
    return true;
}

bool JobReception::hasRoomFor(const QString &folder, qint64 length)
{
    if (length <= 0)
        return true;
    const qint64 available = bytesAvailable(folder);
    if (available >= 0 && available < length) {
        m_error = QObject::tr("There is not enough free space for this job in %1: it needs "
                              "%2, %3 are free.")
                      .arg(QDir::toNativeSeparators(folder), sizeText(length), sizeText(available));
        return false;
    }
    return true;
}

bool JobReception::resume(qint64 remaining)
{
    if (!m_file || m_written == 0)
        return false;
    m_error.clear();
    return hasRoomFor(QFileInfo(m_destination).absolutePath(), remaining);
}

bool JobReception::write(const char *data, qint64 size)
{
    if (!m_file)
        return false;
    const qint64 written = m_file->write(data, size);
    if (written != size) {
        m_error = QObject::tr("The file %1 could not be written (%2 written): %3")
                      .arg(QDir::toNativeSeparators(m_destination), sizeText(m_written),
                           m_file->errorString());
        discard();
        return false;
    }
    m_written += written;
#ifdef Q_OS_LINUX
    // Start writing back what has arrived so far, so that making the file
    // durable before its confirmation does not wait for all of it at the end.
    constexpr qint64 writeBackStep = 8 * 1024 * 1024;
    if (m_written - m_writtenBack >= writeBackStep) {
        ::sync_file_range(m_file->handle(), m_writtenBack, m_written - m_writtenBack,
                          SYNC_FILE_RANGE_WRITE);
        m_writtenBack = m_written;
    }
#endif
    return true;
}

std::optional<QString> JobReception::finish()
{
    if (!m_file) {
        if (m_error.isEmpty())
            m_error = QObject::tr("Nothing was received.");
        return std::nullopt;
    }
    if (!m_file->flush()) {
        m_error = QObject::tr("The file %1 could not be written: %2")
                      .arg(QDir::toNativeSeparators(m_destination), m_file->errorString());
        discard();
        return std::nullopt;
    }
#ifdef Q_OS_WIN
    // Down on the disk before the service is told that the job was fetched.
    _commit(m_file->handle());
#endif

    for (int number = 1; number < 10000; ++number) {
        const QString candidate = number == 1 ? m_destination : numberedPath(m_destination, number);
        QFile existing(candidate);
        if (existing.exists()) {
            // The same job fetched again: its file is already there.
            if (existing.open(QIODevice::ReadOnly) && m_file->seek(0) &&
                sameContents(*m_file, existing)) {
                discard();
                return candidate;
            }
            continue;
        }
        // The rename never replaces a file that appeared meanwhile.
        if (m_file->rename(candidate)) {
            m_file->setAutoRemove(false);
            m_file.reset();
            return candidate;
        }
        // A failed rename leaves the temporary file closed for reading.
        if (QFileInfo::exists(candidate) && m_file->openUnbuffered())
            continue;
        m_error = QObject::tr("The file %1 could not be put in place: %2")
                      .arg(QDir::toNativeSeparators(candidate), m_file->errorString());
        discard();
        return std::nullopt;
    }
    m_error = QObject::tr("No free file name was found for %1.")
                  .arg(QDir::toNativeSeparators(m_destination));
    discard();
    return std::nullopt;
}

void JobReception::discard()
{
    if (m_file) {
        m_file->setAutoRemove(true);
        m_file.reset();
    }
}
