#pragma once

#include <QString>

class QFileDialog;
class QWidget;

// The file dialog every CSV save opens: modeless, deleted when closed, in the folder saved to
// last (or the documents folder), offering fileName.
namespace CsvSaveDialog {

QFileDialog *create(QWidget *parent, const QString &title, const QString &objectName,
                    const QString &lastFolder, const QString &fileName);
// The time as the offered file names carry it: "2026-12-08-1930".
QString timeStamp();

} // namespace CsvSaveDialog
