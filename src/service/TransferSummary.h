#pragma once

#include <QList>
#include <QString>

#include <algorithm>

// What a transfer did, job by job: the one account of it that the window,
// the command-line tool and the notices read, and from which the owner of
// the jobs marks their records.
struct TransferSummary
{
    struct Outcome
    {
        QString jobId;
        // The file is in place, on the disk (`path`).
        bool received = false;
        // The service was told so and confirmed it.
        bool confirmed = false;
        // Received by an earlier transfer and only confirmed by this one.
        bool earlier = false;
        QString path;
        // Why it was not received (empty when it was, or when it never started).
        QString reason;
    };

    // The jobs in the order they were taken up; jobs not reached after a
    // stop are not among them.
    QList<Outcome> jobs;
    // Jobs waiting when the transfer began.
    int listed = 0;
    bool stopped = false;
    // Every job of the list was received and confirmed.
    bool allConfirmed = false;

    // Jobs this transfer received (not the earlier ones), and of those the confirmed.
    int received() const
    {
        return count([](const Outcome &o) { return o.received && !o.earlier; });
    }
    int confirmed() const
    {
        return count([](const Outcome &o) { return o.received && o.confirmed && !o.earlier; });
    }
    int failed() const
    {
        return count([](const Outcome &o) { return !o.reason.isEmpty(); });
    }

private:
    template <typename Test> int count(Test test) const
    {
        return int(std::count_if(jobs.begin(), jobs.end(), test));
    }
};
