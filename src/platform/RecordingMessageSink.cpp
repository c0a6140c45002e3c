#include "platform/RecordingMessageSink.h"

QStringList RecordingMessageSink::texts() const
{
    QStringList out;
    for (const Message &message : messages)
        out << message.text;
    return out;
}

MessageAnswer RecordingMessageSink::show(const Message &message)
{
    messages.append(message);
    if (onMessage)
        onMessage(message);
    return answer;
}
