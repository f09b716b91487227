#include "engine/reception/datagramreceiver.h"
#include "engine/reception/readingstable.h"
#include "engine/tableview/hostfilter.h"
#include "gui/tablefile/tablesaveflow.h"
#include "testsupport.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>

// Saving as the user does it, over a window of its own: which rows go into the file (those
// a find shows, as in the main window), what the user is told, and that one save runs at a
// time.
class TestTableSaveFlow final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void savesTheHostsFound_data();
    void savesTheHostsFound();
    void oneSaveAtATime();
    void unwritableFileIsTold();
    void failedCommitIsNoSave();
    void dialogOpensInTheLastFolder();

private:
    QStringList savedHosts(const QString &path) const;

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<ReadingsTable> m_table;
    std::unique_ptr<DatagramReceiver> m_receiver;
    std::unique_ptr<HostFilter> m_filter;
    std::unique_ptr<QWidget> m_window;
    TableSaveFlow *m_flow = nullptr;
};

void TestTableSaveFlow::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_table = std::make_unique<ReadingsTable>();
    m_receiver = std::make_unique<DatagramReceiver>(m_table.get());
    m_window = std::make_unique<QWidget>();
    m_filter = std::make_unique<HostFilter>(m_table.get());
    m_flow = new TableSaveFlow(
        *m_table, *m_receiver, [this] { return m_filter->tableRows(); }, m_window.get());
    m_table->beginBatch();
    for (const QString &host : {u"a"_qs, u"b"_qs, u"c"_qs})
        m_table->fillgrid({{}, u"Jun 10"_qs, u"19:35:00"_qs, host, u" CPU"_qs, u" 1 "_qs});
    // Not yet published: the flow shows, and so saves, everything received so far.
}

void TestTableSaveFlow::cleanup()
{
    m_window.reset();
    m_filter.reset();
    m_receiver.reset();
    m_table.reset();
}

// The first field of each line after the header.
QStringList TestTableSaveFlow::savedHosts(const QString &path) const
{
    QStringList hosts;
    const QList<QByteArray> lines = readBytes(path).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!lines[i].isEmpty())
            hosts << QString::fromUtf8(lines[i].left(lines[i].indexOf(',')));
    }
    return hosts;
}

void TestTableSaveFlow::savesTheHostsFound_data()
{
    QTest::addColumn<QString>("found");
    QTest::addColumn<QStringList>("hosts");
    QTest::addColumn<QString>("told");

    QTest::newRow("every host") << QString() << QStringList{u"a"_qs, u"b"_qs, u"c"_qs}
                                << u"Saved 3 hosts to "_qs;
    QTest::newRow("one host found") << u"b"_qs << QStringList{u"b"_qs} << u"Saved 1 host to "_qs;
}

void TestTableSaveFlow::savesTheHostsFound()
{
    QFETCH(QString, found);
    QFETCH(QStringList, hosts);
    QFETCH(QString, told);

    m_filter->setText(found);
    const QString path = m_folder->filePath(u"table.csv"_qs);
    QSignalSpy finished(m_flow, &TableSaveFlow::finished);
    QSignalSpy toldSpy(m_flow, &TableSaveFlow::told);
    QVERIFY(m_flow->save(path));
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toBool(), true);
    QVERIFY(!m_flow->isSaving());
    QCOMPARE(savedHosts(path), hosts);
    // Told in passing, for the window's status line: no box to dismiss.
    QCOMPARE(toldSpy.size(), 1);
    QCOMPARE(toldSpy[0][0].toString(), told + QDir::toNativeSeparators(path));
    QVERIFY(!m_window->findChild<QMessageBox *>());
}

void TestTableSaveFlow::oneSaveAtATime()
{
    QSignalSpy changed(m_flow, &TableSaveFlow::savingChanged);
    QSignalSpy finished(m_flow, &TableSaveFlow::finished);
    QVERIFY(m_flow->save(m_folder->filePath(u"first.csv"_qs)));
    QVERIFY(m_flow->isSaving());
    QCOMPARE(changed.size(), 1);
    QVERIFY(!m_flow->save(m_folder->filePath(u"second.csv"_qs)));
    m_flow->saveAs();
    QCOMPARE(m_window->findChild<QFileDialog *>(), nullptr);
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY(changed.size() >= 2);
    QVERIFY(!QFile::exists(m_folder->filePath(u"second.csv"_qs)));
    QVERIFY(m_flow->save(m_folder->filePath(u"second.csv"_qs)));
    QTRY_COMPARE(finished.size(), 2);
}

void TestTableSaveFlow::unwritableFileIsTold()
{
    const QString path = m_folder->filePath(u"no such folder/table.csv"_qs);
    QSignalSpy finished(m_flow, &TableSaveFlow::finished);
    QVERIFY(!m_flow->save(path));
    QVERIFY(!m_flow->isSaving());
    auto *notice = m_window->findChild<QMessageBox *>(u"tableNotSaved"_qs);
    QVERIFY(notice);
    QVERIFY2(notice->text().contains(QDir::toNativeSeparators(path)), qPrintable(notice->text()));
    QTest::qWait(50);
    QCOMPARE(finished.size(), 0);
}

// The last step can fail too, after every row was written: here a folder takes the file's
// name meanwhile, as a full disk or a folder turned read-only would stop it.
void TestTableSaveFlow::failedCommitIsNoSave()
{
    const QString path = m_folder->filePath(u"table.csv"_qs);
    QSignalSpy finished(m_flow, &TableSaveFlow::finished);
    QSignalSpy toldSpy(m_flow, &TableSaveFlow::told);
    QVERIFY(m_flow->save(path));
    QVERIFY(QDir().mkpath(path + u"/taken"_qs));
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toBool(), false);
    QCOMPARE(toldSpy.size(), 0);
    QVERIFY(m_window->findChild<QMessageBox *>(u"tableNotSaved"_qs));
}

void TestTableSaveFlow::dialogOpensInTheLastFolder()
{
    QSignalSpy finished(m_flow, &TableSaveFlow::finished);
    QVERIFY(m_flow->save(m_folder->filePath(u"table.csv"_qs)));
    QTRY_COMPARE(finished.size(), 1);
    QSignalSpy closed(m_flow, &TableSaveFlow::dialogClosed);
    m_flow->saveAs();
    auto *dialog = m_window->findChild<QFileDialog *>(u"saveTableDialog"_qs);
    QVERIFY(dialog);
    QCOMPARE(QDir(dialog->directory()).canonicalPath(), QDir(m_folder->path()).canonicalPath());
    QCOMPARE(dialog->defaultSuffix(), u"csv");
    QVERIFY(dialog->selectedFiles().value(0).contains(u"senvo-net-"_qs));
    dialog->reject();
    QCOMPARE(closed.size(), 1);
    QCOMPARE(finished.size(), 1);
}

QTEST_MAIN(TestTableSaveFlow)
#include "tst_tablesaveflow.moc"
