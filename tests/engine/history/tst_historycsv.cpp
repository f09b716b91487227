#include "engine/history/historycsv.h"

#include <QRegularExpression>
#include <QTest>

namespace {

using Point = HistoryStore::Point;

} // namespace

class tst_HistoryCsv final : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void isoTime();
};

void tst_HistoryCsv::lines_data()
{
    QTest::addColumn<std::vector<HistoryCsv::Column>>("columns");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("one reading") << std::vector<HistoryCsv::Column>{{u"CPU (%)"_qs,
                                                                     {Point(0, 45, false),
                                                                      Point(10, 45.5f, false)}}}
                                 << QStringList{u"Time,CPU (%)"_qs, u"0,45"_qs, u"10,45.5"_qs};
    QTest::newRow("heard at other times")
        << std::vector<HistoryCsv::Column>{{u"CPU"_qs, {Point(0, 1, false), Point(20, 3, false)}},
                                           {u"Fan, front"_qs,
                                            {Point(10, 1200, false), Point(20, -4, true)}}}
        << QStringList{u"Time,CPU,\"Fan, front\""_qs, u"0,1,"_qs, u"10,,1200"_qs, u"20,3,-4"_qs};
    QTest::newRow("large and small")
        << std::vector<HistoryCsv::Column>{{u"Disk \"sda\""_qs,
                                            {Point(5, 3.2e9f, false), Point(6, 0.001f, false)}}}
        << QStringList{u"Time,\"Disk \"\"sda\"\"\""_qs, u"5,3.2e+09"_qs, u"6,0.001"_qs};
    QTest::newRow("nothing heard")
        << std::vector<HistoryCsv::Column>{{u"CPU"_qs, {}}} << QStringList{u"Time,CPU"_qs};
}

void tst_HistoryCsv::lines()
{
    QFETCH(std::vector<HistoryCsv::Column>, columns);
    QFETCH(QStringList, expected);
    // Times as tenths, so that the lines are easy to read here.
    const QByteArray csv = HistoryCsv::write(columns, [](HistoryStore::Tenths time) {
        return QDateTime::fromMSecsSinceEpoch(qint64(time) * 100, Qt::UTC);
    });
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    QVERIFY(csv.endsWith("\r\n"));
    QStringList lines = QString::fromUtf8(csv.mid(3)).split(u"\r\n"_qs);
    lines.removeLast();
    QCOMPARE(lines.size(), expected.size());
    for (qsizetype i = 1; i < lines.size(); ++i) {
        // The time field is checked below; here, which moment each line is.
        const qsizetype comma = lines[i].indexOf(u',');
        const QDateTime time = QDateTime::fromString(lines[i].left(comma), Qt::ISODateWithMs);
        lines[i] = QString::number(time.toMSecsSinceEpoch() / 100) + lines[i].mid(comma);
    }
    QCOMPARE(lines, expected);
}

void tst_HistoryCsv::isoTime()
{
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(1'772'366'400'100, Qt::UTC);
    const QString text = HistoryCsv::isoTime(moment);
    // The offset is written out, whatever this machine's zone.
    QVERIFY2(
        QRegularExpression(u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.100[+-]\\d\\d:\\d\\d$"_qs)
            .match(text)
            .hasMatch(),
        qPrintable(text));
    QCOMPARE(QDateTime::fromString(text, Qt::ISODateWithMs), moment);
}

QTEST_APPLESS_MAIN(tst_HistoryCsv)
#include "tst_historycsv.moc"
