#pragma once

#include "naming/Job.h"

#include <QHash>

#include <memory>
#include <vector>

// The jobs of one index reading: unique keys compared without regard to
// letter case, insertion order kept, addressed by position from 1 or by key.
class JobCollection
{
public:
    // False, and nothing added, when the key is already present.
    bool Add(const Job &job, const QString &key);
    bool Add(Job &&job, const QString &key);

    qsizetype Count() const { return qsizetype(m_jobs.size()); }

    // Position 1 ... Count(); nullptr outside that range.
    Job *Item(qsizetype position);
    const Job *Item(qsizetype position) const;

    // nullptr when no job has the key.
    Job *Item(const QString &key);
    const Job *Item(const QString &key) const;

private:
    static QString folded(const QString &key) { return key.toCaseFolded(); }

    // Stable addresses: records stay where they are as the collection grows.
    std::vector<std::unique_ptr<Job>> m_jobs;
    QHash<QString, qsizetype> m_index;
};
