#include "datagramcheck.h"

#include "engine/history/historystore.h"
#include "engine/limits/limitjudge.h"
#include "engine/limits/limitwatch.h"
#include "engine/overview/overviewmodel.h"
#include "engine/reception/readingparser.h"
#include "engine/reception/readingstable.h"
#include "gridaddress.h"
#include "oracle.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
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

// Names a seed or the dictionary holds, ruled from the start.
const char *const knownNames[] = {"t", "CPU", "cpu", "mem", "disk", "load", "state", "temp"};
// Rules for a table with many names are made for the newest this many: setting rules judges
// the whole table again.
constexpr int mostRuledNames = 400;
constexpr int publishesPerRules = 8;

QJsonArray words(std::initializer_list<const char *> list)
{
    QJsonArray array;
    for (const char *word : list)
        array.append(QString::fromUtf8(word));
    return array;
}

// Rules of several kinds, picked by the name: bounds with and without units, words, host
// patterns over a rule for every host, counts and margins, and a rule with a mistake.
void addRules(QJsonArray &rules, const QString &name)
{
    const auto rule = [&name](std::initializer_list<std::pair<const char *, QJsonValue>> keys) {
        QJsonObject object{{u"reading"_qs, name}};
        for (const auto &[key, value] : keys)
            object.insert(QString::fromUtf8(key), value);
        return object;
    };
    switch (qHash(name) % 8) {
    case 0:
        rules.append(rule({{"warningAbove", 50}, {"criticalAbove", 90}, {"margin", 0}}));
        break;
    case 1:
        rules.append(rule({{"warningAbove", u"20%"_qs},
                           {"criticalAbove", u"80%"_qs},
                           {"warningBelow", u"5%"_qs},
                           {"after", 2}}));
        break;
    case 2:
        rules.append(rule({{"criticalText", words({"down", "fail"})},
                           {"warningText", words({"warn", "degraded", " "})},
                           {"margin", 0}}));
        break;
    case 3:
        rules.append(
            rule({{"warningBelow", u"10C"_qs}, {"criticalBelow", u"-5c"_qs}, {"margin", 1}}));
        break;
    case 4:
        rules.append(rule({{"hosts", words({"host?", "*.example", "192.0.2.*"})},
                           {"criticalAbove", u"3.2G"_qs},
                           {"warningAbove", u"1G"_qs},
                           {"after", 1},
                           {"margin", 0}}));
        rules.append(rule({{"warningAbove", 0}, {"criticalText", u"ERR"_qs}, {"after", 3}}));
        break;
    case 5:
        rules.append(
            rule({{"warningAbove", u"1kB/s"_qs}, {"criticalText", u"ERR"_qs}, {"after", 1000}}));
        break;
    case 6:
        rules.append(rule({{"criticalAbove", 1e300},
                           {"criticalBelow", -1e300},
                           {"warningAbove", 0.5},
                           {"warningBelow", -0.5},
                           {"margin", 0}}));
        break;
    default:
        rules.append(rule({{"warningAbove", u"abc"_qs}}));
        break;
    }
}

bool isTroubleLevel(LimitState::Level level)
{
    return level == LimitState::Level::Warning || level == LimitState::Level::Critical;
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
    // Received tenths to minutes apart, now and then after more than an hour, and sometimes
    // in the same tenth as the input before.
    const size_t step = qHash(bytes, 0x5e5e);
    m_clock->seconds += step % 64 == 0 ? 3700 : double(step % 600) / 10;
    m_table->beginBatch();
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
    m_overview.reset();
    m_history.reset();
    m_limits.reset();
    m_tester.reset();
    m_table.reset();
    m_clock = std::make_unique<FakeReceiveClock>();
    m_table = std::make_unique<ReadingsTable>(nullptr, m_options.hostLimit, m_clock.get());
    m_grid = std::make_unique<LiteralGrid>(m_options.hostLimit);
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_table.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    m_limits = std::make_unique<LimitWatch>(*m_table);
    m_namesRuled = 0;
    m_publishesSinceRules = 0;
    updateRules();
    m_history = std::make_unique<HistoryStore>(*m_table, m_options.historyCapBytes);
    m_overview = std::make_unique<OverviewModel>(*m_table);
}

// Rules for the names heard so far, set again as new ones come, but not at every publish.
void DatagramCheck::updateRules()
{
    const int names = m_table->nameIdCount();
    if (m_namesRuled > 0 && (names == m_namesRuled || m_publishesSinceRules < publishesPerRules))
        return;
    m_publishesSinceRules = 0;
    m_namesRuled = std::max(names, 1);
    QJsonArray rules;
    for (const char *name : knownNames)
        addRules(rules, QString::fromUtf8(name));
    for (int id = std::max(0, names - mostRuledNames); id < names; ++id)
        addRules(rules, m_table->nameText(id));
    m_limits->setRules(LimitRules(QJsonObject{{LimitRules::key, rules}}));
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
    m_table->tick();
    ++m_publishesSinceRules;
    updateRules();
    // What the engine left to its timers: rules applied in slices, thinning spread out.
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    checkLimitCounts();
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
        checkLimits(row);
        checkOverview(row);
        checkHistory(row);
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

void DatagramCheck::checkLimitCounts()
{
    int critical = 0;
    int warning = 0;
    for (int row = 0; row < m_table->hostCount(); ++row) {
        critical += m_limits->hostLevel(row) == LimitState::Level::Critical ? 1 : 0;
        warning += m_limits->hostLevel(row) == LimitState::Level::Warning ? 1 : 0;
    }
    check(m_limits->criticalHosts() == critical, "critical hosts counted",
          QString::number(m_limits->criticalHosts()));
    check(m_limits->warningHosts() == warning, "warning hosts counted",
          QString::number(m_limits->warningHosts()));
}

// A host's level is the worst of its readings'; a reading that a rule names has a state, and
// where it shows at the first value and holds no margin, the state is that of its value alone.
void DatagramCheck::checkLimits(int row)
{
    const LimitRules &rules = m_limits->rules();
    LimitState::Level worst = LimitState::Level::Normal;
    int worstPair = -1;
    for (int pair = 0; pair < m_table->pairsInUse(row); ++pair) {
        const LimitState *const state = m_limits->state(row, pair);
        const LimitRule *const limits = m_limits->limits(row, pair);
        const QString description = m_limits->description(row, pair);
        check((state == nullptr) == (limits == nullptr), "state without limits or limits without",
              QString::number(pair));
        if (!state) {
            check(description.isEmpty(), "description without a state", description);
        } else {
            check(description.isEmpty() == (state->level() == LimitState::Level::Normal),
                  "description and level disagree", description);
            if (isTroubleLevel(state->level()) && (worstPair < 0 || state->level() > worst)) {
                worst = state->level();
                worstPair = pair;
            }
        }
        if (m_limits->isApplying())
            continue;
        const int id = m_table->nameId(row, pair);
        const bool covered = id >= 0 && rules.covers(m_table->nameText(id));
        check(covered == (limits != nullptr), "rules and limits disagree",
              id >= 0 ? m_table->nameText(id) : QString());
        if (limits && limits->afterOrDefault() == 1 && limits->margin == 0.0) {
            LimitState alone;
            const QString value = m_table->value(row, pair);
            alone.update(LimitJudge(*limits), value);
            check(alone.level() == state->level(), "level not that of the value alone", value);
        }
    }
    check(m_limits->hostLevel(row) == worst, "host level not its worst reading's",
          QString::number(row));
    check(m_limits->worstPair(row) == worstPair, "worst pair", QString::number(row));
}

// Every name of the row stands in its own column, with the row's value, unless the columns
// ran out.
void DatagramCheck::checkOverview(int row)
{
    const OverviewModel &overview = *m_overview;
    check(overview.rowCount() == m_table->rowCount(), "overview row count");
    const int columns = overview.columnCount();
    check(columns <= OverviewModel::firstReadingColumn + OverviewModel::maxReadingColumns,
          "overview columns over the limit");
    QHash<QString, int> columnOfTitle;
    for (int column = OverviewModel::firstReadingColumn; column < columns; ++column) {
        const QString title = overview.columnTitle(column);
        check(!title.isEmpty(), "overview column without a title", QString::number(column));
        check(!columnOfTitle.contains(title), "overview title twice", title);
        columnOfTitle.insert(title, column);
        const int pair = overview.pairOf(row, column);
        if (pair < 0)
            continue;
        check(m_table->nameText(m_table->nameId(row, pair)) == title, "overview pair's name",
              title);
    }
    for (int pair = 0; pair < m_table->pairsInUse(row); ++pair) {
        const int id = m_table->nameId(row, pair);
        if (id < 0)
            continue;
        const QString name = m_table->nameText(id);
        const int column = columnOfTitle.value(name, -1);
        if (column < 0) {
            check(overview.leftOutNames() > 0, "name without an overview column", name);
            continue;
        }
        check(overview.pairOf(row, column) == pair, "overview column's pair", name);
        check(overview.cellText(row, column) == literalTrim(m_table->value(row, pair)),
              "overview cell", overview.cellText(row, column));
    }
    for (int column = 0; column < columns; ++column) {
        const QString shown = overview.index(row, column).data().toString();
        check(std::none_of(shown.cbegin(), shown.cend(), isUnsafeForDisplay),
              "unsafe character shown in the overview", shown);
    }
}

// Points and words in the order heard, within their bounds.
void DatagramCheck::checkHistory(int row)
{
    const HistoryStore &history = *m_history;
    for (int pair = 0; pair < m_table->pairsInUse(row); ++pair) {
        HistoryStore::Tenths last = 0;
        history.forEachPoint(row, pair, [&last](const HistoryStore::Point &point) {
            check(point.time() >= last, "history point before the one before",
                  QString::number(point.time()));
            last = point.time();
        });
        const std::vector<HistoryStore::WordChange> changes = history.wordChanges(row, pair);
        check(changes.size() <= size_t(HistoryStore::maxWordChanges), "too many word changes");
        for (size_t i = 1; i < changes.size(); ++i)
            check(changes[i - 1].time <= changes[i].time, "word change before the one before");
    }
    HistoryStore::Tenths last = 0;
    history.forEachPointOfRow(row, 0, [&last](int pair, const HistoryStore::Point &point) {
        check(pair >= 0 && pair < ReadingsTable::pairCount, "history pair out of range");
        check(point.time() >= last, "row's history out of order");
        last = point.time();
    });
}
