#include "tablesaveflow.h"

#include "host/notice.h"
#include "reception/datagramreceiver.h"
#include "reception/readingstable.h"
#include "tablefile/tablesaver.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QLocale>
#include <QStandardPaths>

#include <utility>

TableSaveFlow::TableSaveFlow(ReadingsTable &table, DatagramReceiver &receiver, Rows rows,
                             QWidget *window)
    : QObject(window)
    , m_table(table)
    , m_receiver(receiver)
    , m_rows(std::move(rows))
    , m_window(window)
{
}

TableSaveFlow::~TableSaveFlow()
{
    delete m_saver.data();
}

void TableSaveFlow::saveAs()
{
    if (m_saver)
        return;
    auto *dialog = new QFileDialog(m_window, tr("Save Table As"));
    dialog->setObjectName(u"saveTableDialog"_qs);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilters({tr("CSV files (*.csv)"), tr("All files (*)")});
    dialog->setDefaultSuffix(u"csv"_qs);
    QString folder = m_folder;
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QDir(folder).exists())
        folder = QDir::homePath();
    dialog->setDirectory(folder);
    dialog->selectFile(
        u"senvo-net-%1.csv"_qs.arg(QDateTime::currentDateTime().toString(u"yyyy-MM-dd-hhmm"_qs)));
    connect(dialog, &QFileDialog::fileSelected, this, &TableSaveFlow::save);
    connect(dialog, &QDialog::finished, this, &TableSaveFlow::dialogClosed);
    // Readings keep arriving while the dialog is open.
    dialog->open();
}

bool TableSaveFlow::save(const QString &path)
{
    if (m_saver)
        return false;
    m_folder = QFileInfo(path).absolutePath();
    // Everything received so far is shown, and so saved.
    m_receiver.publish();
    auto *saver = new TableSaver(
        &m_table, m_rows(), [table = &m_table](int row) { return table->lastHeard(row); }, path,
        this);
    if (!saver->start()) {
        showNotice(m_window, QMessageBox::Warning,
                   tr("The table could not be saved to %1:\n%2")
                       .arg(QDir::toNativeSeparators(path), saver->errorString()),
                   u"tableNotSaved"_qs);
        delete saver;
        return false;
    }
    m_saver = saver;
    connect(saver, &TableSaver::progressed, this, &TableSaveFlow::savingChanged);
    connect(saver, &TableSaver::finished, this, &TableSaveFlow::saved);
    Q_EMIT savingChanged();
    return true;
}

bool TableSaveFlow::isSaving() const
{
    return m_saver;
}

int TableSaveFlow::percentWritten() const
{
    if (!m_saver)
        return 0;
    const int rows = std::max(m_saver->rowCount(), 1);
    return int(100 * qint64(m_saver->rowsWritten()) / rows);
}

void TableSaveFlow::saved(bool saved)
{
    TableSaver *const saver = m_saver;
    m_saver = nullptr;
    saver->deleteLater();
    const QString path = QDir::toNativeSeparators(saver->path());
    if (saved) {
        const int hosts = saver->rowCount();
        showNotice(
            m_window, QMessageBox::Information,
            hosts == 1
                ? tr("The table was saved: one host, in %1.").arg(path)
                : tr("The table was saved: %1 hosts, in %2.").arg(QLocale().toString(hosts), path),
            u"tableSaved"_qs);
    } else {
        showNotice(m_window, QMessageBox::Warning,
                   tr("The table could not be saved to %1:\n%2\n\nNo file was written; an "
                      "earlier file of that name is as it was.")
                       .arg(path, saver->errorString()),
                   u"tableNotSaved"_qs);
    }
    Q_EMIT savingChanged();
    Q_EMIT finished(saved);
}
