#include "tablesaveflow.h"

#include "csvsavedialog.h"

#include "engine/reception/datagramreceiver.h"
#include "engine/reception/readingstable.h"
#include "engine/tablefile/csvtable.h"
#include "engine/tablefile/tablesaver.h"
#include "gui/common/notice.h"

#include <QDir>
#include <QFileDialog>
#include <QLocale>

#include <utility>

TableSaveFlow::TableSaveFlow(ReadingsTable &table, DatagramReceiver &receiver, Rows rows,
                             QWidget *window)
    : TableSaveFlow(
        table, receiver, Subject::Table,
        [&table, rows = std::move(rows)] {
            return std::make_unique<CsvTable>(table, rows(),
                                              [&table](int row) { return table.lastHeard(row); });
        },
        window)
{
}

TableSaveFlow::TableSaveFlow(ReadingsTable &table, DatagramReceiver &receiver, Subject subject,
                             Lines lines, QWidget *window)
    : QObject(window)
    , m_table(table)
    , m_receiver(receiver)
    , m_subject(subject)
    , m_lines(std::move(lines))
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
    const bool overview = m_subject == Subject::Overview;
    QFileDialog *const dialog =
        CsvSaveDialog::create(m_window, overview ? tr("Save Overview As") : tr("Save Table As"),
                              overview ? u"saveOverviewDialog"_qs : u"saveTableDialog"_qs, m_folder,
                              (overview ? u"senvo-net-overview-%1.csv"_qs : u"senvo-net-%1.csv"_qs)
                                  .arg(CsvSaveDialog::timeStamp()));
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
    auto *saver = new TableSaver(&m_table, m_lines(), path, this);
    if (!saver->start()) {
        showNotice(m_window, QMessageBox::Warning,
                   notSavedText(path) + u":\n"_qs + saver->errorString(), notSavedName());
        delete saver;
        return false;
    }
    m_saver = saver;
    connect(saver, &TableSaver::progressed, this, &TableSaveFlow::savingChanged);
    connect(saver, &TableSaver::finished, this, &TableSaveFlow::saved);
    Q_EMIT savingChanged();
    return true;
}

QString TableSaveFlow::notSavedText(const QString &path) const
{
    const QString shown = QDir::toNativeSeparators(path);
    return m_subject == Subject::Overview ? tr("The overview could not be saved to %1").arg(shown)
                                          : tr("The table could not be saved to %1").arg(shown);
}

QString TableSaveFlow::notSavedName() const
{
    return m_subject == Subject::Overview ? u"overviewNotSaved"_qs : u"tableNotSaved"_qs;
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
        // Nothing to dismiss: the file is there, and the user is told in passing.
        Q_EMIT told(hosts == 1 ? tr("Saved 1 host to %1").arg(path)
                               : tr("Saved %1 hosts to %2").arg(QLocale().toString(hosts), path));
    } else {
        showNotice(m_window, QMessageBox::Warning,
                   notSavedText(saver->path()) + u":\n"_qs + saver->errorString()
                       + tr("\n\nNo file was written; an earlier file of that name is as it was."),
                   notSavedName());
    }
    Q_EMIT savingChanged();
    Q_EMIT finished(saved);
}
