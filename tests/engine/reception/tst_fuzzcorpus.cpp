#include "oracle.h"

#include <QDir>
#include <QTest>

// Every seed of the fuzz corpus, through the same checks the fuzzer makes; no fuzzer needed.
// With an application, so that the engine's timers run as they do under the fuzzer.
class TestFuzzCorpus final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void replay_data();
    void replay();

private:
    // One table for the whole corpus, as in a fuzzing session; published after every input
    // so that the checks on what views are shown run each time.
    DatagramCheck m_session{{.hostLimit = 300, .inputsPerTable = 100000, .inputsPerPublish = 1}};
};

void TestFuzzCorpus::initTestCase()
{
    QVERIFY(QDir(QStringLiteral(SENVO_FUZZ_CORPUS)).exists());
}

void TestFuzzCorpus::replay_data()
{
    QTest::addColumn<QString>("path");
    const QDir corpus(QStringLiteral(SENVO_FUZZ_CORPUS));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    QVERIFY(!names.isEmpty());
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << corpus.filePath(name);
}

void TestFuzzCorpus::replay()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
    const QByteArray bytes = file.readAll();
    try {
        // Twice: the second time finds the rows and pairs the first one made.
        DatagramCheck alone({.hostLimit = 300, .inputsPerTable = 100000, .inputsPerPublish = 1});
        alone.runEach(bytes);
        alone.runEach(bytes);
        m_session.runEach(bytes);
        m_session.runEach(bytes);
    } catch (const DatagramCheck::Broken &broken) {
        QFAIL(qPrintable(broken.what));
    }
}

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
