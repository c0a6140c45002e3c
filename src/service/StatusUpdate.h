#pragma once

#include <functional>
#include <memory>

class JobCollection;
class MessageSink;
class Profile;
class QObject;
class TransferHost;

// Tells the job service which jobs were received.
namespace StatusUpdate {

// The status update of every job of `jobs`, one request after the other,
// to the service of `profile`: confirmed when the answer holds "Sucessful"
// in any letter case. A job whose file was not received gets no request and
// makes the result false; an unconfirmed answer makes it false and the next
// job goes on; a failed request ends the pass with false. `done` gets true
// when every job was confirmed (also for an empty collection). `jobs` must
// live as long as `owner`; once `owner` is gone the pass stops silently.
void run(QObject &owner, JobCollection &jobs, TransferHost &host,
         std::shared_ptr<const Profile> profile, std::function<void(bool allConfirmed)> done);

// The message that closes a transfer's status update.
void report(MessageSink &messages, bool allConfirmed);

} // namespace StatusUpdate
