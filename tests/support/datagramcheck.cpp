#include "datagramcheck.h"

#include "engine/reception/readingparser.h"
#include "engine/reception/readingstable.h"
#include "gridaddress.h"
#include "oracle.h"

#include <QAbstractItemModelTester>
#include <QHostAddress>
#include <QSet>

#include <algorithm>

namespace {

void check(bool condition, const char *what, const QString &detail = {})
{
    if (!condition)
        throw DatagramCheck::Broken{QString::fromUtf8(what) + u' ' + detail};
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

// An IPv4 sender, one that reached the IPv6 socket, and an IPv6 one.
const QHostAddress &senderFor(qint64 input)
{
    static const QHostAddress senders[] = {QHostAddress(u"192.0.2.7"_qs),
                                           QHostAddress(u"::ffff:198.51.100.20"_qs),
                                           QHostAddress(u"2001:db8::5"_qs)};
    return senders[input % 3];
}

} // namespace

DatagramCheck::DatagramCheck()
    : DatagramCheck(Options())
{
}

DatagramCheck::DatagramCheck(const Options &options)
    : m_options(options)
{
}

DatagramCheck::~DatagramCheck() = default;

void DatagramCheck::run(QByteArrayView bytes)
{
    if (m_inputs % m_options.inputsPerTable == 0)
        restart();
    ++m_inputs;

    decodeDatagram(bytes, m_reading);
    check(m_reading.buffer.size() <= bytes.size(), "decoded text longer than the datagram");
    // Times a few hours and a few seconds apart, so that every day, hour and second shows up.
    m_now = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).addSecs(m_inputs * 10837);
    m_arrival.startBatch();
    const QHostAddress &sender = senderFor(m_inputs);
    m_arrival.setSender(SenderAddress::fromHostAddress(sender));
    // Deep copies: the parser works in place only on fields that nothing else shares,
    // and that is the path a real datagram takes.
    Reading expected = deepCopy(m_reading);
    const bool parsed = literalParse(expected, senderText(sender), m_now);
    const Reading before = deepCopy(m_reading);
    check(parseudp(m_reading, m_arrival) == parsed, "parse result", before.buffer.left(300));
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

    if (m_inputs % m_options.inputsPerPublish == 0)
        publishAndSpotCheck(bytes);
}

void DatagramCheck::runEach(QByteArrayView input)
{
    for (qsizetype from = 0;;) {
        const qsizetype end = input.indexOf('\x1e', from);
        run(input.sliced(from, (end < 0 ? input.size() : end) - from));
        if (end < 0)
            return;
        from = end + 1;
    }
}

void DatagramCheck::restart()
{
    m_tester.reset();
    m_table = std::make_unique<ReadingsTable>(nullptr, m_options.hostLimit);
    m_grid = std::make_unique<LiteralGrid>(m_options.hostLimit);
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_table.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
}

// row: the host's row counted from 0, -1 for none.
void DatagramCheck::compareRow(int row)
{
    if (row < 0)
        return;
    const GridAddress grid(*m_table);
    const int gridRow = GridAddress::gridRow(row);
    QSet<QStringView> names;
    for (int column = 0; column < ReadingsTable::columnCountTotal; ++column) {
        const QString text = grid.cellText(gridRow, column);
        check(text == m_grid->cell(gridRow, column), "cell text",
              u"row %1 column %2: %3"_qs.arg(gridRow).arg(column).arg(text));
        if (ReadingsTable::isNameColumn(column) && !text.isEmpty()) {
            // Views into the literal grid's cells, which outlive this loop.
            const QStringView name = literalTrim(m_grid->row(row)[column]);
            check(name.isEmpty() || !names.contains(name), "name twice in a row", text);
            names.insert(name);
        }
    }
    // A host's row is the one and only row that holds it.
    check(m_grid->rowOf(m_grid->row(row)[0]) == row, "host in two rows", m_grid->row(row)[0]);
}

void DatagramCheck::publishAndSpotCheck(QByteArrayView bytes)
{
    m_table->publish();
    const int hosts = m_table->hostCount();
    check(m_table->rowCount() == hosts, "published row count");
    check(GridAddress(*m_table).rowCount() == m_grid->rowCount(), "grid row count");
    if (hosts == 0)
        return;
    // Rows picked by the input, so that all of them are looked at over time.
    const uint seed = qHash(bytes, size_t(m_inputs));
    for (int i = 0; i < 3; ++i) {
        const int row = int((seed >> (8 * i)) % uint(hosts));
        compareRow(row);
        checkShown(row);
    }
}

// What a view shows holds nothing that could garble or reorder the screen.
void DatagramCheck::checkShown(int row)
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
