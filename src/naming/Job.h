#pragma once

#include <QDateTime>
#include <QString>

// One job of the job index. Public fields only; a new record has every text
// empty, every number 0, no date and both flags false.
struct Job
{
    QString gLngID;
    QString gStrName;
    QString gStrReference;
    QDateTime gDateOpen;
    QString gStrDepartment;
    QString gStrDicatorFullName;
    QString gStrDictatorFirstName;
    QString gStrDictatorLastName;
    QString gStrDictatorLogin;
    bool gBlnDownloadCompleted = false;
    bool gBlnStatusUpdated = false;
    quint8 gBytePriority = 0;
    QString gStrSourceURL;
    QString gStrDestinationPath;
    double gDblLength = 0;
    QString gStrDemographic1;
    QString gStrDemographic2;
    QString gStrDemographic3;
    QString gStrTemplate;
    qint32 gLngBatchID = 0;
};
