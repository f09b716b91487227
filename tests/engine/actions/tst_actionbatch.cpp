#include "engine/actions/actionbatch.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

// The JSON an action is handed, and the environment's summary, state and hosts.
class TestActionBatch final : public QObject
{
    Q_OBJECT

private slots:
    void json_data();
    void json();
    void valueAndUnit_data();
    void valueAndUnit();
    void timesCarryTheirOffset();
};

namespace {

const QDateTime batchTime(QDate(2024, 5, 2), QTime(14, 2, 21), Qt::OffsetFromUTC, 2 * 3600);
const QDateTime heard(QDate(2024, 5, 2), QTime(14, 2, 11), Qt::OffsetFromUTC, 2 * 3600);

} // namespace

void TestActionBatch::json_data()
{
    QTest::addColumn<TroubleEvents>("events");
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("hosts");

    const QByteArray head =
        R"({"program":"Senvo-Net","receiver":"recv","time":"2024-05-02T14:02:21+02:00",)";
    QTest::newRow("one critical")
        << TroubleEvents{{u"host0004"_qs,
                          Trouble::Critical,
                          Trouble::Normal,
                          {u"Fan"_qs, u"4110"_qs, u"rpm"_qs, heard}}}
        << head
               + R"("summary":"1 host critical","events":[{"host":"host0004","reading":"Fan","state":"critical","previous":"normal","value":"4110","unit":"rpm","time":"2024-05-02T14:02:11+02:00"}]})"
        << u"1 host critical"_qs << u"critical"_qs << u"host0004"_qs;
    QTest::newRow("quotes, backslashes and control characters escaped")
        << TroubleEvents{{u"db\"1"_qs,
                          Trouble::Warning,
                          Trouble::Critical,
                          {u"C:\\ \"free\""_qs, u"a\tb\u0001"_qs, {}, {}}}}
        << head
               + R"("summary":"1 host warning","events":[{"host":"db\"1","reading":"C:\\ \"free\"","state":"warning","previous":"critical","value":"a\tb\u0001","unit":"","time":""}]})"
        << u"1 host warning"_qs << u"warning"_qs << u"db\"1"_qs;
    QTest::newRow("every kind, worst first in the summary")
        << TroubleEvents{{u"a"_qs, Trouble::Normal, Trouble::Silent, {}},
                         {u"b"_qs, Trouble::Silent, Trouble::Normal, {}},
                         {u"c"_qs, Trouble::Critical, Trouble::Warning, {}},
                         {u"d"_qs, Trouble::Critical, Trouble::Normal, {}}}
        << QByteArray() << u"2 hosts critical, 1 silent, 1 recovered"_qs << u"critical"_qs
        << u"a b c d"_qs;
    QTest::newRow("recoveries alone")
        << TroubleEvents{{u"a"_qs, Trouble::Normal, Trouble::Silent, {}}} << QByteArray()
        << u"1 host recovered"_qs << u"normal"_qs << u"a"_qs;
}

void TestActionBatch::json()
{
    QFETCH(TroubleEvents, events);
    QFETCH(QByteArray, json);
    QFETCH(QString, summary);
    QFETCH(QString, state);
    QFETCH(QString, hosts);

    const ActionBatch batch(events, batchTime, u"recv"_qs);
    // As a receiver parses it: the order of the keys is the writer's.
    if (!json.isEmpty())
        QCOMPARE(QJsonDocument::fromJson(batch.toJson()), QJsonDocument::fromJson(json));
    QVERIFY(!QJsonDocument::fromJson(batch.toJson()).isNull());
    QCOMPARE(batch.summary(), summary);
    QCOMPARE(batch.worstState(), state);
    QCOMPARE(batch.hostList(), hosts);
}

void TestActionBatch::valueAndUnit_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("unit");
    QTest::newRow("unit right after") << u"4110rpm"_qs << u"4110"_qs << u"rpm"_qs;
    QTest::newRow("unit after a space") << u" 45.5 C "_qs << u"45.5"_qs << u"C"_qs;
    QTest::newRow("a multiplier stays with the number") << u"3.2G"_qs << u"3.2G"_qs << QString();
    QTest::newRow("a word") << u" FAILED "_qs << u"FAILED"_qs << QString();
    QTest::newRow("percent") << u"97%"_qs << u"97"_qs << u"%"_qs;
}

void TestActionBatch::valueAndUnit()
{
    QFETCH(QString, value);
    QFETCH(QString, number);
    QFETCH(QString, unit);
    const TroubleReading reading = TroubleReading::split(u"Fan"_qs, value, heard);
    QCOMPARE(reading, (TroubleReading{u"Fan"_qs, number, unit, heard}));
}

void TestActionBatch::timesCarryTheirOffset()
{
    const QDateTime utc(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC);
    QCOMPARE(ActionBatch::timeText(utc), u"2024-01-02T03:04:05+00:00"_qs);
    const QString local = ActionBatch::timeText(utc.toLocalTime());
    QVERIFY2(QRegularExpression(u"^2024-01-0[1-3]T\\d\\d:\\d\\d:05[+-]\\d\\d:\\d\\d$"_qs)
                 .match(local)
                 .hasMatch(),
             qPrintable(local));
}

QTEST_GUILESS_MAIN(TestActionBatch)
#include "tst_actionbatch.moc"
