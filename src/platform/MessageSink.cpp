#include "platform/MessageSink.h"

#include "platform/Secrets.h"

MessageSink::~MessageSink() = default;

QString MessageSink::applicationTitle()
{
    return QStringLiteral("Quillet Internet Transfer Tool");
}

MessageAnswer MessageSink::post(Message message)
{
    if (message.title.isEmpty())
        message.title = applicationTitle();
    // Texts may carry what a service echoed or a library's error text.
    message.title = Secrets::shown(message.title);
    message.text = Secrets::cleanText(Secrets::scrub(message.text));
    return show(message);
}

MessageAnswer MessageSink::post(const QString &text, const QString &title, MessageIcon icon)
{
    return post(Message{text, title, icon, MessageButtons::Ok});
}
