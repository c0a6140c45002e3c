#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>

#include <vector>

class DownloadTools;

// The jobs received or failed in this run of the program, newest first: the
// time, the job's name and reference as the job list had them, and the path
// written or the reason. Kept in memory only, for as long as the log lives.
class ActivityLog : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        TimeColumn,
        NameColumn,
        ReferenceColumn,
        ResultColumn,
        DetailColumn,
        ColumnCount
    };

    struct Entry
    {
        QDateTime time;
        QString jobId;
        QString name;
        QString reference;
        bool received = false;
        QString detail; // the path written, or why the job failed
    };

    // Records every job that `tools` reports ended, with the name and
    // reference of its record at that moment.
    explicit ActivityLog(DownloadTools &tools, QObject *parent = nullptr);
    ~ActivityLog() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The entry of row `row` (0 the newest); nullptr outside the log.
    const Entry *entry(int row) const;

private:
    void add(Entry entry);

    // Oldest first; row 0 is the last element.
    std::vector<Entry> m_entries;
};
