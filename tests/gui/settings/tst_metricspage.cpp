#include "gui/settings/metricspage.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

// The Metrics page refuses what cannot be served, and hands on what the user set.
class TestMetricsPage final : public QObject
{
    Q_OBJECT

private slots:
    void edits_data();
    void edits();
};

void TestMetricsPage::edits_data()
{
    QTest::addColumn<bool>("serve");
    QTest::addColumn<QString>("listen");
    QTest::addColumn<QString>("allowed");
    QTest::addColumn<QString>("named"); // in the problem told; empty: none
    QTest::newRow("left off") << false << u"nonsense"_qs << u"nonsense"_qs << QString();
    QTest::newRow("this computer") << true << u"127.0.0.1:9464"_qs << QString() << QString();
    QTest::newRow("every IPv6 address, some scrapers")
        << true << u"[::]:9464"_qs << u"10.0.0.0/8\n\n192.168.1.20"_qs << QString();
    QTest::newRow("no port") << true << u"127.0.0.1"_qs << QString() << u"\"127.0.0.1\""_qs;
    QTest::newRow("port out of range")
        << true << u"127.0.0.1:70000"_qs << QString() << u"\"127.0.0.1:70000\""_qs;
    QTest::newRow("a scraper that is no address")
        << true << u"127.0.0.1:9464"_qs << u"10.0.0.0/8\nprometheus"_qs << u"Line 2: "_qs;
}

void TestMetricsPage::edits()
{
    QFETCH(bool, serve);
    QFETCH(QString, listen);
    QFETCH(QString, allowed);
    QFETCH(QString, named);
    std::optional<MetricsSettings> applied;
    MetricsPage page(MetricsSettings(), [&applied](const MetricsSettings &settings) {
        applied = settings;
        return QString();
    });
    QVERIFY(!page.serveChoice()->isChecked());
    QVERIFY(!page.isChanged());
    page.serveChoice()->setChecked(serve);
    page.listenEdit()->setText(listen);
    page.allowedEdit()->setPlainText(allowed);
    QVERIFY2(page.problemText().contains(named), qPrintable(page.problemText()));
    QCOMPARE(page.problemText().isEmpty(), named.isEmpty());
    QCOMPARE(page.isChanged(), serve);

    const SettingsPage::Outcome checked = page.check();
    QCOMPARE(checked.name, named.isEmpty() ? QString() : u"metricsRefused"_qs);
    if (!named.isEmpty())
        return;
    QVERIFY(page.apply().message.isEmpty());
    QVERIFY(applied);
    QCOMPARE(applied->listen(), serve ? listen : QString());
    QCOMPARE(applied->isOn(), serve);
    QVERIFY(!page.isChanged());
}

QTEST_MAIN(TestMetricsPage)
#include "tst_metricspage.moc"
