#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>

// A transfer's download folder and the folders below it. The folder itself
// is taken as the typist named it (it may be a link) and opened once; below
// it, each folder is opened relative to its parent without following links,
// so that a link planted where a sub-folder should be never leads a job's
// file outside.
class DownloadFolder
{
public:
    // A folder made for a job, removed again when the job fails while it is
    // still empty: its name in the folder `parent` (AT_FDCWD for an absolute
    // name), whose descriptor it owns.
    struct Created
    {
        int parent;
        QByteArray name;
    };

    explicit DownloadFolder(QString path);
    ~DownloadFolder();
    DownloadFolder(const DownloadFolder &) = delete;
    DownloadFolder &operator=(const DownloadFolder &) = delete;

    const QString &path() const { return m_path; }

    // Opens the folder `relative` (below this one; both separators count),
    // creating what is missing, and returns its descriptor for the caller to
    // close; -1 with `error` set when a folder cannot be made or a link
    // stands where a folder should be. The folders made are added to
    // `created`, outermost first.
    int openFolder(const QString &relative, QList<Created> &created, QString &error);

    // Removes the folders of `created` that are still empty, innermost first.
    static void remove(QList<Created> &created);

    // True the first time it is asked for the folder of `fd` in a transfer.
    bool firstVisit(int fd);

    // Creates the folders of a file's path that do not exist yet, from the
    // root down, one by one; both separators count. The last component, the
    // file name, is not created. False when a folder could not be created.
    static bool CreateFolderPath(const QString &path, QList<Created> *created = nullptr);

private:
    int root(QList<Created> &created, QString &error);

    QString m_path;
    int m_fd = -1;
    QSet<QPair<quint64, quint64>> m_visited;
};
