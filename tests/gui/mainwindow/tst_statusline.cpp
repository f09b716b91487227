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
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("streams"); // TCP port, TLS port, refused
    QTest::addColumn<int>("failedActions");

    const QList<int> calm{0, 0, 0, 4};
    QTest::newRow("not listening")
        << false << QString() << false << -1 << calm << 0.0 << QString()
        << u"Not listening \u2014 see Tools \u2192 Options"_qs << QList<int>{0, 0, 0} << 0;
    QTest::newRow("every address") << true << QString() << false << -1 << calm << 0.0 << QString()
                                   << u"Listening on UDP port 5140"_qs << QList<int>{0, 0, 0} << 0;
    QTest::newRow("one address, table full")
        << true << u"127.0.0.1"_qs << true << -1 << calm << 0.0 << QString()
        << u"Listening on 127.0.0.1, UDP port 5140 \u2014 table full"_qs << QList<int>{0, 0, 0}
        << 0;
    QTest::newRow("critical and warning counts")
        << true << QString() << false << -1 << QList{2, 5, 0, 9} << 0.0 << QString()
        << u"Listening on UDP port 5140 \u00b7 2 critical \u00b7 5 warning"_qs
        << QList<int>{0, 0, 0} << 0;
    QTest::newRow("silent hosts, senders ignored")
        << true << QString() << false << -1 << QList{0, 0, 3, 120} << 1200.0 << QString()
        << u"Listening on UDP port 5140 \u00b7 3 of 120 hosts silent \u00b7 1200 ignored"_qs
        << QList<int>{0, 0, 0} << 0;
    QTest::newRow("TCP and TLS, clients refused")
        << true << QString() << false << -1 << calm << 0.0 << QString()
        << u"Listening on UDP port 5140, TCP 5514, TLS 6514 \u00b7 2 refused"_qs
        << QList<int>{5514, 6514, 2} << 0;
    QTest::newRow("TLS alone, nobody refused")
        << true << u"::1"_qs << false << -1 << calm << 0.0 << QString()
        << u"Listening on ::1, UDP port 5140, TLS 6514"_qs << QList<int>{0, 6514, 0} << 0;
    QTest::newRow("an action failed")
        << true << QString() << false << -1 << QList{1, 0, 0, 4} << 0.0 << QString()
        << u"Listening on UDP port 5140 \u00b7 1 critical \u00b7 1 action failed"_qs
        << QList<int>{0, 0, 0} << 1;
    QTest::newRow("actions failed, senders ignored")
        << true << QString() << false << -1 << calm << 2.0 << QString()
        << u"Listening on UDP port 5140 \u00b7 2 ignored \u00b7 3 actions failed"_qs
        << QList<int>{0, 0, 0} << 3;
    QTest::newRow("saving") << true << QString() << false << 40 << QList{1, 0, 0, 4} << 0.0
                            << QString() << u"Saving the table\u2026 40%"_qs << QList<int>{0, 0, 0}
                            << 0;
    QTest::newRow("saved, over everything")
        << false << QString() << true << -1 << QList{1, 0, 0, 4} << 3.0 << u"Saved t.csv"_qs
        << u"Saved t.csv"_qs << QList<int>{0, 0, 0} << 0;
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
    QFETCH(QString, text);
    QFETCH(QList<int>, streams);
    QFETCH(int, failedActions);
    const StatusLine::Facts facts{listening,
                                  QHostAddress(address),
                                  5140,
                                  tableFull,
                                  saving,
                                  {trouble[0], trouble[1], trouble[2], trouble[3]},
                                  ignored,
                                  told,
                                  quint16(streams[0]),
                                  quint16(streams[1]),
                                  streams[2],
                                  failedActions};
    QCOMPARE(StatusLine::textOf(facts), text);
}

QTEST_MAIN(TestStatusLine)
#include "tst_statusline.moc"
