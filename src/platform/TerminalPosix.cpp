#include "platform/Terminal.h"

#include <QByteArray>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Terminal {

namespace {

int descriptor(Stream stream)
{
    return stream == Stream::Output ? STDOUT_FILENO : STDERR_FILENO;
}

} // namespace

bool isTerminal(Stream stream)
{
    return ::isatty(descriptor(stream)) == 1;
}

int width(Stream stream)
{
    struct winsize size = {};
    if (::ioctl(descriptor(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 0;
}

bool errorIsJournal()
{
    // systemd names the journal's stream as "device:inode".
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    struct stat status = {};
    if (stream.isEmpty() || ::fstat(STDERR_FILENO, &status) != 0)
        return false;
    return stream == QByteArray::number(quint64(status.st_dev)) + ':' +
                         QByteArray::number(quint64(status.st_ino));
}

} // namespace Terminal
