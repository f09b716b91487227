#include "notice.h"

#include <QGuiApplication>

QMessageBox *showNotice(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                        const QString &objectName)
{
    auto *box = new QMessageBox(icon, QGuiApplication::applicationDisplayName(), text,
                                QMessageBox::Ok, parent);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}
