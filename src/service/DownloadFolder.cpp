#include "service/DownloadFolder.h"

#include "naming/FileNames.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>

#include <algorithm>

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

DownloadFolder::DownloadFolder(QString path) : m_path(std::move(path))
{
    while (m_path.size() > 1 && FileNames::isSeparator(m_path.back()))
        m_path.chop(1);
}

bool DownloadFolder::CreateFolderPath(const QString &path, QList<Created> *created)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!FileNames::isSeparator(path.at(i)))
            continue;
        // Doubled separators name no new folder.
        if (i > 0 && FileNames::isSeparator(path.at(i - 1)))
            continue;
        const QString folder = path.left(i + 1);
        if (QFileInfo(folder).isDir())
            continue;
        const int error = Files::makeFolder(folder);
        if (error == 0) {
            if (created)
                created->append({nullptr, folder});
            continue;
        }
        // Another program may have made it meanwhile.
        if (!Files::isNameTaken(error) || !QFileInfo(folder).isDir())
            return false;
    }
    return true;
}

const Files::Handle *DownloadFolder::root(QList<Created> &created, QString &error)
{
    // A folder removed since (a failed job took the folder it made) is made again.
    if (m_folder.isOpen() && Files::isGone(m_folder))
        m_folder.close();
    if (m_folder.isOpen())
        return &m_folder;
    int code = 0;
    m_folder = Files::openFolder(m_path, code);
    if (!m_folder.isOpen() && !QFileInfo::exists(m_path) &&
        CreateFolderPath(m_path + QLatin1Char('/'), &created))
        m_folder = Files::openFolder(m_path, code);
    if (!m_folder.isOpen()) {
        error = QObject::tr("The folder %1 could not be created.").arg(native(m_path));
        return nullptr;
    }
    return &m_folder;
}

Files::Handle DownloadFolder::openFolder(const QString &relative, QList<Created> &created,
                                         QString &error)
{
    const Files::Handle *top = root(created, error);
    if (!top)
        return {};
    // The folders on the way down; ".." goes back up, never above the top
    // (names that climb out are refused before they come here).
    std::vector<Files::Handle> path;
    path.push_back(top->duplicate());
    QString shown = m_path;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= relative.size(); ++i) {
        if (i < relative.size() && !FileNames::isSeparator(relative.at(i)))
            continue;
        const QString component = relative.mid(start, i - start);
        start = i + 1;
        if (component.isEmpty() || component == QLatin1String("."))
            continue;
        if (component == QLatin1String("..")) {
            if (path.size() > 1)
                path.pop_back();
            continue;
        }
        shown += QLatin1Char('/') + component;
        const Files::Handle &parent = path.back();
        bool made = false;
        int code = 0;
        Files::Handle folder = Files::openSubfolder(parent, component, made, code);
        if (made)
            created.append({std::make_shared<Files::Handle>(parent.duplicate()), component});
        if (!folder.isOpen()) {
            if (Files::isLink(parent, component))
                error = QObject::tr("The folder %1 is a link, not a folder.").arg(native(shown));
            else if (code != 0 && !made)
                error = QObject::tr("The folder %1 could not be created: %2")
                            .arg(native(shown), Files::errorText(code));
            else
                error = QObject::tr("The folder %1 could not be created.").arg(native(shown));
            return {};
        }
        path.push_back(std::move(folder));
    }
    return std::move(path.back());
}

void DownloadFolder::remove(QList<Created> &created)
{
    // Windows removes no folder that is open: the top, when made for the
    // job, is let go first and opened again for the next.
    if (std::any_of(created.cbegin(), created.cend(),
                    [](const Created &folder) { return !folder.parent; }))
        m_folder.close();
    while (!created.isEmpty()) {
        const Created folder = created.takeLast();
        Files::removeEmptyFolder(folder.parent.get(), folder.name);
    }
}

bool DownloadFolder::firstVisit(const Files::Handle &folder)
{
    const std::optional<Files::Identity> key = Files::identity(folder);
    if (!key || m_visited.contains(*key))
        return false;
    m_visited.insert(*key);
    return true;
}
