#include "reception/reading.h"
#include "reception/readingstable.h"
#include "reception/tablefullnotice.h"

#include <QTest>

class TestTableFullNotice final : public QObject
{
    Q_OBJECT

private slots:
    void toldOnceAfterTheFirstHostTurnedAway_data();
    void toldOnceAfterTheFirstHostTurnedAway();
};

void TestTableFullNotice::toldOnceAfterTheFirstHostTurnedAway_data()
{
    QTest::addColumn<QStringList>("hosts"); // posted one by one, asking after each
    QTest::addColumn<int>("toldAfter");     // the post after which the notice comes; -1: never
    QTest::newRow("room left") << QStringList{u"a"_qs, u"b"_qs, u"a"_qs} << -1;
    QTest::newRow("known hosts only, when full")
        << QStringList{u"a"_qs, u"b"_qs, u"b"_qs, u"a"_qs} << -1;
    QTest::newRow("third host") << QStringList{u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs, u"c"_qs} << 2;
    QTest::newRow("later host") << QStringList{u"a"_qs, u"b"_qs, u"a"_qs, u"b"_qs, u"e"_qs, u"f"_qs}
                                << 4;
}

void TestTableFullNotice::toldOnceAfterTheFirstHostTurnedAway()
{
    QFETCH(QStringList, hosts);
    QFETCH(int, toldAfter);
    ReadingsTable table(nullptr, 2);
    TableFullNotice notice(table);
    Reading reading;
    reading.name = u" n"_qs;
    reading.value = u" 1 "_qs;
    for (int i = 0; i < hosts.size(); ++i) {
        reading.host = hosts.at(i);
        table.fillgrid(reading);
        const QString message = notice.take();
        QCOMPARE(message.isEmpty(), i != toldAfter);
        QCOMPARE(notice.told(), toldAfter >= 0 && i >= toldAfter);
        if (!message.isEmpty()) {
            QCOMPARE(message, u"The table is full: it holds at most 2 hosts, so readings from "
                              u"further hosts are not shown. The hosts already in the table keep "
                              u"being updated."_qs);
        }
    }
}

QTEST_APPLESS_MAIN(TestTableFullNotice)
#include "tst_tablefullnotice.moc"
