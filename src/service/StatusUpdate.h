#pragma once

#include "platform/Inet.h"

#include <QStringList>

#include <functional>
#include <memory>

class MessageSink;
class Profile;
class QObject;
class TransferHost;

// Tells the job service which jobs were received.
namespace StatusUpdate {

// Whether a status request's answer confirms its job: a 2xx answer of the
// status page asked for (not of a page a redirect led to) that holds
// "Sucessful" in any letter case, not as the end of "Unsucessful".
bool isConfirmation(const Inet::Result &result, const QString &requestedPath,
                    const QByteArray &body);

// The status update of the jobs `keys`, one request after the other, to the
// service of `profile`: `confirmed` gets each key whose answer
// isConfirmation(). An unconfirmed answer makes the result false and the
// next job goes on; a failed request ends the pass with false. `done` gets
// true when every job was confirmed (also for no keys). Once `owner` is gone
// the pass stops silently.
void run(QObject &owner, QStringList keys, TransferHost &host,
         std::shared_ptr<const Profile> profile, std::function<void(const QString &key)> confirmed,
         std::function<void(bool allConfirmed)> done);

// The message that closes a transfer's status update.
void report(MessageSink &messages, bool allConfirmed);

} // namespace StatusUpdate
