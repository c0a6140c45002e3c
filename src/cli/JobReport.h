#pragma once

#include <QHash>
#include <QList>
#include <QString>

class JobCollection;
class Profile;
class QTextStream;
struct Message;

// What quillet-transfer prints on standard output.
namespace JobReport {

// The jobs as a table, or with `json` as one JSON object with the messages
// too; after a transfer, whether each job was received and confirmed, and why
// it failed (`failures`, by job id). The table's columns are aligned to fit
// `width` characters (a terminal's), or tab-separated with `width` 0.
void printJobs(QTextStream &out, const JobCollection &jobs, const QHash<QString, QString> &failures,
               const QList<Message> &messages, bool json, bool afterTransfer, int width = 0);

// The profile as loaded, password hidden.
void printProfile(QTextStream &out, const Profile &profile);

} // namespace JobReport
