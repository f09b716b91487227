// Feeds arbitrary bytes down the path a received datagram takes: decode, parse, post
// into one table that lives across inputs. Beside it runs a plain, literal model of the
// parser and of the grid; any difference, and any broken invariant, aborts so that the
// fuzzer keeps the input.

#include "reception/datagramsocket.h"
#include "reception/gridaddress.h"
#include "reception/reading.h"
#include "reception/readingparser.h"
#include "reception/readingstable.h"

#include <QAbstractItemModelTester>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// Small enough that the fuzzer reaches it; the table is started afresh now and then so
// that filling it up is explored as much as a full table.
constexpr int fuzzHostLimit = 300;
constexpr int inputsPerTable = 100000;
constexpr int inputsPerPublish = 64;

[[noreturn]] void fail(const char *what, const QString &detail = {})
{
    std::fprintf(stderr, "invariant broken: %s %s\n", what, qUtf8Printable(detail));
    std::abort();
}

void check(bool condition, const char *what, const QString &detail = {})
{
    if (!condition)
        fail(what, detail);
}

QStringView trimmedView(QStringView text)
{
    while (text.startsWith(u' '))
        text = text.sliced(1);
    while (text.endsWith(u' '))
        text.chop(1);
    return text;
}

QString trimmed(const QString &text)
{
    return trimmedView(text).toString();
}

qsizetype positionOf(const QString &text, QChar c)
{
    return text.indexOf(c) + 1;
}

QString take(const QString &text, qsizetype start, qsizetype n)
{
    return start > text.size() ? QString() : text.mid(start - 1, n);
}

// The parsing steps written out one by one with 1-based positions, on copies.
bool literalParse(Reading &r)
{
    QString buffer = r.buffer;
    if (const qsizetype p = positionOf(buffer, u'>'); p != 0)
        buffer = take(buffer, p + 1, 255);
    const QString date = take(buffer, 1, 6);
    const QString time = take(buffer, 8, 8);
    buffer = take(buffer, 17, 255);
    const qsizetype s = positionOf(buffer, u' ');
    QString host = r.host;
    if (s != 0)
        host = trimmed(take(buffer, 1, s - 1));
    buffer = take(buffer, s + 1, 255);
    const qsizetype a = positionOf(buffer, u'[');
    const qsizetype b = positionOf(buffer, u']');
    QString name = r.name;
    if (a != 0 && b != 0) {
        if (b < a)
            return false;
        name = u' ' + trimmed(take(buffer, a + 1, b - a - 1));
    }
    if (const qsizetype k = positionOf(buffer, u':'); k != 0)
        buffer = trimmed(take(buffer, k + 1, 255));
    const qsizetype e = positionOf(buffer, u'=');
    const qsizetype f = positionOf(buffer, u' ');
    if (f <= e)
        return false;
    r = {buffer, date, time, host, name, u' ' + trimmed(take(buffer, e + 1, f - e - 1)) + u' '};
    return true;
}

QString deepCopy(const QString &text)
{
    return QString(text.constData(), text.size());
}

Reading deepCopy(const Reading &r)
{
    return {deepCopy(r.buffer), deepCopy(r.date), deepCopy(r.time),
            deepCopy(r.host),   deepCopy(r.name), deepCopy(r.value)};
}

void compareReadings(const Reading &actual, const Reading &expected)
{
    check(actual.buffer == expected.buffer, "buffer", actual.buffer);
    check(actual.date == expected.date, "date", actual.date);
    check(actual.time == expected.time, "time", actual.time);
    check(actual.host == expected.host, "host", actual.host);
    check(actual.name == expected.name, "name", actual.name);
    check(actual.value == expected.value, "value", actual.value);
}

// The grid as cells, searched cell by cell the way the table is meant to behave.
class LiteralGrid final
{
public:
    using Cells = std::array<QString, ReadingsTable::columnCountTotal>;

    explicit LiteralGrid(int hostLimit)
        : m_hostLimit(hostLimit)
    {
    }

    void fillgrid(const Reading &reading)
    {
        const auto found = m_rowOfHost.constFind(reading.host);
        if (found == m_rowOfHost.cend()) {
            if (m_rows.size() >= m_hostLimit) {
                ++m_dropped;
                return;
            }
            Cells cells;
            cells[0] = deepCopy(reading.host);
            cells[1] = deepCopy(reading.date);
            cells[2] = deepCopy(reading.time);
            m_rowOfHost.insert(cells[0], int(m_rows.size()));
            m_rows.append(cells);
            return;
        }
        Cells &cells = m_rows[*found];
        const QStringView name = trimmedView(reading.name);
        int column = 0;
        for (int j = 3; j <= 129; j += 2) {
            const QStringView cell = trimmedView(cells[j]);
            if (cell == name)
                column = j;
            if (cell.isEmpty() && column == 0)
                column = j;
        }
        if (column == 0)
            return;
        cells[column] = deepCopy(reading.name);
        cells[column + 1] = deepCopy(reading.value);
        cells[1] = deepCopy(reading.date);
        cells[2] = deepCopy(reading.time);
    }

    int rowOf(const QString &host) const { return m_rowOfHost.value(host, -1); }
    int hostCount() const { return int(m_rows.size()); }
    qint64 dropped() const { return m_dropped; }
    const Cells &row(int index) const { return m_rows[index]; }

private:
    const int m_hostLimit;
    QList<Cells> m_rows;
    QHash<QString, int> m_rowOfHost;
    qint64 m_dropped = 0;
};

bool isUnsafeForDisplay(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u <= 0x9f) || (u >= 0x202a && u <= 0x202e)
           || (u >= 0x2066 && u <= 0x2069) || u == 0x200e || u == 0x200f || u == 0x061c;
}

class Harness final
{
public:
    void run(QByteArrayView bytes)
    {
        if (m_inputs % inputsPerTable == 0)
            restart();
        ++m_inputs;

        decodeDatagram(bytes, m_reading);
        check(m_reading.buffer.size() <= bytes.size(), "decoded text longer than the datagram");
        // Deep copies: the parser works in place only on fields that nothing else shares,
        // and that is the path a real datagram takes.
        Reading expected = deepCopy(m_reading);
        const bool parsed = literalParse(expected);
        const Reading before = deepCopy(m_reading);
        check(parseudp(m_reading) == parsed, "parse result", before.buffer.left(300));
        compareReadings(m_reading, parsed ? expected : before);
        if (parsed) {
            check(m_reading.date.size() <= 6 && m_reading.time.size() <= 8
                      && m_reading.host.size() <= 255 && m_reading.buffer.size() <= 255,
                  "field longer than its cut");
            m_table->fillgrid(m_reading);
            m_grid->fillgrid(m_reading);
        }

        check(m_table->hostCount() <= m_table->hostLimit(), "host count over the limit");
        check(m_table->hostCount() == m_grid->hostCount(), "host count");
        check(m_table->droppedHosts() == m_grid->dropped(), "dropped hosts");
        if (parsed)
            compareRow(m_grid->rowOf(m_reading.host));

        if (m_inputs % inputsPerPublish == 0)
            publishAndSpotCheck(bytes);
    }

private:
    void restart()
    {
        m_tester.reset();
        m_table = std::make_unique<ReadingsTable>(nullptr, fuzzHostLimit);
        m_grid = std::make_unique<LiteralGrid>(fuzzHostLimit);
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_table.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    }

    // row: 0-based host row, -1 for none.
    void compareRow(int row)
    {
        if (row < 0)
            return;
        const LiteralGrid::Cells &cells = m_grid->row(row);
        QSet<QStringView> names;
        for (int column = 0; column < ReadingsTable::columnCountTotal; ++column) {
            const QString text = GridAddress(*m_table).cellText(GridAddress::gridRow(row), column);
            if (text != cells[column])
                fail("cell text", u"row %1 column %2: %3"_qs.arg(GridAddress::gridRow(row))
                                      .arg(column)
                                      .arg(text));
            if (m_table->isNameColumn(column) && !text.isEmpty()) {
                // Views into the reference grid's cells, which outlive this loop.
                const QStringView name = trimmedView(cells[column]);
                check(name.isEmpty() || !names.contains(name), "name twice in a row", text);
                names.insert(name);
            }
        }
        // A host's row is the one and only row that holds it.
        check(m_grid->rowOf(cells[0]) == row, "host in two rows", cells[0]);
    }

    void publishAndSpotCheck(QByteArrayView bytes)
    {
        m_table->publish();
        const int hosts = m_table->hostCount();
        check(m_table->rowCount() == (hosts == 0 ? ReadingsTable::placeholderRows : hosts),
              "published row count");
        check(GridAddress(*m_table).rowCount()
                  == (hosts == 0 ? 1 + ReadingsTable::placeholderRows : hosts + 1),
              "grid row count");
        if (hosts == 0)
            return;
        // Rows picked by the input, so that all of them are looked at over time.
        const uint seed = qHash(bytes, m_inputs);
        for (int i = 0; i < 3; ++i) {
            const int row = int((seed >> (8 * i)) % uint(hosts));
            compareRow(row);
            checkShown(row);
        }
    }

    // What a view shows holds nothing that could garble or reorder the screen.
    void checkShown(int row)
    {
        const QString header = m_table->headerData(row, Qt::Vertical).toString();
        check(std::none_of(header.cbegin(), header.cend(), isUnsafeForDisplay),
              "unsafe character shown in a row header", header);
        for (int column = 0; column < ReadingsTable::columnCountTotal; ++column) {
            const QString shown = m_table->index(row, column).data().toString();
            check(std::none_of(shown.cbegin(), shown.cend(), isUnsafeForDisplay),
                  "unsafe character shown", shown);
        }
    }

    std::unique_ptr<ReadingsTable> m_table;
    std::unique_ptr<LiteralGrid> m_grid;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    Reading m_reading;
    qint64 m_inputs = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Nothing larger can arrive in one UDP datagram.
    if (size > std::size_t(DatagramSocket::maxDatagramSize))
        return -1;
    static Harness harness;
    harness.run(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
