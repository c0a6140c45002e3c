#include "service/JobListModel.h"

#include "naming/FileNames.h"
#include "platform/Conversions.h"
#include "platform/Secrets.h"
#include "service/JobCollection.h"
#include "service/JobTransfer.h"

namespace {

struct Column
{
    const char *header;
    const char *key;
    int widthTwips;
    bool centred;
};

constexpr std::array<Column, JobListModel::ColumnCount> columns = {{
    {"", "", 321, false},
    {"", "", 0, false},
    {"", "", 700, true},
    {"Job Name", "Job_Name", 1440, false},
    {"Reference", "JOB_REFERENCE", 1440, false},
    {"Open Time", "JOB_OPEN_TIME", 1440, false},
    {"Template", "JOB_TEMPLATE", 1440, false},
    {"Length", "JOB_LENGTH", 1000, true},
    {"Demo1", "DEMO1", 1440, false},
    {"Demo2", "DEMO2", 1440, false},
    {"Demo3", "DEMO3", 1440, false},
    {"Source URL", "URL", 1440, false},
    {"Destination File", "DESTINATION_FILE", 1440, false},
}};

bool validColumn(int column)
{
    return column >= 0 && column < JobListModel::ColumnCount;
}

} // namespace

JobListModel::JobListModel(QObject *parent) : QAbstractTableModel(parent)
{
}

int JobListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int JobListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant JobListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || !validColumn(index.column()))
        return QVariant();
    const Row &row = m_rows[size_t(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        // The service's texts, shown as one line without secrets.
        return column == 0 ? QString() : Secrets::shown(row.subItems[size_t(column - 1)]);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(alignment(column));
    case Qt::DecorationRole:
        if (column == 0 && m_decoration)
            return m_decoration(row.priority);
        return QVariant();
    case PriorityRole:
        return column == 0 ? QVariant(row.priority) : QVariant();
    default:
        return QVariant();
    }
}

QVariant JobListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || !validColumn(section))
        return QVariant();
    if (role == Qt::DisplayRole)
        return headerText(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(alignment(section));
    return QVariant();
}

QString JobListModel::headerText(int column)
{
    return validColumn(column) ? QString::fromLatin1(columns[size_t(column)].header) : QString();
}

QString JobListModel::columnKey(int column)
{
    return validColumn(column) ? QString::fromLatin1(columns[size_t(column)].key) : QString();
}

int JobListModel::widthTwips(int column)
{
    return validColumn(column) ? columns[size_t(column)].widthTwips : 0;
}

Qt::Alignment JobListModel::alignment(int column)
{
    const bool centred = validColumn(column) && columns[size_t(column)].centred;
    return (centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter;
}

QString JobListModel::subItemText(int row, int subItem) const
{
    if (row < 0 || row >= rowCount() || subItem < 1 || subItem > SubItemCount)
        return QString();
    return m_rows[size_t(row)].subItems[size_t(subItem - 1)];
}

void JobListModel::setSubItemText(int row, int subItem, const QString &text)
{
    if (row < 0 || row >= rowCount() || subItem < 1 || subItem > SubItemCount)
        return;
    QString &cell = m_rows[size_t(row)].subItems[size_t(subItem - 1)];
    if (cell == text)
        return;
    cell = text;
    const QModelIndex changed = index(row, subItem);
    Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole});
}

int JobListModel::priority(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[size_t(row)].priority : 0;
}

void JobListModel::setRows(std::vector<Row> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void JobListModel::insertRow(int row, Row content)
{
    row = std::clamp(row, 0, rowCount());
    beginInsertRows(QModelIndex(), row, row);
    m_rows.insert(m_rows.begin() + row, std::move(content));
    endInsertRows();
}

void JobListModel::removeRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void JobListModel::clear()
{
    setRows({});
}

void JobListModel::setDecorationProvider(std::function<QVariant(int)> provider)
{
    m_decoration = std::move(provider);
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

void PopulateJobList(JobListModel &list, const JobCollection &jobs, const QLocale &locale)
{
    std::vector<JobListModel::Row> rows;
    rows.reserve(size_t(jobs.Count()));
    for (qsizetype i = 1; i <= jobs.Count(); ++i)
        rows.push_back(JobListModel::rowOf(*jobs.Item(i), locale));
    list.setRows(std::move(rows));
}

JobListModel::Row JobListModel::rowOf(const Job &job, const QLocale &locale)
{
    Row row;
    row.subItems = {job.gLngID,
                    QStringLiteral("0%"),
                    job.gStrName,
                    job.gStrReference,
                    Conversions::generalDateText(job.gDateOpen, locale),
                    job.gStrTemplate,
                    Conversions::numberText(job.gDblLength, locale),
                    job.gStrDemographic1,
                    job.gStrDemographic2,
                    job.gStrDemographic3,
                    job.gStrSourceURL,
                    FileNames::nativeSeparators(job.gStrDestinationPath)};
    row.priority = job.gBytePriority;
    return row;
}

JobListFollower::JobListFollower(JobListModel &list, const JobCollection &jobs,
                                 const JobTransfer &transfer)
    : m_list(list), m_jobs(jobs)
{
    connect(&transfer, &JobTransfer::jobPercent, this, [this](const QString &jobId, int percent) {
        m_list.setSubItemText(rowOf(jobId), JobListModel::SubItemProgress,
                              QString::number(percent) + QLatin1Char('%'));
    });
    connect(
        &transfer, &JobTransfer::jobEnded, this,
        [this](const QString &jobId, bool received, const QString &) { ended(jobId, received); });
    connect(&transfer, &JobTransfer::jobStopped, this, [this](const QString &jobId) {
        m_list.setSubItemText(rowOf(jobId), JobListModel::SubItemProgress,
                              QStringLiteral("Stopped"));
    });
}

int JobListFollower::rowOf(const QString &jobId) const
{
    // Jobs are taken up in the list's order: the job in transfer is usually
    // the first row after the failed ones.
    if (m_list.subItemText(m_failed, JobListModel::SubItemJobId) == jobId)
        return m_failed;
    for (int row = 0; row < m_list.rowCount(); ++row)
        if (m_list.subItemText(row, JobListModel::SubItemJobId) == jobId)
            return row;
    return -1;
}

void JobListFollower::ended(const QString &jobId, bool received)
{
    const int row = rowOf(jobId);
    if (received) {
        if (row >= 0)
            m_list.removeRow(row);
        return;
    }
    if (row == m_failed) {
        m_list.setSubItemText(m_failed++, JobListModel::SubItemProgress, QStringLiteral("Failed"));
        return;
    }
    JobListModel::Row content;
    if (row >= 0) {
        for (int i = 0; i < JobListModel::SubItemCount; ++i)
            content.subItems[i] = m_list.subItemText(row, i + 1);
        content.priority = m_list.priority(row);
        m_list.removeRow(row);
    } else if (const Job *job = m_jobs.Item(jobId)) {
        content = JobListModel::rowOf(*job);
    } else {
        return;
    }
    content.subItems[JobListModel::SubItemProgress - 1] = QStringLiteral("Failed");
    m_list.insertRow(std::min(m_failed++, m_list.rowCount()), std::move(content));
}
