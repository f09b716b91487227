#include "engine/reception/reading.h"
#include "engine/reception/readingstable.h"
#include "engine/reception/tablelistener.h"
#include "engine/tableview/hostfilter.h"
#include "engine/tableview/tablefullnotice.h"
#include "fakereceiveclock.h"
#include "gridaddress.h"
#include "gui/mainwindow/placeholderrows.h"
#include "oracle.h"

#include <QAbstractItemModelTester>
#include <QColor>
#include <QGuiApplication>
#include <QPalette>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

namespace {

Reading makeReading(const QString &host, const QString &name, const QString &value,
                    const QString &time = QStringLiteral("19:35:00"))
{
    Reading reading;
    reading.date = QStringLiteral("Jun 10");
    reading.time = time;
    reading.host = host;
    reading.name = name;
    reading.value = value;
    return reading;
}

// A store of its own keyed on the table's rows and name ids, kept from what listeners are
// told alone: after every step it must read as the table does.
class MirrorListener final : public TableListener
{
public:
    explicit MirrorListener(const ReadingsTable &table)
        : m_table(table)
    {
    }

    void readingPosted(int row, int pair, bool newName) override
    {
        if (size_t(row) >= m_rows.size())
            m_rows.resize(size_t(row) + 1);
        Row &mirrored = m_rows[size_t(row)];
        mirrored.host = m_table.host(row);
        if (size_t(pair) >= mirrored.pairs.size())
            mirrored.pairs.resize(size_t(pair) + 1);
        Pair &kept = mirrored.pairs[size_t(pair)];
        const int id = m_table.nameId(row, pair);
        if (newName != (!kept.written || kept.nameId != id))
            m_faults << u"row %1 pair %2: newName %3"_qs.arg(row).arg(pair).arg(newName);
        kept = {true, id, m_table.value(row, pair)};
    }

    void renumbered(const std::vector<int> &newRows, const std::vector<int> &newNames) override
    {
        if (newRows.size() != m_rows.size())
            m_faults << u"%1 rows renumbered of %2"_qs.arg(newRows.size()).arg(m_rows.size());
        std::vector<Row> rows;
        for (size_t old = 0; old < m_rows.size() && old < newRows.size(); ++old) {
            if (newRows[old] < 0)
                continue;
            if (size_t(newRows[old]) >= rows.size())
                rows.resize(size_t(newRows[old]) + 1);
            Row &moved = rows[size_t(newRows[old])] = m_rows[old];
            for (Pair &pair : moved.pairs) {
                if (pair.nameId >= 0)
                    pair.nameId = newNames.at(size_t(pair.nameId));
            }
        }
        m_rows = std::move(rows);
        ++m_renumberings;
    }

    // Each row as "host: name=value ...", from the mirror or from the table.
    QStringList mirrored() const
    {
        QStringList rows;
        for (const Row &row : m_rows) {
            QString text = row.host + u':';
            for (const Pair &pair : row.pairs) {
                if (pair.written)
                    text += u' ' + m_table.nameText(pair.nameId) + u'=' + pair.value;
            }
            rows << text;
        }
        return rows;
    }
    QStringList stored() const
    {
        QStringList rows;
        for (int row = 0; row < m_table.hostCount(); ++row) {
            QString text = m_table.host(row) + u':';
            for (int pair = 0; pair < m_table.pairsInUse(row); ++pair) {
                if (m_table.timing(row, pair))
                    text += u' ' + m_table.nameText(m_table.nameId(row, pair)) + u'='
                            + m_table.value(row, pair);
            }
            rows << text;
        }
        return rows;
    }
    QStringList faults() const { return m_faults; }
    int renumberings() const { return m_renumberings; }

private:
    struct Pair
    {
        bool written = false;
        int nameId = -1;
        QString value;
    };
    struct Row
    {
        QString host;
        std::vector<Pair> pairs;
    };

    const ReadingsTable &m_table;
    std::vector<Row> m_rows;
    QStringList m_faults;
    int m_renumberings = 0;
};

} // namespace

class TestReadingsTable final : public QObject
{
    Q_OBJECT

private slots:
    void header();
    void posting_data();
    void posting();
    void sameAsLiteralScan_data();
    void sameAsLiteralScan();
    void viewsAreToldOfChanges();
    void hostLimit();
    void fullTableIsToldOnce_data();
    void fullTableIsToldOnce();
    void controlCharactersAreShownHarmlessly();
    void longestTextsArePublished_data();
    void longestTextsArePublished();
    void removal_data();
    void removal();
    void removalMakesRoom();
    void overdue_data();
    void overdue();
    void silentHosts();
};

void TestReadingsTable::header()
{
    ReadingsTable table;
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
    PlaceholderRows shown(&table);
    shown.setSourceModel(&table);
    shown.setShown(true);
    QAbstractItemModelTester shownTester(&shown,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(GridAddress(table).rowCount(), 4);
    QCOMPARE(table.rowCount(), 0);
    QCOMPARE(shown.rowCount(), 3);
    QCOMPARE(table.columnCount(), 131);
    QCOMPARE(GridAddress(table).cellText(0, 0), QString());
    QCOMPARE(GridAddress(table).cellText(0, 1), u"Date");
    QCOMPARE(GridAddress(table).cellText(0, 2), u"Time");
    for (int j = 3; j <= 129; j += 2) {
        QCOMPARE(GridAddress(table).cellText(0, j), u"Name");
        QCOMPARE(GridAddress(table).cellText(0, j + 1), u"Value");
        QCOMPARE(shown.headerData(j, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(),
                 QColor(0, 0, 255));
    }
    QVERIFY(!shown.headerData(4, Qt::Horizontal, Qt::ForegroundRole).isValid());
    for (int row = 1; row <= 3; ++row)
        QCOMPARE(GridAddress(table).cellText(row, 0), QString());
}

void TestReadingsTable::posting_data()
{
    // Readings as "host|name|value"; checks as "row,column=text".
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<QStringList>("checks");

    QTest::newRow("first reading adds the row and fills pair 0")
        << QStringList{u"host1| CPU| 45 "_qs}
        << QStringList{u"0,0="_qs,     u"1,0=host1"_qs, u"1,1=Jun 10"_qs, u"1,2=19:35:00"_qs,
                       u"1,3= CPU"_qs, u"1,4= 45 "_qs,  u"1,5="_qs,       u"2,0="_qs};
    QTest::newRow("second reading replaces the value")
        << QStringList{u"host1| CPU| 45 "_qs, u"host1| CPU| 46 "_qs}
        << QStringList{u"1,3= CPU"_qs, u"1,4= 46 "_qs, u"1,5="_qs};
    QTest::newRow("names fill pairs in order, values are replaced")
        << QStringList{u"h| a| 1 "_qs, u"h| a| 2 "_qs, u"h| b| 3 "_qs, u"h| a| 4 "_qs}
        << QStringList{u"1,3= a"_qs, u"1,4= 4 "_qs, u"1,5= b"_qs, u"1,6= 3 "_qs};
    QTest::newRow("names match once trimmed")
        << QStringList{u"h| CPU| 1 "_qs, u"h|CPU  | 2 "_qs}
        << QStringList{u"1,3=CPU  "_qs, u"1,4= 2 "_qs, u"1,5="_qs};
    // Only the space is trimmed: a tab makes a name of its own, and is not blank.
    QTest::newRow("a tab is part of a name")
        << QStringList{u"h| CPU| 1 "_qs, u"h|\tCPU| 2 "_qs, u"h| CPU\t| 3 "_qs, u"h|CPU | 4 "_qs}
        << QStringList{u"1,3=CPU "_qs, u"1,4= 4 "_qs,    u"1,5=\tCPU"_qs,
                       u"1,6= 2 "_qs,  u"1,7= CPU\t"_qs, u"1,8= 3 "_qs};
    QTest::newRow("spaces around a tab are not a blank name")
        << QStringList{u"h| \t | 1 "_qs}
        << QStringList{u"1,3= \t "_qs, u"1,4= 1 "_qs, u"1,129="_qs, u"1,130="_qs};
    QTest::newRow("hosts differ by case")
        << QStringList{u"Box| a| 1 "_qs, u"box| a| 2 "_qs, u"Box| a| 3 "_qs}
        << QStringList{u"1,0=Box"_qs, u"2,0=box"_qs, u"1,4= 3 "_qs, u"2,4= 2 "_qs};
    QTest::newRow("blank name goes to the last pair, also a host's first")
        << QStringList{u"h| | 2 "_qs, u"h| b| 3 "_qs, u"h| | 4 "_qs}
        << QStringList{u"1,3= b"_qs, u"1,4= 3 "_qs, u"1,129= "_qs, u"1,130= 4 "_qs};

    QStringList many;
    for (int i = 0; i < 64; ++i)
        many << u"h| n%1| %1 "_qs.arg(i);
    QStringList late = many;
    late << u"h| n64| 64 |20:00:00"_qs;
    QTest::newRow("the 65th name is dropped, date and time untouched")
        << late << QStringList{u"1,129= n63"_qs, u"1,130= 63 "_qs, u"1,2=19:35:00"_qs};
    QStringList refresh = many;
    refresh << u"h| n5| new |20:00:00"_qs;
    QTest::newRow("a full row still takes known names")
        << refresh << QStringList{u"1,14= new "_qs, u"1,2=20:00:00"_qs};
}

void TestReadingsTable::posting()
{
    QFETCH(QStringList, readings);
    QFETCH(QStringList, checks);
    ReadingsTable table;
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (const QString &line : std::as_const(readings)) {
        const QStringList f = line.split(u'|');
        table.fillgrid(makeReading(f[0], f[1], f[2], f.size() > 3 ? f[3] : u"19:35:00"_qs));
        table.publish();
    }
    for (const QString &check : std::as_const(checks)) {
        const qsizetype comma = check.indexOf(u',');
        const qsizetype equals = check.indexOf(u'=');
        const int row = check.left(comma).toInt();
        const int column = check.mid(comma + 1, equals - comma - 1).toInt();
        const QString text = check.mid(equals + 1);
        QCOMPARE(GridAddress(table).cellText(row, column), text);
        if (row > 0 && row <= table.rowCount()) {
            QString shown = text;
            std::replace_if(shown.begin(), shown.end(), isUnsafeForDisplay,
                            QChar(QChar::ReplacementCharacter));
            QCOMPARE(table.data(table.index(GridAddress::modelRow(row), column)).toString(), shown);
        }
    }
}

void TestReadingsTable::sameAsLiteralScan_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("hosts");
    QTest::addColumn<int>("names");
    QTest::addColumn<QString>("hostPattern");
    const QString host = u"host%1"_qs;
    QTest::newRow("few hosts, many names") << 1u << 3 << 90 << host;
    QTest::newRow("many hosts, few names") << 2u << 60 << 6 << host;
    QTest::newRow("mixed") << 3u << 20 << 70 << host;
    QTest::newRow("mixed again") << 4u << 12 << 40 << host;
    QTest::newRow("hundreds of hosts") << 5u << 600 << 8 << host;
    QTest::newRow("hosts longer than any datagram carries")
        << 6u << 30 << 20 << QString(300, u'x') + u"%1"_qs;
    QTest::newRow("hosts that differ after a NUL")
        << 7u << 30 << 20 << u"h"_qs + QChar(0) + u"%1"_qs;
}

void TestReadingsTable::sameAsLiteralScan()
{
    QFETCH(quint32, seed);
    QFETCH(int, hosts);
    QFETCH(int, names);
    QFETCH(QString, hostPattern);
    QRandomGenerator random(seed);
    ReadingsTable table;
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
    LiteralGrid reference;

    static const QStringList blanks{QString(), u" "_qs, u"   "_qs};
    for (int i = 0; i < 6000; ++i) {
        const int h = int(random.bounded(hosts));
        // Hosts that differ only in case, and names with stray spaces or none at all.
        QString host = hostPattern.arg(h);
        if (h % 3 == 0)
            host = host.toUpper();
        QString name;
        const quint32 kind = random.bounded(20u);
        if (kind == 0)
            name = blanks[random.bounded(qsizetype(3))];
        else if (kind == 1)
            name = u"n%1 "_qs.arg(random.bounded(names));
        else
            name = u" n%1"_qs.arg(random.bounded(names));
        const Reading reading = makeReading(host, name, u" %1 "_qs.arg(i),
                                            u"19:%1:00"_qs.arg(i % 60, 2, 10, QChar(u'0')));
        table.fillgrid(reading);
        reference.fillgrid(reading);
        if (i % 97 == 0)
            table.publish();
    }
    table.publish();

    QCOMPARE(GridAddress(table).rowCount(), reference.rowCount());
    for (int row = 0; row < reference.rowCount(); ++row) {
        for (int column = 0; column < ReadingsTable::columnCountTotal; ++column) {
            if (GridAddress(table).cellText(row, column) != reference.cell(row, column)) {
                QFAIL(
                    qPrintable(u"cell %1,%2: \"%3\" instead of \"%4\""_qs.arg(row).arg(column).arg(
                        GridAddress(table).cellText(row, column), reference.cell(row, column))));
            }
        }
    }
}

void TestReadingsTable::viewsAreToldOfChanges()
{
    ReadingsTable table;
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // As a view shows it: empty rows before the first host, which the first rows replace.
    PlaceholderRows shown(&table);
    shown.setSourceModel(&table);
    shown.setShown(true);
    QAbstractItemModelTester shownTester(&shown,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy removed(&shown, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&shown, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&table, &QAbstractItemModel::dataChanged);

    table.fillgrid(makeReading(u"a"_qs, u" n"_qs, u" 1 "_qs));
    table.fillgrid(makeReading(u"b"_qs, u" n"_qs, u" 1 "_qs));
    QCOMPARE(shown.rowCount(), 3); // nothing announced yet
    table.publish();
    QCOMPARE(removed.size(), 1);
    QCOMPARE(removed[0][1].toInt(), 0);
    QCOMPARE(removed[0][2].toInt(), 2);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted[0][2].toInt(), 1);
    QCOMPARE(table.rowCount(), 2);
    QCOMPARE(shown.rowCount(), 2);
    shown.setShown(true); // only while there are no rows
    QCOMPARE(shown.rowCount(), 2);
    QCOMPARE(table.headerData(1, Qt::Vertical).toString(), u"b");

    table.fillgrid(makeReading(u"b"_qs, u" n"_qs, u" 2 "_qs));
    table.fillgrid(makeReading(u"b"_qs, u" m"_qs, u" 3 "_qs));
    QCOMPARE(changed.size(), 0);
    table.publish();
    QCOMPARE(changed.size(), 1);
    const auto topLeft = changed[0][0].value<QModelIndex>();
    const auto bottomRight = changed[0][1].value<QModelIndex>();
    QCOMPARE(topLeft.row(), 1);
    QCOMPARE(bottomRight.row(), 1);
    QVERIFY(topLeft.column() <= 1);
    QVERIFY(bottomRight.column() >= 6);
    table.publish();
    QCOMPARE(changed.size(), 1);
}

void TestReadingsTable::hostLimit()
{
    ReadingsTable table;
    QVERIFY(table.hostLimit() >= 32766);
    const int limit = table.hostLimit();
    for (int i = 0; i <= limit; ++i)
        table.fillgrid(makeReading(u"h%1"_qs.arg(i), u" n"_qs, u" 1 "_qs));
    table.publish();
    QCOMPARE(table.hostCount(), limit);
    QCOMPARE(table.droppedHosts(), 1);
    QCOMPARE(GridAddress(table).rowCount(), limit + 1);
    QCOMPARE(GridAddress(table).cellText(limit, 0), u"h%1"_qs.arg(limit - 1));

    // Hosts that have a row keep being updated.
    table.fillgrid(makeReading(u"h7"_qs, u" n"_qs, u" 2 "_qs));
    QCOMPARE(GridAddress(table).cellText(8, 4), u" 2 ");
    table.fillgrid(makeReading(u"new"_qs, u" n"_qs, u" 2 "_qs));
    QCOMPARE(table.hostCount(), limit);
    QCOMPARE(table.droppedHosts(), 2);
}

void TestReadingsTable::fullTableIsToldOnce_data()
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

void TestReadingsTable::fullTableIsToldOnce()
{
    QFETCH(QStringList, hosts);
    QFETCH(int, toldAfter);
    ReadingsTable table(nullptr, 2);
    TableFullNotice notice(table);
    for (int i = 0; i < hosts.size(); ++i) {
        table.fillgrid(makeReading(hosts.at(i), u" n"_qs, u" 1 "_qs));
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

void TestReadingsTable::controlCharactersAreShownHarmlessly()
{
    ReadingsTable table;
    const QString host = u"evil\u202e\x1b[2Jhost"_qs;
    table.fillgrid(makeReading(host, u" n\u0007"_qs, u" \u2066x "_qs));
    table.publish();
    QCOMPARE(GridAddress(table).cellText(1, 0), host);
    QCOMPARE(table.headerData(0, Qt::Vertical).toString(), u"evil\uFFFD\uFFFD[2Jhost");
    QCOMPARE(table.data(table.index(0, 3)).toString(), u" n\uFFFD");
    QCOMPARE(table.data(table.index(0, 4)).toString(), u" \uFFFDx ");
}

void TestReadingsTable::longestTextsArePublished_data()
{
    // Readings as "host|name|value", "publish" between them; checks of what the last publish
    // announced as "column=text", an empty text for a column it left out.
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<QStringList>("checks");
    QTest::newRow("a new host's row")
        << QStringList{u"host1| a| 1 "_qs}
        << QStringList{u"0=host1"_qs, u"1=Jun 10"_qs, u"2=19:35:00"_qs, u"3= a"_qs, u"4= 1 "_qs};
    QTest::newRow("one character longer is longer")
        << QStringList{u"h| a| 1 "_qs, u"publish"_qs, u"h| a| 22 "_qs, u"h| a| 333 "_qs}
        << QStringList{u"4= 333 "_qs};
    QTest::newRow("the longest value by characters, wherever it is")
        << QStringList{u"h| a| 1 "_qs,    u"g| a| 1 "_qs,   u"publish"_qs,     u"h| a| 22 "_qs,
                       u"g| a| 4444 "_qs, u"h| a| 333 "_qs, u"h| b| 55555 "_qs}
        << QStringList{u"0="_qs, u"3="_qs, u"4= 4444 "_qs, u"5= b"_qs, u"6= 55555 "_qs};
    QTest::newRow("names only when a pair gets one")
        << QStringList{u"h| a| 1 "_qs, u"publish"_qs, u"h| a| 2 "_qs}
        << QStringList{u"3="_qs, u"4= 2 "_qs};
    QTest::newRow("a renamed pair") << QStringList{u"h| a| 1 "_qs, u"publish"_qs, u"h|a    | 2 "_qs}
                                    << QStringList{u"3=a    "_qs, u"4= 2 "_qs};
}

void TestReadingsTable::longestTextsArePublished()
{
    QFETCH(QStringList, readings);
    QFETCH(QStringList, checks);
    ReadingsTable table;
    QStringList published;
    int publishes = 0;
    connect(&table, &ReadingsTable::textsPublished, &table, [&](const LongestTexts &longest) {
        ++publishes;
        published.clear();
        for (int column = 0; column < longest.columnCount(); ++column)
            published << longest.text(column);
    });
    for (const QString &line : std::as_const(readings)) {
        if (line == u"publish") {
            table.publish();
            continue;
        }
        const QStringList f = line.split(u'|');
        table.fillgrid(makeReading(f[0], f[1], f[2]));
    }
    table.publish();
    QCOMPARE(published.size(), ReadingsTable::columnCountTotal);
    for (const QString &check : std::as_const(checks)) {
        const qsizetype equals = check.indexOf(u'=');
        QCOMPARE(published[check.left(equals).toInt()], check.mid(equals + 1));
    }
    // Nothing posted since: nothing to announce.
    const int before = publishes;
    table.publish();
    QCOMPARE(publishes, before);
}

void TestReadingsTable::removal_data()
{
    // Steps: "host|name|value" posts a reading, "-1,3" removes those rows (as views count
    // them), "clear" clears. Checks as in posting(), after the hosts left in order.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("hosts");
    QTest::addColumn<QStringList>("checks");
    const QStringList four{u"a| n| 1 "_qs, u"b| m| 2 "_qs, u"c| n| 3 "_qs, u"d| k| 4 "_qs};
    QTest::newRow("one row") << four + QStringList{u"-1"_qs}
                             << QStringList{u"a"_qs, u"c"_qs, u"d"_qs}
                             << QStringList{u"2,3= n"_qs, u"3,3= k"_qs, u"3,4= 4 "_qs};
    QTest::newRow("runs apart, in any order")
        << four + QStringList{u"-3,0,2"_qs} << QStringList{u"b"_qs} << QStringList{u"1,3= m"_qs};
    QTest::newRow("rows out of range are left alone")
        << four + QStringList{u"-7,-1,3"_qs} << QStringList{u"a"_qs, u"b"_qs, u"c"_qs}
        << QStringList{u"3,4= 3 "_qs, u"4,0="_qs};
    QTest::newRow("a removed host comes back at the end, with that reading only")
        << four + QStringList{u"-1"_qs, u"b| x| 9 "_qs, u"c| m| 5 "_qs}
        << QStringList{u"a"_qs, u"c"_qs, u"d"_qs, u"b"_qs}
        << QStringList{u"4,3= x"_qs, u"4,4= 9 "_qs, u"4,5="_qs, u"2,5= m"_qs, u"2,6= 5 "_qs};
    QTest::newRow("names of removed rows are forgotten, names still used are kept")
        << four + QStringList{u"-1,3"_qs, u"a| m| 6 "_qs, u"a| n| 7 "_qs}
        << QStringList{u"a"_qs, u"c"_qs} << QStringList{u"1,4= 7 "_qs, u"1,5= m"_qs};
    QTest::newRow("clear") << four + QStringList{u"clear"_qs} << QStringList{}
                           << QStringList{u"1,0="_qs};
    QTest::newRow("clear, then hosts arrive again")
        << four + QStringList{u"clear"_qs, u"d| k| 5 "_qs, u"a| n| 6 "_qs}
        << QStringList{u"d"_qs, u"a"_qs} << QStringList{u"1,4= 5 "_qs, u"2,3= n"_qs};
    QTest::newRow("clear with nothing posted")
        << QStringList{u"clear"_qs} << QStringList{} << QStringList{};
}

void TestReadingsTable::removal()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, hosts);
    QFETCH(QStringList, checks);
    ReadingsTable table;
    HostFilter filter(&table);
    filter.setText(u"A"_qs);
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester filtered(&filter,
                                      QAbstractItemModelTester::FailureReportingMode::QtTest);
    MirrorListener mirror(table);
    table.addListener(&mirror);
    int removals = 0;
    for (const QString &step : std::as_const(steps)) {
        removals += int(step == u"clear" || step.startsWith(u'-'));
        if (step == u"clear") {
            table.clear();
        } else if (step == u"publish") {
            table.publish();
        } else if (step.startsWith(u'-')) {
            std::vector<int> rows;
            for (const QString &row : step.mid(1).split(u','))
                rows.push_back(row.toInt());
            table.removeHosts(rows);
        } else {
            const QStringList f = step.split(u'|');
            table.fillgrid(makeReading(f[0], f[1], f[2]));
            table.publish();
        }
    }
    table.publish();
    QStringList left;
    for (int row = 0; row < table.hostCount(); ++row)
        left << table.text(row, 0);
    QCOMPARE(left, hosts);
    QCOMPARE(table.publishedHostCount(), int(hosts.size()));
    QCOMPARE(mirror.faults(), QStringList());
    QCOMPARE(mirror.mirrored(), mirror.stored());
    QCOMPARE(mirror.renumberings(), removals - int(steps.constFirst() == u"clear"));
    QCOMPARE(filter.matchingHostCount(), int(hosts.contains(u"a"_qs)));
    for (const QString &check : std::as_const(checks)) {
        const qsizetype comma = check.indexOf(u',');
        const qsizetype equals = check.indexOf(u'=');
        QCOMPARE(GridAddress(table).cellText(check.left(comma).toInt(),
                                             check.mid(comma + 1, equals - comma - 1).toInt()),
                 check.mid(equals + 1));
    }
}

void TestReadingsTable::removalMakesRoom()
{
    ReadingsTable table(nullptr, 2);
    TableFullNotice notice(table);
    const auto post = [&table](const QString &host) {
        table.fillgrid(makeReading(host, u" n"_qs, u" 1 "_qs));
        table.publish();
    };
    post(u"a"_qs);
    post(u"b"_qs);
    post(u"c"_qs);
    QVERIFY(!notice.take().isEmpty());
    QVERIFY(!notice.roomAgain()); // still full
    table.removeHosts({0});
    QVERIFY(notice.roomAgain());
    QVERIFY(!notice.told());
    QVERIFY(notice.take().isEmpty()); // c was turned away before there was room
    post(u"c"_qs);
    QCOMPARE(table.text(1, 0), u"c");
    post(u"d"_qs);
    QVERIFY(!notice.take().isEmpty()); // full again: told again
    QCOMPARE(table.droppedHosts(), 2);
    table.clear();
    QVERIFY(notice.roomAgain());
    QCOMPARE(table.hostCount(), 0);
}

void TestReadingsTable::overdue_data()
{
    QTest::addColumn<QList<double>>("heardAt"); // seconds; a tick comes before each
    QTest::addColumn<double>("checkedAt");      // the last tick, when later than the last heard
    QTest::addColumn<bool>("overdue");
    QTest::addColumn<QString>("description");

    QTest::newRow("heard once, 5 minutes")
        << QList<double>{0} << 300.0 << false << u"CPU: heard 5 min ago, only once so far"_qs;
    QTest::newRow("heard once, past 5 minutes")
        << QList<double>{0} << 300.1 << true
        << u"CPU: heard 5 min ago, only once so far; overdue"_qs;
    QTest::newRow("three usual intervals") << QList<double>{0, 60, 120} << 300.0 << false
                                           << u"CPU: heard 3 min ago, usually every 60 s"_qs;
    QTest::newRow("past three usual intervals")
        << QList<double>{0, 60, 120} << 300.1 << true
        << u"CPU: heard 3 min ago, usually every 60 s; overdue"_qs;
    QTest::newRow("one lost datagram") << QList<double>{0, 60, 120} << 250.0 << false
                                       << u"CPU: heard 2 min 10 s ago, usually every 60 s"_qs;
    QTest::newRow("after one lost datagram") << QList<double>{0, 60, 120, 240} << 420.0 << false
                                             << u"CPU: heard 3 min ago, usually every 75 s"_qs;
    QTest::newRow("never sooner than 30 s") << QList<double>{0, 2, 4, 6} << 36.0 << false
                                            << u"CPU: heard 30 s ago, usually every 2 s"_qs;
    QTest::newRow("past 30 s") << QList<double>{0, 2.5, 5, 7.5} << 37.6 << true
                               << u"CPU: heard 30 s ago, usually every 2.5 s; overdue"_qs;
    QTest::newRow("a duplicate on first contact")
        << QList<double>{0, 0.1, 60, 120, 180} << 215.0 << false
        << u"CPU: heard 35 s ago, usually every 19 s"_qs;
    QTest::newRow("heard again, current at once") << QList<double>{0, 60, 600} << 600.0 << false
                                                  << u"CPU: heard 0 s ago, usually every 90 s"_qs;
    QTest::newRow("an hour and a half")
        << QList<double>{0} << 5400.0 << true
        << u"CPU: heard 1 h 30 min ago, only once so far; overdue"_qs;
    QTest::newRow("days and hours") << QList<double>{0} << 183600.0 << true
                                    << u"CPU: heard 2 d 3 h ago, only once so far; overdue"_qs;
}

void TestReadingsTable::overdue()
{
    QFETCH(QList<double>, heardAt);
    QFETCH(double, checkedAt);
    QFETCH(bool, overdue);
    QFETCH(QString, description);

    FakeReceiveClock clock;
    ReadingsTable table(nullptr, ReadingsTable::defaultHostLimit, &clock);
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (const double at : heardAt) {
        clock.seconds = at;
        table.tick();
        table.beginBatch();
        table.fillgrid(makeReading(u"host1"_qs, u" CPU"_qs, u" 45 "_qs));
        table.publish();
    }
    clock.seconds = checkedAt;
    if (checkedAt > heardAt.constLast())
        table.tick();

    const QColor grey = QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
    PlaceholderRows shown(&table);
    shown.setSourceModel(&table);
    const QModelIndex name = table.index(0, 3);
    const QModelIndex value = table.index(0, 4);
    QCOMPARE(shown.index(0, 3).data(Qt::ForegroundRole).value<QColor>(),
             overdue ? grey : QColor(Qt::blue));
    QCOMPARE(shown.index(0, 4).data(Qt::ForegroundRole), overdue ? QVariant(grey) : QVariant());
    for (const QModelIndex &cell : {name, value}) {
        QCOMPARE(cell.data(Qt::AccessibleDescriptionRole).toString(), description);
        QVERIFY(cell.data(Qt::ToolTipRole).toString().contains(description));
    }
    QVERIFY(!table.index(0, 5).data(Qt::ToolTipRole).isValid());
    // One pair alone: the host is silent exactly when it is overdue.
    QCOMPARE(table.silence().silentHosts(), overdue ? 1 : 0);
}

void TestReadingsTable::silentHosts()
{
    FakeReceiveClock clock;
    ReadingsTable table(nullptr, ReadingsTable::defaultHostLimit, &clock);
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy counted(&table.silence(), &SilenceWatch::silentHostsChanged);
    // Which hosts, as "silent 0 2" or "again 1", in the order told.
    QStringList told;
    const auto record = [&told](const QString &what) {
        return [&told, what](const std::vector<int> &rows) {
            QString text = what;
            for (const int row : rows)
                text += u' ' + QString::number(row);
            told << text;
        };
    };
    connect(&table.silence(), &SilenceWatch::hostsFellSilent, this, record(u"silent"_qs));
    connect(&table.silence(), &SilenceWatch::hostsHeardAgain, this, record(u"again"_qs));
    const auto hear = [&](double at, const QStringList &readings) {
        clock.seconds = at;
        table.beginBatch();
        for (const QString &line : readings) {
            const QStringList f = line.split(u'|');
            table.fillgrid(makeReading(f[0], f[1], u" 1 "_qs));
        }
        table.publish();
    };
    const auto tickAt = [&](double at) {
        clock.seconds = at;
        table.tick();
    };
    const QColor grey = QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
    PlaceholderRows shown(&table);
    shown.setSourceModel(&table);
    const auto hostIsGrey = [&](int row) {
        return shown.headerData(row, Qt::Vertical, Qt::ForegroundRole) == QVariant(grey)
               && shown.index(row, 1).data(Qt::ForegroundRole) == QVariant(grey);
    };

    // Every 10 s, so overdue after 30 s; b's Fan, heard later, after 41 s more.
    for (const double at : {0.0, 10.0})
        hear(at, {u"a| <i>CPU</i>"_qs, u"b| CPU"_qs, u"b| Fan"_qs});
    hear(35, {u"b| Fan"_qs});
    tickAt(40.1);
    QCOMPARE(table.silence().silentHosts(), 1);
    QVERIFY(hostIsGrey(0));
    QVERIFY(!hostIsGrey(1));
    QCOMPARE(shown.index(1, 3).data(Qt::ForegroundRole).value<QColor>(), grey);
    QCOMPARE(shown.index(1, 5).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::blue));
    QCOMPARE(table.lastHeard(0), clock.wallAtZero.addSecs(10));
    QCOMPARE(table.headerData(0, Qt::Vertical, Qt::AccessibleDescriptionRole).toString(),
             u"a: last heard 2026-03-01 12:00:10, 30 s ago; silent, every reading overdue"_qs);
    QCOMPARE(table.index(1, 2).data(Qt::AccessibleDescriptionRole).toString(),
             u"b: last heard 2026-03-01 12:00:35, 5.1 s ago"_qs);
    // A name that looks like markup is shown as it is.
    QVERIFY(table.index(0, 3)
                .data(Qt::ToolTipRole)
                .toString()
                .contains(u"&lt;i&gt;CPU&lt;/i&gt;: heard 30 s ago"));

    tickAt(80);
    QCOMPARE(table.silence().silentHosts(), 2);
    QVERIFY(hostIsGrey(1));
    // Heard again: out of the count at once, without waiting for the next tick.
    QSignalSpy headers(&table, &ReadingsTable::headerDataChanged);
    hear(85, {u"a| <i>CPU</i>"_qs});
    QCOMPARE(headers.size(), 1);
    QCOMPARE(headers.constFirst(), (QVariantList{QVariant::fromValue(Qt::Vertical), 0, 0}));
    QCOMPARE(table.silence().silentHosts(), 1);
    QVERIFY(!hostIsGrey(0));
    QCOMPARE(shown.index(0, 4).data(Qt::ForegroundRole), QVariant());
    QCOMPARE(table.lastHeard(0), clock.wallAtZero.addSecs(85));
    QCOMPARE(counted.size(), 3);
    QCOMPARE(told, (QStringList{u"silent 0"_qs, u"silent 1"_qs, u"again 0"_qs}));
    QCOMPARE(counted.constLast().constFirst().toInt(), 1);
    QVERIFY(!table.lastHeard(2).isValid());

    // A silent host removed leaves the count; the rows left keep their times and deadlines.
    table.removeHosts({1});
    QCOMPARE(table.silence().silentHosts(), 0);
    QCOMPARE(table.lastHeard(0), clock.wallAtZero.addSecs(85));
    tickAt(200);
    QCOMPARE(table.silence().silentHosts(), 1);
    QCOMPARE(told.constLast(), u"silent 0");
    QVERIFY(hostIsGrey(0));
}

QTEST_APPLESS_MAIN(TestReadingsTable)
#include "tst_readingstable.moc"
