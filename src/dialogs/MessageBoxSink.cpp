#include "dialogs/MessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

MessageBoxSink::MessageBoxSink(QWidget *parent) : m_parent(parent)
{
}

void MessageBoxSink::setParent(QWidget *parent)
{
    m_parent = parent;
}

MessageAnswer MessageBoxSink::show(const Message &message)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (message.icon) {
    case MessageIcon::None:
        break;
    case MessageIcon::Information:
        icon = QMessageBox::Information;
        break;
    case MessageIcon::Exclamation:
        icon = QMessageBox::Warning;
        break;
    case MessageIcon::Critical:
        icon = QMessageBox::Critical;
        break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    if (message.buttons == MessageButtons::OkCancel)
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
    else if (message.buttons == MessageButtons::YesNo)
        buttons = QMessageBox::Yes | QMessageBox::No;

    // Without a parent of its own the box belongs to the active window.
    QWidget *parent = m_parent ? m_parent.data() : QApplication::activeWindow();
    QMessageBox box(icon, message.title, message.text, buttons, parent);
    box.setInformativeText(message.detail);
    const QMessageBox::StandardButton defaults[] = {QMessageBox::Ok, QMessageBox::Cancel,
                                                    QMessageBox::Yes, QMessageBox::No};
    if (QAbstractButton *chosen = box.button(defaults[int(message.defaultAnswer)]))
        box.setDefaultButton(qobject_cast<QPushButton *>(chosen));
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        return MessageAnswer::Ok;
    }
}
