#include "gui/mainwindow/statusline.h"

#include <QTest>

// The status line's text, from what the receiver, the limits and a save tell.
class TestStatusLine final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void text_data();
    void text();
};

void TestStatusLine::text_data()
{
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("tableFull");
    QTest::addColumn<int>("saving");
    QTest::addColumn<QList<int>>("trouble"); // critical, warning, silent, hosts
    QTest::addColumn<double>("ignored");
    QTest::addColumn<QString>("told");
    QTest::addColumn<int>("failedActions");
    QTest::addColumn<QString>("text");

    const QList<int> calm{0, 0, 0, 4};
    QTest::newRow("not listening") << false << QString() << false << -1 << calm << 0.0 << QString()
                                   << 0 << u"Not listening \u2014 see Tools \u2192 Options"_qs;
    QTest::newRow("every address") << true << QString() << false << -1 << calm << 0.0 << QString()
                                   << 0 << u"Listening on UDP port 5140"_qs;
    QTest::newRow("one address, table full")
        << true << u"127.0.0.1"_qs << true << -1 << calm << 0.0 << QString() << 0
        << u"Listening on 127.0.0.1, UDP port 5140 \u2014 table full"_qs;
    QTest::newRow("critical and warning counts")
        << true << QString() << false << -1 << QList{2, 5, 0, 9} << 0.0 << QString() << 0
        << u"Listening on UDP port 5140 \u00b7 2 critical \u00b7 5 warning"_qs;
    QTest::newRow("silent hosts, senders ignored")
        << true << QString() << false << -1 << QList{0, 0, 3, 120} << 1200.0 << QString() << 0
        << u"Listening on UDP port 5140 \u00b7 3 of 120 hosts silent \u00b7 1200 ignored"_qs;
    QTest::newRow("an action failed")
        << true << QString() << false << -1 << QList{1, 0, 0, 4} << 0.0 << QString() << 1
        << u"Listening on UDP port 5140 \u00b7 1 critical \u00b7 1 action failed"_qs;
    QTest::newRow("actions failed, senders ignored")
        << true << QString() << false << -1 << calm << 2.0 << QString() << 3
        << u"Listening on UDP port 5140 \u00b7 2 ignored \u00b7 3 actions failed"_qs;
    QTest::newRow("saving") << true << QString() << false << 40 << QList{1, 0, 0, 4} << 0.0
                            << QString() << 0 << u"Saving the table\u2026 40%"_qs;
    QTest::newRow("saved, over everything") << false << QString() << true << -1 << QList{1, 0, 0, 4}
                                            << 3.0 << u"Saved t.csv"_qs << 0 << u"Saved t.csv"_qs;
}

void TestStatusLine::text()
{
    QFETCH(bool, listening);
    QFETCH(QString, address);
    QFETCH(bool, tableFull);
    QFETCH(int, saving);
    QFETCH(QList<int>, trouble);
    QFETCH(double, ignored);
    QFETCH(QString, told);
    QFETCH(int, failedActions);
    QFETCH(QString, text);
    const StatusLine::Facts facts{listening,    QHostAddress(address),
                                  5140,         tableFull,
                                  saving,       {trouble[0], trouble[1], trouble[2], trouble[3]},
                                  ignored,      told,
                                  failedActions};
    QCOMPARE(StatusLine::textOf(facts), text);
}

QTEST_MAIN(TestStatusLine)
#include "tst_statusline.moc"
