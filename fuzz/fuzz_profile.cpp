// Feeds arbitrary bytes to the profile reader as a profile file and checks
// what must hold for every input.
#include "platform/RecordingMessageSink.h"
#include "profiles/Profile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
          file.write(bytes) == bytes.size());
}

bool holdsCarriageReturn(const Profile &profile)
{
    const QStringList texts = QStringList{profile.gFirstName,
                                          profile.gLastName,
                                          profile.gDepartment,
                                          profile.gGUID,
                                          profile.gLogin,
                                          profile.gPassword,
                                          profile.gStrDownloadFolder,
                                          profile.gStrBaseURL} +
                              profile.colDownloadRules;
    for (const QString &text : texts) {
        if (text.contains(QLatin1Char('\r')))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // In memory where the system offers it: saving syncs the file.
    static QTemporaryDir folder(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                    ? QStringLiteral("/dev/shm/quillet-fuzz-XXXXXX")
                                    : QDir::tempPath() + QStringLiteral("/quillet-fuzz-XXXXXX"));
    static const QString input = folder.filePath(QStringLiteral("input.xml"));
    static const QString written = folder.filePath(QStringLiteral("written.xml"));
    static RecordingMessageSink messages;
    messages.clear();

    writeBytes(input, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const QStringList before = {QStringLiteral("kept")};
    Profile profile(messages);
    profile.colDownloadRules = before;
    const bool read = profile.LoadProfileFromXMLFile(input);

    // One message for a failed reading, none for a good one; a failure leaves
    // the rule list as it was.
    check(profile.gStrProfilePath == input);
    check(messages.texts() ==
          (read ? QStringList() : QStringList{QStringLiteral("Error Loding User Profile")}));
    if (!read) {
        check(profile.colDownloadRules == before);
        return 0;
    }
    // Only the last rule may be empty.
    for (qsizetype i = 0; i + 1 < profile.colDownloadRules.size(); ++i)
        check(!profile.colDownloadRules.at(i).isEmpty());

    // Whatever was read can be saved, and reads back the same. XML reads a
    // carriage return as a line feed, so such texts do not come back as they
    // were.
    check(profile.SaveProfileToXML(written));
    if (holdsCarriageReturn(profile))
        return 0;
    Profile again(messages);
    check(again.LoadProfileFromXMLFile(written));
    check(messages.messages.isEmpty());
    check(again.gFirstName == profile.gFirstName && again.gLastName == profile.gLastName &&
          again.gDepartment == profile.gDepartment && again.gGUID == profile.gGUID &&
          again.gLogin == profile.gLogin && again.gPassword == profile.gPassword &&
          again.gStrDownloadFolder == profile.gStrDownloadFolder &&
          again.gStrBaseURL == profile.gStrBaseURL &&
          again.gLngPollInterval == profile.gLngPollInterval &&
          again.colDownloadRules == profile.colDownloadRules);
    // The file always records Monday to Friday.
    for (quint8 day = 1; day <= 7; ++day)
        check(again.DayOfWeekChecked(day) == (day >= 2 && day <= 6));
    return 0;
}
