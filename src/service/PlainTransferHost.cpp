#include "service/PlainTransferHost.h"

TransferHost::~TransferHost() = default;

PlainTransferHost::PlainTransferHost() = default;

PlainTransferHost::~PlainTransferHost() = default;

void PlainTransferHost::setProgressValue(double value)
{
    m_progress = value;
    if (onProgress)
        onProgress(value);
}

void PlainTransferHost::setStatusText(const QString &text)
{
    m_status = text;
    statusHistory << text;
    if (onStatus)
        onStatus(text);
}
