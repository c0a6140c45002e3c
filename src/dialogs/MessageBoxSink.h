#pragma once

#include "platform/MessageSink.h"

#include <QPointer>

class QWidget;

// Shows messages as modal message boxes over the given parent window.
class MessageBoxSink : public MessageSink
{
public:
    explicit MessageBoxSink(QWidget *parent = nullptr);
    void setParent(QWidget *parent);

protected:
    MessageAnswer show(const Message &message) override;

private:
    QPointer<QWidget> m_parent;
};
