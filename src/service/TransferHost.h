#pragma once

#include <QString>

class Inet;
class JobListModel;

// What the job service client works on: the window's job list, progress bar,
// status text and transfer control. The main window implements it with its
// widgets, the command-line tool with a console, tests with plain members.
class TransferHost
{
public:
    static constexpr double ProgressMax = 100.0;

    virtual ~TransferHost();

    virtual JobListModel &jobList() = 0;
    virtual Inet &inet() = 0;

    virtual double progressValue() const = 0;
    virtual void setProgressValue(double value) = 0;

    virtual QString statusText() const = 0;
    virtual void setStatusText(const QString &text) = 0;
};
