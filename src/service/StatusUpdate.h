#pragma once

#include "platform/Inet.h"

#include <functional>
#include <memory>

class JobCollection;
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

// The status update of every job of `jobs`, one request after the other,
// to the service of `profile`: confirmed as isConfirmation() says. A job whose file was not
// received gets no request and makes the result false; an unconfirmed answer makes it false and the
// next job goes on; a failed request ends the pass with false. `done` gets true when every job was
// confirmed (also for an empty collection). `jobs` must live as long as `owner`; once `owner` is
// gone the pass stops silently.
void run(QObject &owner, JobCollection &jobs, TransferHost &host,
         std::shared_ptr<const Profile> profile, std::function<void(bool allConfirmed)> done);

// The message that closes a transfer's status update.
void report(MessageSink &messages, bool allConfirmed);

} // namespace StatusUpdate
