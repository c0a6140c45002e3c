#pragma once

#include <QString>

// The kind of a message, shown as its icon.
enum class MessageIcon
{
    None,
    Information,
    Exclamation,
    Critical
};

enum class MessageButtons
{
    Ok,
    OkCancel,
    YesNo
};

enum class MessageAnswer
{
    Ok,
    Cancel,
    Yes,
    No
};

struct Message
{
    QString text;
    QString title;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    // Shown under the text: the details of what happened (a file and the
    // reason, what a service answered). The command-line tool prints the
    // text alone.
    QString detail = QString();
    // The answer that Enter gives; Cancel or No make a careful question.
    MessageAnswer defaultAnswer = MessageAnswer::Ok;
};

// Every message box of the program goes through a sink: the GUI shows a modal
// box, the command-line tool prints "Title: text", tests record the message.
class MessageSink
{
public:
    virtual ~MessageSink();

    // The application title, used when a message has no title of its own.
    static QString applicationTitle();

    // Shows the message and returns the user's answer. An empty title is
    // replaced by the application title before the message reaches show();
    // title and text are scrubbed of secrets and control characters first.
    MessageAnswer post(Message message);

    // Convenience for the common single-button message.
    MessageAnswer post(const QString &text, const QString &title, MessageIcon icon);

protected:
    virtual MessageAnswer show(const Message &message) = 0;
};
