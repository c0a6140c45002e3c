// Feeds arbitrary bytes to the job index reading and the file-name functions
// and checks what must hold for every input.
#include "naming/FileNames.h"
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"
#include "service/DownloadTools.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

const QString folder = QStringLiteral("C:\\Jobs");

DownloadTools &tools(RecordingMessageSink &messages)
{
    static DownloadTools *instance = [&messages] {
        auto *created = new DownloadTools(messages);
        Profile &profile = created->gProfile();
        profile.gStrDownloadFolder = folder;
        profile.colDownloadRules = {
            QStringLiteral("Demographic 1"), QStringLiteral("\\"),
            QStringLiteral("Job Name"),      QStringLiteral("_"),
            QStringLiteral("Open Date/Time (yyyymmdd_hhnnss)"),
            QStringLiteral("Dictator Name (Last,First)")};
        return created;
    }();
    return *instance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static RecordingMessageSink messages;
    DownloadTools &reader = tools(messages);
    messages.clear();

    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    reader.xmlIndex = DownloadTools::indexTextFromBytes(bytes);
    const bool read = reader.PopluateJobCollecionFromIndexFile();

    // One message for a failed reading, none for a good one.
    check(messages.messages.size() == (read ? 0 : 1));
    const QString prefix = folder + QLatin1Char('\\');
    for (qsizetype i = 1; i <= reader.gColDownloads.Count(); ++i) {
        const Job *job = reader.gColDownloads.Item(i);
        check(reader.gColDownloads.Item(job->gLngID) == job);
        check(job->gStrDestinationPath.startsWith(prefix));
        // What the fields gave holds nothing a Windows file name refuses, and
        // the component fixes are complete.
        const QString name = job->gStrDestinationPath.mid(prefix.size());
        check(FileNames::cleanFieldValue(name) == name);
        check(FileNames::fixPathComponents(name) == name);
    }

    const QString text = QString::fromUtf8(bytes);
    const QString fixed = FileNames::fixPathComponents(FileNames::cleanFieldValue(text));
    check(FileNames::fixPathComponents(fixed) == fixed);
    (void)FileNames::leavesFolder(text);
    return 0;
}
