#include "engine/reception/datagramreceiver.h"
#include "engine/reception/datagramsocket.h"
#include "engine/reception/qtdatagramsocket.h"
#include "engine/reception/readingstable.h"
#include "gridaddress.h"
#include "oracle.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QHostAddress>
#include <QSet>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>

// A cell of the row that holds host: its raw text, and what a view shows of it.
struct Expectation
{
    QString host;
    int column = 0;
    QString text;
    QString shown;
};
Q_DECLARE_METATYPE(Expectation)

namespace {

constexpr int goodHostRow = 1;

const QByteArray good = "<13>Jun 10 19:35:00 good senvo[CPU]: t=45 C";

DatagramSocket *makeSocket(const QString &kind)
{
    return kind == u"qt" ? new QtDatagramSocket : DatagramSocket::create(nullptr);
}

QByteArray datagram(const QByteArray &host, const QByteArray &name = "N",
                    const QByteArray &value = "1")
{
    return "<13>Jun 10 19:35:00 " + host + " senvo[" + name + "]: v=" + value + " x";
}

int gridRowOf(const ReadingsTable &table, const QString &host)
{
    for (int row = 1; row <= table.hostCount(); ++row) {
        if (GridAddress(table).cellText(row, 0) == host)
            return row;
    }
    return 0;
}

} // namespace

class TestHostileDatagrams final : public QObject
{
    Q_OBJECT

private slots:
    void hostileThenGood_data();
    void hostileThenGood();

private:
    static void checkConsistent(const ReadingsTable &table);
};

void TestHostileDatagrams::hostileThenGood_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<QByteArray>>("hostile");
    QTest::addColumn<int>("hostLimit");
    QTest::addColumn<int>("hosts");
    QTest::addColumn<int>("dropped");
    QTest::addColumn<QList<Expectation>>("expected");

    struct Case
    {
        const char *name;
        QList<QByteArray> hostile;
        int hostLimit;
        int hosts; // after the good datagram
        int dropped;
        QList<Expectation> expected;
    };
    const int defaultLimit = ReadingsTable::defaultHostLimit;
    const QString replacement(QChar::ReplacementCharacter);
    QList<Case> cases;

    cases.append({"empty datagram", {QByteArray()}, defaultLimit, 1, 0, {}});
    cases.append({"only '>'", {">"}, defaultLimit, 1, 0, {}});
    cases.append({"only spaces", {QByteArray(300, ' ')}, defaultLimit, 1, 0, {}});
    // The name "Fan" must not carry over to the good host's row.
    cases.append({"no brackets, after another host's name",
                  {datagram("other", "Fan", "7"), "<13>Jun 10 19:35:00 good senvo: v=99 x"},
                  defaultLimit,
                  2,
                  0,
                  {{u"other"_qs, 4, u" 7 "_qs, {}}, {u"good"_qs, 5, QString(), {}}}});
    cases.append({"']' before '['",
                  {"<13>Jun 10 19:35:00 good senvo]CPU[: t=99 C"},
                  defaultLimit,
                  1,
                  0,
                  {}});
    cases.append({"only delimiters",
                  {QByteArray("<>[]:= ").repeated(2000)},
                  defaultLimit,
                  2,
                  0,
                  {{u":="_qs, 0, u":="_qs, u":="_qs}, {u":="_qs, 1, u"[]:= <"_qs, {}}}});
    cases.append(
        {"bytes that are never UTF-8", {QByteArray(4000, '\xff')}, defaultLimit, 1, 0, {}});

    // The largest datagram IPv4 carries, with a reading at its start.
    QByteArray largest = datagram("big") + ' ';
    largest.append(QByteArray(DatagramSocket::maxDatagramSize - largest.size(), 'y'));
    cases.append(
        {"65507 bytes", {largest}, defaultLimit, 2, 0, {{u"big"_qs, 1, u"Jun 10"_qs, {}}}});

    // Positions are not 16-bit: a '>' this far in is found like any other.
    cases.append({"'>' at position 40000",
                  {QByteArray(39999, 'x') + ">Jun 10 19:35:00 far senvo[N]: v=1 x"},
                  defaultLimit,
                  2,
                  0,
                  {{u"far"_qs, 2, u"19:35:00"_qs, {}}}});

    const QString nulHost = u"nul"_qs + QChar(0) + u"host"_qs;
    cases.append({"NUL bytes",
                  {datagram(QByteArray("nul\0host", 8), QByteArray("N\0", 2), QByteArray("\0", 1))},
                  defaultLimit,
                  2,
                  0,
                  {{nulHost, 0, nulHost, u"nul"_qs + replacement + u"host"_qs},
                   {nulHost, 3, u" N"_qs + QChar(0), u" N"_qs + replacement},
                   {nulHost, 4, u" "_qs + QChar(0) + u" "_qs, u" "_qs + replacement + u" "_qs}}});

    const QString badHost = u"bad"_qs + replacement + replacement + u"x"_qs + replacement;
    cases.append({"invalid UTF-8",
                  {datagram("bad\xff\xfex\xc3"), datagram("bad\xff\xfex\xc3", "\xed\xa0\x80")},
                  defaultLimit,
                  2,
                  0,
                  {{badHost, 0, badHost, badHost}}});

    const QString controlHost = u"ev\x1b[2Jil\r\n\x7f"_qs;
    const QString controlShown =
        u"ev"_qs + replacement + u"[2Jil"_qs + replacement + replacement + replacement;
    cases.append({"control characters in the host",
                  {datagram(controlHost.toUtf8())},
                  defaultLimit,
                  2,
                  0,
                  {{controlHost, 0, controlHost, controlShown}}});

    const QString bidiHost = u"\u202egood\u2066x\u2069"_qs;
    const QString bidiShown = replacement + u"good"_qs + replacement + u"x"_qs + replacement;
    cases.append({"direction overrides in the host",
                  {datagram(bidiHost.toUtf8(), "\xe2\x80\x8fN")},
                  defaultLimit,
                  2,
                  0,
                  {{bidiHost, 0, bidiHost, bidiShown},
                   {bidiHost, 3, u" \u200fN"_qs, u" "_qs + replacement + u"N"_qs}}});

    // Only 255 characters after the '>' are looked at, so such a host never has a
    // space after it within reach: no reading.
    cases.append({"255-character host", {datagram(QByteArray(255, 'h'))}, defaultLimit, 1, 0, {}});
    // The longest host that still leaves room for "[]=value ".
    const QString longestHost(233, u'h');
    cases.append({"233-character host",
                  {"<13>Jun 10 19:35:00 " + longestHost.toUtf8() + " []=1 "},
                  defaultLimit,
                  2,
                  0,
                  {{longestHost, 0, longestHost, longestHost}}});

    // Pairs fill up; the 65th name finds no room and leaves the row untouched.
    QList<QByteArray> manyNames;
    QList<Expectation> manyExpected;
    for (int i = 0; i <= ReadingsTable::pairCount; ++i) {
        const QByteArray number = QByteArray::number(i);
        manyNames.append("<13>Jun 10 19:35:" + number.rightJustified(2, '0') + " many senvo[N"
                         + number + "]: v=" + number + " x");
        if (i < ReadingsTable::pairCount) {
            manyExpected.append({u"many"_qs, 3 + 2 * i, u" N%1"_qs.arg(i), {}});
            manyExpected.append({u"many"_qs, 4 + 2 * i, u" %1 "_qs.arg(i), {}});
        }
    }
    manyExpected.append({u"many"_qs, 2, u"19:35:63"_qs, {}});
    cases.append({"65 names from one host", manyNames, defaultLimit, 2, 0, manyExpected});

    // The table is full after four more hosts; the rest are left out, yet hosts that
    // have a row keep posting.
    QList<QByteArray> manyHosts;
    for (int i = 0; i < 10; ++i)
        manyHosts.append(datagram("h" + QByteArray::number(i)));
    manyHosts.append(datagram("h0", "Fan", "7"));
    manyHosts.append(datagram("h9", "Fan", "7"));
    cases.append({"more hosts than the limit",
                  manyHosts,
                  5,
                  5,
                  7,
                  {{u"h0"_qs, 5, u" Fan"_qs, {}}, {u"h0"_qs, 6, u" 7 "_qs, {}}}});

    for (const char *kind : {"platform", "qt"}) {
        for (const Case &c : std::as_const(cases)) {
            QTest::addRow("%s %s", kind, c.name)
                << QString::fromLatin1(kind) << c.hostile << c.hostLimit << c.hosts << c.dropped
                << c.expected;
        }
    }
}

void TestHostileDatagrams::hostileThenGood()
{
    QFETCH(QString, kind);
    QFETCH(QList<QByteArray>, hostile);
    QFETCH(int, hostLimit);
    QFETCH(int, hosts);
    QFETCH(int, dropped);
    QFETCH(QList<Expectation>, expected);

    ReadingsTable table(nullptr, hostLimit);
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::QtTest);
    DatagramReceiver receiver(&table, nullptr, makeSocket(kind));
    const quint16 port = freePort();
    QVERIFY2(receiver.bind(QString::number(port)), qPrintable(receiver.errorString()));
    QUdpSocket sender;

    // The good host's row comes first.
    QCOMPARE(sender.writeDatagram(good, QHostAddress::LocalHost, port), good.size());
    QTRY_COMPARE(receiver.packets(), 1.0);
    QCOMPARE(gridRowOf(table, u"good"_qs), goodHostRow);

    double bytes = receiver.bytes();
    for (const QByteArray &bad : std::as_const(hostile)) {
        QCOMPARE(sender.writeDatagram(bad, QHostAddress::LocalHost, port), bad.size());
        bytes += bad.size();
    }
    const QByteArray last = "<13>Jun 11 08:00:01 good senvo[CPU]: t=46 C";
    QCOMPARE(sender.writeDatagram(last, QHostAddress::LocalHost, port), last.size());
    bytes += last.size();

    QTRY_COMPARE(receiver.packets(), 1.0 + hostile.size() + 1);
    QCOMPARE(receiver.bytes(), bytes);
    receiver.publish();

    QCOMPARE(GridAddress(table).cellText(goodHostRow, 1), u"Jun 11"_qs);
    QCOMPARE(GridAddress(table).cellText(goodHostRow, 2), u"08:00:01"_qs);
    QCOMPARE(GridAddress(table).cellText(goodHostRow, 3), u" CPU"_qs);
    QCOMPARE(GridAddress(table).cellText(goodHostRow, 4), u" 46 "_qs);
    QCOMPARE(table.hostCount(), hosts);
    QCOMPARE(table.droppedHosts(), qint64(dropped));
    for (const Expectation &cell : std::as_const(expected)) {
        const int row = gridRowOf(table, cell.host);
        QVERIFY2(row > 0, qPrintable(u"no row for "_qs + cell.host));
        QCOMPARE(GridAddress(table).cellText(row, cell.column), cell.text);
        if (!cell.shown.isNull()) {
            QCOMPARE(table.index(GridAddress::modelRow(row), cell.column).data().toString(),
                     cell.shown);
            if (cell.column == 0)
                QCOMPARE(table.headerData(GridAddress::modelRow(row), Qt::Vertical).toString(),
                         cell.shown);
        }
    }
    checkConsistent(table);
}

void TestHostileDatagrams::checkConsistent(const ReadingsTable &table)
{
    QVERIFY(table.hostCount() <= table.hostLimit());
    QCOMPARE(GridAddress(table).rowCount(), table.hostCount() + 1);
    QCOMPARE(table.rowCount(), table.hostCount());
    QSet<QString> hosts;
    for (int row = 1; row <= table.hostCount(); ++row) {
        const QString host = GridAddress(table).cellText(row, 0);
        QVERIFY2(!hosts.contains(host), qPrintable(u"host twice: "_qs + host));
        hosts.insert(host);
        QSet<QString> names;
        for (int column = 0; column < ReadingsTable::columnCountTotal; ++column) {
            const QString shown = table.index(GridAddress::modelRow(row), column).data().toString();
            QVERIFY2(std::none_of(shown.cbegin(), shown.cend(), isUnsafeForDisplay),
                     qPrintable(u"shown as is: "_qs + shown));
            if (!table.isNameColumn(column))
                continue;
            const QString name = literalTrim(GridAddress(table).cellText(row, column)).toString();
            if (name.isEmpty())
                continue;
            QVERIFY2(!names.contains(name), qPrintable(u"name twice: "_qs + name));
            names.insert(name);
        }
    }
}

QTEST_GUILESS_MAIN(TestHostileDatagrams)
#include "tst_hostiledatagrams.moc"
