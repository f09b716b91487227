#include "engine/reception/reading.h"
#include "engine/reception/readingstable.h"
#include "engine/tablefile/csvtable.h"
#include "engine/tableview/copiedtext.h"

#include <QItemSelection>
#include <QTest>

namespace {

// Each line "host|name|value", posted as one reading.
void post(ReadingsTable &table, const QStringList &readings)
{
    for (const QString &line : readings) {
        const QStringList f = line.split(u'|');
        table.fillgrid({{}, u"Jun 10"_qs, u"19:35:00"_qs, f[0], f[1], f[2]});
    }
    table.publish();
}

} // namespace

class TestCopiedText final : public QObject
{
    Q_OBJECT

private slots:
    void copied_data();
    void copied();
    void csv_data();
    void csv();
};

void TestCopiedText::copied_data()
{
    // Readings as "host|name|value". Selections as
    // "top,left,bottom,right" in the model's rows and columns; "all" copies everything.
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<QString>("expected");

    const QStringList twoHosts{u"a| n1| 1 "_qs, u"b| n1| 3 "_qs, u"a| n2| 2 "_qs};
    QTest::newRow("all, rows with different pair counts")
        << twoHosts << QStringList{u"all"_qs}
        << u"a\tJun 10\t19:35:00\t n1\t 1 \t n2\t 2 \n"
           "b\tJun 10\t19:35:00\t n1\t 3 \n"_qs;
    QTest::newRow("a block spanning a row without those pairs")
        << twoHosts << QStringList{u"0,5,1,6"_qs}
        << u"a\tJun 10\t19:35:00\t n2\t 2 \nb\tJun 10\t19:35:00\n"_qs;
    QTest::newRow("cells apart keep their columns")
        << twoHosts << QStringList{u"0,3,0,3"_qs, u"0,6,0,6"_qs}
        << u"a\tJun 10\t19:35:00\t n1\t\t\t 2 \n"_qs;
    QTest::newRow("rows in table order, whatever the order of selecting")
        << twoHosts << QStringList{u"1,4,1,4"_qs, u"0,4,0,4"_qs}
        << u"a\tJun 10\t19:35:00\t 1 \nb\tJun 10\t19:35:00\t 3 \n"_qs;
    QTest::newRow("date and time alone")
        << twoHosts << QStringList{u"1,1,1,2"_qs} << u"b\tJun 10\t19:35:00\n"_qs;
    QTest::newRow("tabs and line breaks in a host are replaced")
        << QStringList{u"h\tx\r\ny| n| 1 "_qs} << QStringList{u"all"_qs}
        << u"h\uFFFDx\uFFFD\uFFFDy\tJun 10\t19:35:00\t n\t 1 \n"_qs;
    QTest::newRow("control characters in cells are replaced")
        << QStringList{u"h| n\u001b[2J| \u202e1\t2 "_qs} << QStringList{u"all"_qs}
        << u"h\tJun 10\t19:35:00\t n\uFFFD[2J\t \uFFFD1\uFFFD2 \n"_qs;
    QTest::newRow("nothing before the first host")
        << QStringList{} << QStringList{u"all"_qs} << QString();
}

void TestCopiedText::copied()
{
    QFETCH(QStringList, readings);
    QFETCH(QStringList, selection);
    QFETCH(QString, expected);
    ReadingsTable table;
    post(table, readings);

    if (selection == QStringList{u"all"_qs}) {
        QCOMPARE(CopiedText::all(table), expected);
        return;
    }
    QItemSelection selected;
    for (const QString &range : std::as_const(selection)) {
        const QStringList c = range.split(u',');
        selected.select(table.index(c[0].toInt(), c[1].toInt()),
                        table.index(c[2].toInt(), c[3].toInt()));
    }
    QCOMPARE(CopiedText::fromSelection(table, selected), expected);
}

void TestCopiedText::csv_data()
{
    // Readings as "host|name|value"; the rows written, in that order; whether a last-heard
    // time is known (row 0 at 2026-12-08 03:04:05 local time, no other).
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<bool>("lastHeard");
    QTest::addColumn<QString>("expected"); // after the byte-order mark
    QTest::newRow("an empty table")
        << QStringList{} << QList<int>{} << false << u"Host,Date,Time\r\n"_qs;
    QTest::newRow("as wide as the widest row, names and values trimmed")
        << QStringList{u"a| n1| 1 "_qs, u"b| n1| 3 "_qs, u"b|  n2 | 4 "_qs} << QList<int>{0, 1}
        << false
        << u"Host,Date,Time,Name 1,Value 1,Name 2,Value 2\r\n"
           "a,Jun 10,19:35:00,n1,1,,\r\n"
           "b,Jun 10,19:35:00,n1,3,n2,4\r\n"_qs;
    QTest::newRow("commas, quotes and line breaks are quoted")
        << QStringList{u"h,1| \"CPU\" °C| 1,5 "_qs, u"h\r\n2| a\nb| x"_qs} << QList<int>{0, 1}
        << false
        << u"Host,Date,Time,Name 1,Value 1\r\n"
           "\"h,1\",Jun 10,19:35:00,\"\"\"CPU\"\" °C\",\"1,5\"\r\n"
           "\"h\r\n2\",Jun 10,19:35:00,\"a\nb\",x\r\n"_qs;
    QTest::newRow("a lone carriage return is quoted")
        << QStringList{u"h| a\rb| x"_qs} << QList<int>{0} << false
        << u"Host,Date,Time,Name 1,Value 1\r\n"
           "h,Jun 10,19:35:00,\"a\rb\",x\r\n"_qs;
    // "PAIRS" stands for the titles of all 64 pairs.
    QTest::newRow("only the rows given, a blank name's pair included")
        << QStringList{u"a| n| 1 "_qs, u"b| | 2 "_qs, u"c| n| 3 "_qs} << QList<int>{2, 1} << false
        << u"Host,Date,Time,PAIRS\r\nc,Jun 10,19:35:00,n,3"_qs + QString(126, u',')
               + u"\r\nb,Jun 10,19:35:00"_qs + QString(126, u',') + u",,2\r\n"_qs;
    QTest::newRow("last heard after the time")
        << QStringList{u"a| n| 1 "_qs, u"b| n| 2 "_qs} << QList<int>{0, 1} << true
        << u"Host,Date,Time,Last heard,Name 1,Value 1\r\n"
           "a,Jun 10,19:35:00,2026-12-08 03:04:05,n,1\r\n"
           "b,Jun 10,19:35:00,,n,2\r\n"_qs;
}

void TestCopiedText::csv()
{
    QFETCH(QStringList, readings);
    QFETCH(QList<int>, rows);
    QFETCH(bool, lastHeard);
    QFETCH(QString, expected);
    ReadingsTable table;
    post(table, readings);
    CsvTable::LastHeard heard;
    if (lastHeard) {
        heard = [](int row) {
            return row == 0 ? QDateTime(QDate(2026, 12, 8), QTime(3, 4, 5)) : QDateTime();
        };
    }
    QStringList pairs;
    for (int pair = 1; pair <= 64; ++pair)
        pairs << u"Name %1,Value %1"_qs.arg(pair);
    expected.replace(u"PAIRS"_qs, pairs.join(u','));
    const CsvTable csv(table, std::vector<int>(rows.begin(), rows.end()), heard);
    QCOMPARE(csv.all(), QByteArray(CsvTable::byteOrderMark) + expected.toUtf8());
}

QTEST_APPLESS_MAIN(TestCopiedText)
#include "tst_copiedtext.moc"
