#include "service/JobCollection.h"

bool JobCollection::Add(const Job &job, const QString &key)
{
    return Add(Job(job), key);
}

bool JobCollection::Add(Job &&job, const QString &key)
{
    const QString folded = JobCollection::folded(key);
    if (m_index.contains(folded))
        return false;
    m_index.insert(folded, Count());
    m_jobs.push_back(std::make_unique<Job>(std::move(job)));
    return true;
}

Job *JobCollection::Item(qsizetype position)
{
    return const_cast<Job *>(std::as_const(*this).Item(position));
}

const Job *JobCollection::Item(qsizetype position) const
{
    if (position < 1 || position > Count())
        return nullptr;
    return m_jobs[size_t(position - 1)].get();
}

Job *JobCollection::Item(const QString &key)
{
    return const_cast<Job *>(std::as_const(*this).Item(key));
}

const Job *JobCollection::Item(const QString &key) const
{
    const auto it = m_index.constFind(folded(key));
    return it == m_index.constEnd() ? nullptr : m_jobs[size_t(*it)].get();
}
