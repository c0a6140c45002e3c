#pragma once

#include "platform/Inet.h"
#include "service/JobListModel.h"
#include "service/TransferHost.h"

#include <functional>

// A TransferHost of plain members, for the command-line tool and for tests.
class PlainTransferHost : public TransferHost
{
public:
    PlainTransferHost();
    ~PlainTransferHost() override;

    JobListModel &jobList() override { return m_jobs; }
    Inet &inet() override { return m_inet; }

    double progressValue() const override { return m_progress; }
    void setProgressValue(double value) override;

    QString statusText() const override { return m_status; }
    void setStatusText(const QString &text) override;

    // Every status text set, in order.
    QStringList statusHistory;

    // Called after each change, if set.
    std::function<void(const QString &)> onStatus;
    std::function<void(double)> onProgress;

private:
    JobListModel m_jobs;
    Inet m_inet;
    double m_progress = 0;
    QString m_status;
};
