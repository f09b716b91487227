#pragma once

#include <QAction>
#include <QMenu>

// An item of menu, named for tests and scripts, that calls slot on receiver.
template<class Receiver, class Slot>
QAction *addMenuAction(QMenu *menu, const QString &text, const QString &name, Receiver *receiver,
                       Slot slot)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(name);
    QObject::connect(action, &QAction::triggered, receiver, slot);
    return action;
}
