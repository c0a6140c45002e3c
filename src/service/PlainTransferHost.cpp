#include "service/PlainTransferHost.h"

#include "platform/Secrets.h"

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
    m_status = Secrets::shown(text);
    statusHistory << m_status;
    if (onStatus)
        onStatus(m_status);
}
