#include "platform/MessageSink.h"

MessageSink::~MessageSink() = default;

QString MessageSink::applicationTitle()
{
    return QStringLiteral("Quillet Internet Transfer Tool");
}

MessageAnswer MessageSink::post(Message message)
{
    if (message.title.isEmpty())
        message.title = applicationTitle();
    return show(message);
}

MessageAnswer MessageSink::post(const QString &text, const QString &title, MessageIcon icon)
{
    return post(Message{text, title, icon, MessageButtons::Ok});
}
