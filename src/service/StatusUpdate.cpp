#include "service/StatusUpdate.h"

#include "platform/Inet.h"
#include "platform/MessageSink.h"
#include "platform/SystemTexts.h"
#include "service/ServiceUrls.h"
#include "service/TransferHost.h"

#include <QPointer>
#include <QRegularExpression>

namespace StatusUpdate {

bool isConfirmation(const Inet::Result &result, const QString &requestedPath,
                    const QByteArray &body)
{
    // An error page, or a page a redirect led to (a login page), may hold the
    // word too; services may wrap it in markup, so it may stand anywhere.
    static const QRegularExpression word(QStringLiteral("(?<!un)") +
                                             QLatin1String(SystemTexts::sucessful),
                                         QRegularExpression::CaseInsensitiveOption);
    return result.ok() && result.finalPath == requestedPath &&
           word.match(QString::fromUtf8(body)).hasMatch();
}

void run(QObject &owner, QStringList keys, TransferHost &host,
         std::shared_ptr<const Profile> profile, std::function<void(const QString &)> confirmed,
         std::function<void(bool)> done)
{
    // One request after the other; the pass state lives with the callbacks.
    struct Pass
    {
        QPointer<QObject> owner;
        QStringList keys;
        std::shared_ptr<const Profile> profile;
        TransferHost *host;
        std::function<void(const QString &)> confirmed;
        std::function<void(bool)> done;
        qsizetype position = 0;
        bool error = false;
        std::function<void(const std::shared_ptr<Pass> &)> next;
    };
    auto pass = std::make_shared<Pass>();
    pass->owner = &owner;
    pass->keys = std::move(keys);
    pass->profile = std::move(profile);
    pass->host = &host;
    pass->confirmed = std::move(confirmed);
    pass->done = std::move(done);
    pass->next = [](const std::shared_ptr<Pass> &state) {
        if (!state->owner)
            return;
        const auto finish = [&state](bool allConfirmed) {
            auto done = std::move(state->done);
            if (done)
                done(allConfirmed);
        };
        if (state->position >= state->keys.size()) {
            finish(!state->error);
            return;
        }
        const QString key = state->keys.at(state->position++);
        const QUrl url = ServiceUrls::toUrl(ServiceUrls::statusUrlText(*state->profile, key));
        const bool started = state->host->inet().OpenURL(
            url,
            [state, key, path = url.path()](const Inet::Result &result, const QByteArray &body) {
                if (!state->owner)
                    return;
                if (!result.ok() && result.failure != Inet::Failure::HttpStatus) {
                    // A request that fails ends the pass.
                    auto done = std::move(state->done);
                    if (done)
                        done(false);
                    return;
                }
                if (isConfirmation(result, path, body))
                    state->confirmed(key);
                else
                    state->error = true;
                state->next(state);
            });
        if (!started)
            finish(false);
    };
    pass->next(pass);
}

void report(MessageSink &messages, bool allConfirmed)
{
    if (allConfirmed)
        messages.post(QStringLiteral("All jobs have been updated on server!"), QString(),
                      MessageIcon::None);
    else
        messages.post(QStringLiteral("Error Updating the status of some or all jobs!"), QString(),
                      MessageIcon::Critical);
}

} // namespace StatusUpdate
