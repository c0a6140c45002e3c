#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct Job;

// A profile's download rules, recognised once, and the file names they give:
// the rules' parts one after the other, then the extension of the job's
// source URL.
class FileNameRules
{
public:
    // Each rule is recognised after upper-casing, without trimming; a rule
    // that names no field is a literal text.
    explicit FileNameRules(const QStringList &rules);

    // The job's file name, without folder; none when the source URL holds
    // no ".". Field values are made safe on their own, and the whole name's
    // components once more at the end.
    std::optional<QString> fileName(const Job &job) const;

    // From the last "." of the URL path's last segment to its end; empty
    // when that segment has none, nothing when the whole URL has none.
    static std::optional<QString> extension(const QString &url);

private:
    struct Rule
    {
        enum Kind
        {
            JobName,
            Reference,
            Demographic1,
            Demographic2,
            Demographic3,
            FirstLast,
            LastFirst,
            OpenDate,
            Literal
        };
        Kind kind;
        // The date pattern, or the literal text as stored.
        QString text;
    };

    std::vector<Rule> m_rules;
};
