#include "notice.h"

#include <QCoreApplication>

QMessageBox *showNotice(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                        const QString &objectName)
{
    auto *box =
        new QMessageBox(icon, QCoreApplication::applicationName(), text, QMessageBox::Ok, parent);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Modeless: the window behind stays usable; the box opens centred over it.
    box->setModal(false);
    box->show();
    return box;
}
