#pragma once

#include "platform/MessageSink.h"

#include <QList>

#include <functional>

// Keeps every message it is given; answers with a preset answer (Ok, or the
// first button). Used by tests, and by the command-line tool to list messages.
class RecordingMessageSink : public MessageSink
{
public:
    QList<Message> messages;

    // Called for every message after it is recorded, if set.
    std::function<void(const Message &)> onMessage;

    // The answer to give; Ok when unset.
    MessageAnswer answer = MessageAnswer::Ok;

    QStringList texts() const;
    void clear() { messages.clear(); }

protected:
    MessageAnswer show(const Message &message) override;
};
