#include "csvsavedialog.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

QFileDialog *CsvSaveDialog::create(QWidget *parent, const QString &title, const QString &objectName,
                                   const QString &lastFolder, const QString &fileName)
{
    auto *dialog = new QFileDialog(parent, title);
    dialog->setObjectName(objectName);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilters(
        {QFileDialog::tr("CSV files (*.csv)"), QFileDialog::tr("All files (*)")});
    dialog->setDefaultSuffix(u"csv"_qs);
    QString folder = lastFolder;
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QDir(folder).exists())
        folder = QDir::homePath();
    dialog->setDirectory(folder);
    dialog->selectFile(fileName);
    return dialog;
}

QString CsvSaveDialog::timeStamp()
{
    return QDateTime::currentDateTime().toString(u"yyyy-MM-dd-hhmm"_qs);
}
