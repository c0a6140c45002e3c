#pragma once

#include "platform/Files.h"

#include <QList>
#include <QPair>
#include <QSet>
#include <QString>

#include <memory>

// A transfer's download folder and the folders below it. The folder itself
// is taken as the typist named it (it may be a link) and opened once; below
// it, each folder is opened relative to its parent without following links,
// so that a link planted where a sub-folder should be never leads a job's
// file outside.
class DownloadFolder
{
public:
    // A folder made for a job, removed again when the job fails while it is
    // still empty: its name in the folder `parent` (none for an absolute
    // name).
    struct Created
    {
        std::shared_ptr<Files::Handle> parent;
        QString name;
    };

    explicit DownloadFolder(QString path);
    DownloadFolder(const DownloadFolder &) = delete;
    DownloadFolder &operator=(const DownloadFolder &) = delete;

    const QString &path() const { return m_path; }

    // Opens the folder `relative` (below this one; both separators count),
    // creating what is missing, and returns it; nothing open, with `error`
    // set, when a folder cannot be made or a link stands where a folder
    // should be. The folders made are added to `created`, outermost first.
    Files::Handle openFolder(const QString &relative, QList<Created> &created, QString &error);

    // Removes the folders of `created` that are still empty, innermost first.
    void remove(QList<Created> &created);

    // True the first time it is asked for `folder` in a transfer.
    bool firstVisit(const Files::Handle &folder);

    // Creates the folders of a file's path that do not exist yet, from the
    // root down, one by one; both separators count. The last component, the
    // file name, is not created. False when a folder could not be created.
    static bool CreateFolderPath(const QString &path, QList<Created> *created = nullptr);

private:
    const Files::Handle *root(QList<Created> &created, QString &error);

    QString m_path;
    Files::Handle m_folder;
    QSet<Files::Identity> m_visited;
};
