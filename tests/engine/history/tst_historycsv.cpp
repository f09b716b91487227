#include "engine/history/historycsv.h"

#include <QRegularExpression>
#include <QTest>

namespace {

using Point = HistoryArchive::Point;
using Columns = std::vector<HistoryCsv::Column>;
using RollupColumns = std::vector<HistoryCsv::RollupColumn>;

// The file's lines without the byte-order mark and the last line end, each time given as
// seconds since the epoch, so that the lines are easy to read here.
QStringList linesOf(const QByteArray &csv)
{
    if (!csv.startsWith("\xEF\xBB\xBF") || !csv.endsWith("\r\n"))
        return {u"not a CSV file"_qs};
    QStringList lines = QString::fromUtf8(csv.mid(3)).split(u"\r\n"_qs);
    lines.removeLast();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype comma = lines[i].indexOf(u',');
        const QDateTime time = QDateTime::fromString(lines[i].left(comma), Qt::ISODateWithMs);
        lines[i] = QString::number(time.toMSecsSinceEpoch() / 1000) + lines[i].mid(comma);
    }
    return lines;
}

} // namespace

class tst_HistoryCsv final : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void rollups_data();
    void rollups();
    void isoTime();
};

void tst_HistoryCsv::lines_data()
{
    QTest::addColumn<Columns>("columns");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("one reading") << Columns{{u"CPU (%)"_qs,
                                             {{0, 45, false}, {10'000, 45.5f, false}}}}
                                 << QStringList{u"Time,CPU (%)"_qs, u"0,45"_qs, u"10,45.5"_qs};
    QTest::newRow("heard at other times")
        << Columns{{u"CPU"_qs, {{0, 1, false}, {20'000, 3, false}}},
                   {u"Fan, front"_qs, {{10'000, 1200, false}, {20'000, -4, true}}}}
        << QStringList{u"Time,CPU,\"Fan, front\""_qs, u"0,1,"_qs, u"10,,1200"_qs, u"20,3,-4"_qs};
    QTest::newRow("large and small")
        << Columns{{u"Disk \"sda\""_qs, {{5000, 3.2e9f, false}, {6000, 0.001f, false}}}}
        << QStringList{u"Time,\"Disk \"\"sda\"\"\""_qs, u"5,3.2e+09"_qs, u"6,0.001"_qs};
    QTest::newRow("nothing heard") << Columns{{u"CPU"_qs, {}}} << QStringList{u"Time,CPU"_qs};
}

void tst_HistoryCsv::lines()
{
    QFETCH(Columns, columns);
    QFETCH(QStringList, expected);
    QCOMPARE(linesOf(HistoryCsv::write(columns)), expected);
}

void tst_HistoryCsv::rollups_data()
{
    QTest::addColumn<RollupColumns>("columns");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("a minute missing")
        << RollupColumns{{u"CPU (%)"_qs, {{0, 4, 16, 10.5f, 12, 6}, {120'000, 25, 35, 30, 26, 2}}}}
        << QStringList{u"Time,CPU (%) lowest,CPU (%) highest,CPU (%) average"_qs, u"0,4,16,10.5"_qs,
                       u"120,25,35,30"_qs};
    QTest::newRow("two readings, spans of their own")
        << RollupColumns{{u"CPU"_qs, {{0, 1, 2, 1.5f, 2, 2}}},
                         {u"Fan, rear"_qs, {{0, 900, 1100, 1000, 950, 6}, {60'000, 0, 0, 0, 0, 1}}}}
        << QStringList{u"Time,CPU lowest,CPU highest,CPU average,\"Fan, rear lowest\","
                       u"\"Fan, rear highest\",\"Fan, rear average\""_qs,
                       u"0,1,2,1.5,900,1100,1000"_qs, u"60,,,,0,0,0"_qs};
}

void tst_HistoryCsv::rollups()
{
    QFETCH(RollupColumns, columns);
    QFETCH(QStringList, expected);
    QCOMPARE(linesOf(HistoryCsv::writeRollups(columns)), expected);
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
