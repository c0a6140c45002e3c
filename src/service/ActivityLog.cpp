#include "service/ActivityLog.h"

#include "naming/FileNames.h"
#include "platform/Conversions.h"
#include "platform/Secrets.h"
#include "service/DownloadTools.h"

ActivityLog::ActivityLog(DownloadTools &tools, QObject *parent) : QAbstractTableModel(parent)
{
    connect(&tools, &DownloadTools::jobEnded, this,
            [this, &tools](const QString &jobId, bool received, const QString &detail) {
                Entry entry{
                    QDateTime::currentDateTime(), jobId, QString(), QString(), received, detail};
                if (const Job *job = tools.gColDownloads.Item(jobId)) {
                    entry.name = job->gStrName;
                    entry.reference = job->gStrReference;
                }
                add(std::move(entry));
            });
}

ActivityLog::~ActivityLog() = default;

void ActivityLog::add(Entry entry)
{
    beginInsertRows(QModelIndex(), 0, 0);
    m_entries.push_back(std::move(entry));
    endInsertRows();
}

const ActivityLog::Entry *ActivityLog::entry(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return &m_entries[m_entries.size() - 1 - size_t(row)];
}

int ActivityLog::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int ActivityLog::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ActivityLog::data(const QModelIndex &index, int role) const
{
    const Entry *shown = index.isValid() ? entry(index.row()) : nullptr;
    if (!shown || role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case TimeColumn:
        return Conversions::generalDateText(shown->time);
    case NameColumn:
        return Secrets::shown(shown->name.isEmpty() ? shown->jobId : shown->name);
    case ReferenceColumn:
        return Secrets::shown(shown->reference);
    case ResultColumn:
        return shown->received ? tr("Received") : tr("Failed");
    case DetailColumn:
        return Secrets::shown(shown->received ? FileNames::nativeSeparators(shown->detail)
                                              : shown->detail);
    default:
        return QVariant();
    }
}

QVariant ActivityLog::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case TimeColumn:
        return tr("Time");
    case NameColumn:
        return tr("Job Name");
    case ReferenceColumn:
        return tr("Reference");
    case ResultColumn:
        return tr("Result");
    case DetailColumn:
        return tr("File or Reason");
    default:
        return QVariant();
    }
}
