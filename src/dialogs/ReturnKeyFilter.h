#pragma once

#include <QEvent>
#include <QKeyEvent>
#include <QObject>

#include <functional>

// Gives Enter in the widget it watches to `action`, so that it does not
// reach the dialog's default button.
class ReturnKeyFilter : public QObject
{
public:
    ReturnKeyFilter(std::function<void()> action, QObject *parent)
        : QObject(parent), m_action(std::move(action))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                m_action();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_action;
};
