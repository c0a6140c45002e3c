#pragma once

#include <QAbstractTableModel>
#include <QLocale>
#include <QString>

#include <array>
#include <functional>
#include <vector>

class Job;
class JobCollection;

// The rows of the main window's job list: thirteen columns, addressed by
// sub-item number (sub-item n is column n + 1; column 1 is the main text,
// always empty, whose icon shows the priority).
class JobListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int ColumnCount = 13;
    static constexpr int SubItemCount = ColumnCount - 1;

    // Sub-item numbers the transfer works with.
    enum SubItem
    {
        SubItemJobId = 1,
        SubItemProgress = 2,
        SubItemSourceUrl = 11,
        SubItemDestination = 12
    };

    enum Role
    {
        // The row's priority (int), on column 1.
        PriorityRole = Qt::UserRole + 1
    };

    struct Row
    {
        std::array<QString, SubItemCount> subItems;
        int priority = 0;
    };

    explicit JobListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The layout of column `column` (0-based).
    static QString headerText(int column);
    static QString columnKey(int column);
    static int widthTwips(int column);
    static Qt::Alignment alignment(int column);

    // Sub-item `subItem` (1..12) of row `row` (0-based); empty outside the list.
    QString subItemText(int row, int subItem) const;
    void setSubItemText(int row, int subItem, const QString &text);
    int priority(int row) const;

    // Replaces every row at once (one reset, however many rows).
    void setRows(std::vector<Row> rows);
    void insertRow(int row, Row content);
    void removeRow(int row);

    // A job's row: the job id, "0%", the job's texts, the open time in the
    // locale's general date form, the length, the source URL and the
    // destination as it will be written.
    static Row rowOf(const Job &job, const QLocale &locale = QLocale());
    void clear();

    // The decoration of column 1 for a priority. The widgets supply the
    // images; without a provider there is none.
    void setDecorationProvider(std::function<QVariant(int priority)> provider);

private:
    std::vector<Row> m_rows;
    std::function<QVariant(int)> m_decoration;
};

// Replaces the list's rows with one row per job, in collection order.
void PopulateJobList(JobListModel &list, const JobCollection &jobs,
                     const QLocale &locale = QLocale());

class JobTransfer;

// Keeps a job list in step with a transfer, the way a view model watches its
// session: the row of the job in transfer shows its share, a received job's
// row goes, a failed job's row reads "Failed" and moves up to the rows that
// failed before it (a job that fails after it was received comes back so),
// and a stopped job's row reads "Stopped". Rows are found by job id.
class JobListFollower : public QObject
{
    Q_OBJECT

public:
    JobListFollower(JobListModel &list, const JobCollection &jobs, const JobTransfer &transfer);

private:
    // The row of `jobId`, -1 when it is not in the list.
    int rowOf(const QString &jobId) const;
    void ended(const QString &jobId, bool received);

    JobListModel &m_list;
    const JobCollection &m_jobs;
    // The rows at the top that failed in this transfer.
    int m_failed = 0;
};
