#include "metricsexposition.h"

#include "engine/limits/limitwatch.h"
#include "engine/reception/readingstable.h"
#include "engine/reception/valuenumber.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace {

struct FamilyText
{
    const char *name; // as the text format names it; OpenMetrics leaves out "_total"
    const char *type;
    const char *help;
    const char *unit; // for OpenMetrics, where the name ends in it; null for none
};

constexpr std::array<FamilyText, 9> families{{
    {"senvo_datagrams_received_total", "counter",
     "Datagrams that reached the syslog port, ignored ones included.", nullptr},
    {"senvo_bytes_received_total", "counter", "Bytes of the datagrams received.", nullptr},
    {"senvo_datagrams_ignored_total", "counter",
     "Datagrams from senders that are not allowed, never read.", nullptr},
    {"senvo_hosts", "gauge", "Hosts in the table.", nullptr},
    {"senvo_hosts_silent", "gauge", "Hosts whose readings are all overdue.", nullptr},
    {"senvo_host_last_heard_timestamp_seconds", "gauge",
     "When a reading of the host last arrived, in seconds since 1970.", "seconds"},
    {"senvo_reading", "gauge", "Readings whose value starts with a number, in their unit.",
     nullptr},
    {"senvo_reading_info", "gauge", "Readings whose value is a word.", nullptr},
    {"senvo_reading_state", "gauge",
     "Each reading's state: 0 normal, 1 warning, 2 critical, 3 silent.", nullptr},
}};

// As the formats want it: backslash, double quote and line feed escaped, and everything else
// as UTF-8, a lone surrogate as U+FFFD.
void appendEscaped(QByteArray &out, QStringView text)
{
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    while (p < end) {
        char32_t c = *p++;
        if (c < 0x80) {
            switch (c) {
            case u'\\':
                out += "\\\\";
                break;
            case u'"':
                out += "\\\"";
                break;
            case u'\n':
                out += "\\n";
                break;
            default:
                out += char(c);
            }
            continue;
        }
        if (QChar::isHighSurrogate(c) && p < end && QChar::isLowSurrogate(*p))
            c = QChar::surrogateToUcs4(char16_t(c), *p++);
        else if (QChar::isSurrogate(c))
            c = QChar::ReplacementCharacter;
        char bytes[4];
        int count = 0;
        if (c < 0x800) {
            bytes[count++] = char(0xc0 | (c >> 6));
        } else if (c < 0x10000) {
            bytes[count++] = char(0xe0 | (c >> 12));
            bytes[count++] = char(0x80 | ((c >> 6) & 0x3f));
        } else {
            bytes[count++] = char(0xf0 | (c >> 18));
            bytes[count++] = char(0x80 | ((c >> 12) & 0x3f));
            bytes[count++] = char(0x80 | ((c >> 6) & 0x3f));
        }
        bytes[count++] = char(0x80 | (c & 0x3f));
        out.append(bytes, count);
    }
}

// The shortest text that reads back as the same double, in a form both formats parse.
void appendNumber(QByteArray &out, double value)
{
    if (std::isnan(value)) {
        out += "NaN";
    } else if (std::isinf(value)) {
        out += value > 0 ? "+Inf" : "-Inf";
    } else {
        char text[32];
        // Whole numbers as they are written, where the shortest form would be "3.2e+09".
        const bool whole = std::abs(value) < 1e15 && value == std::trunc(value);
        const std::to_chars_result written =
            whole ? std::to_chars(text, text + sizeof text, qint64(value))
                  : std::to_chars(text, text + sizeof text, value);
        out.append(text, written.ptr - text);
    }
}

QByteArrayView trimmedBlanks(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

} // namespace

MetricsExposition::MetricsExposition(const ReadingsTable &table, const Counters &counters,
                                     Format format, QObject *parent)
    : QObject(parent)
    , m_table(table)
    , m_counters(counters)
    , m_format(format)
{
    connect(&table, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { rowsGoing(first, last); });
    // Rows after a reset are all new: the family under way ends where it is.
    connect(&table, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_row = m_end = 0; });
}

QByteArrayView MetricsExposition::contentType(Format format)
{
    return format == Format::OpenMetrics100
               ? QByteArrayView("application/openmetrics-text; version=1.0.0; charset=utf-8")
               : QByteArrayView("text/plain; version=0.0.4; charset=utf-8");
}

MetricsExposition::Format MetricsExposition::negotiate(QByteArrayView acceptHeader)
{
    double openMetrics = 0;
    double text = 0;
    const QList<QByteArray> ranges = acceptHeader.toByteArray().split(',');
    for (const QByteArrayView range : ranges) {
        QByteArrayView type;
        QByteArrayView version;
        double quality = 1;
        qsizetype start = 0;
        for (bool first = true; start <= range.size(); first = false) {
            qsizetype semicolon = range.indexOf(';', start);
            if (semicolon < 0)
                semicolon = range.size();
            const QByteArrayView field = trimmedBlanks(range.sliced(start, semicolon - start));
            start = semicolon + 1;
            if (first) {
                type = field;
                continue;
            }
            const qsizetype equals = field.indexOf('=');
            if (equals < 0)
                continue;
            const QByteArray name = trimmedBlanks(field.first(equals)).toByteArray().toLower();
            const QByteArrayView value = trimmedBlanks(field.sliced(equals + 1));
            if (name == "q") {
                bool ok = false;
                const double q = value.toByteArray().toDouble(&ok);
                quality = ok ? std::clamp(q, 0.0, 1.0) : 0;
            } else if (name == "version") {
                version = value;
            }
        }
        const QByteArray lower = type.toByteArray().toLower();
        if (lower == "application/openmetrics-text"
            && (version.isEmpty() || version == "1.0.0" || version == "0.0.1"))
            openMetrics = std::max(openMetrics, quality);
        else if ((lower == "text/plain" && (version.isEmpty() || version == "0.0.4"))
                 || lower == "text/*" || lower == "*/*")
            text = std::max(text, quality);
    }
    return openMetrics > 0 && openMetrics >= text ? Format::OpenMetrics100 : Format::Text004;
}

bool MetricsExposition::writeNext(QByteArray &out, qsizetype atLeast)
{
    const qsizetype goal = out.size() + std::max<qsizetype>(atLeast, 1);
    // The table's clock may have moved on since the last piece.
    m_heardAnchor.reset();
    while (m_family != Family::Done && out.size() < goal)
        step(out);
    return m_family != Family::Done;
}

// One family's head, one row, or the move to the next family.
void MetricsExposition::step(QByteArray &out)
{
    if (m_family == Family::Eof) {
        if (m_format == Format::OpenMetrics100)
            out += "# EOF\n";
        m_family = Family::Done;
        return;
    }
    const bool perRow = m_family >= Family::LastHeard;
    if (!m_begun) {
        writeHead(out);
        m_begun = true;
        if (perRow) {
            m_row = 0;
            m_end = m_table.hostCount();
            return;
        }
        writeScalar(out);
    } else if (perRow && m_row < m_end) {
        writeRow(out, m_row++);
        return;
    }
    m_family = Family(int(m_family) + 1);
    m_begun = false;
}

void MetricsExposition::writeHead(QByteArray &out) const
{
    const FamilyText &family = families[size_t(m_family)];
    QByteArrayView name(family.name);
    if (m_format == Format::OpenMetrics100 && name.endsWith("_total"))
        name.chop(6);
    out.append("# HELP ").append(name).append(' ').append(family.help).append('\n');
    out.append("# TYPE ").append(name).append(' ').append(family.type).append('\n');
    if (m_format == Format::OpenMetrics100 && family.unit)
        out.append("# UNIT ").append(name).append(' ').append(family.unit).append('\n');
}

void MetricsExposition::writeScalar(QByteArray &out) const
{
    double value = 0;
    switch (m_family) {
    case Family::DatagramsReceived:
        value = m_counters.datagrams;
        break;
    case Family::BytesReceived:
        value = m_counters.bytes;
        break;
    case Family::DatagramsIgnored:
        value = m_counters.ignored;
        break;
    case Family::Hosts:
        value = m_table.hostCount();
        break;
    case Family::HostsSilent:
        value = m_table.silence().silentHosts();
        break;
    default:
        return;
    }
    out.append(families[size_t(m_family)].name).append(' ');
    appendNumber(out, value);
    out.append('\n');
}

void MetricsExposition::writeRow(QByteArray &out, int row)
{
    if (row >= m_table.hostCount())
        return;
    const char *const name = families[size_t(m_family)].name;
    m_host.clear();
    appendEscaped(m_host, m_table.host(row));
    if (m_family == Family::LastHeard) {
        const qint64 ago = m_table.tenthsSinceHeard(row);
        if (!m_heardAnchor)
            m_heardAnchor.emplace(m_table.lastHeard(row).toMSecsSinceEpoch(), ago);
        const qint64 heardMs = m_heardAnchor->first + (m_heardAnchor->second - ago) * 100;
        out.append(name).append("{host=\"").append(m_host).append("\"} ");
        appendNumber(out, double(heardMs) / 1000.0);
        out.append('\n');
        return;
    }

    const int pairs = m_table.pairsInUse(row);
    for (int pair = 0; pair < pairs; ++pair) {
        // A pair of a blank name, or none yet, has nothing to be known by.
        const int id = m_table.nameId(row, pair);
        if (id < 0)
            continue;
        const auto begin = [&] {
            out.append(name).append("{host=\"").append(m_host).append("\",reading=\"");
            appendEscaped(out, m_table.nameText(id));
        };
        if (m_family == Family::ReadingState) {
            begin();
            out.append("\"} ").append(char('0' + stateOf(row, pair))).append('\n');
            continue;
        }
        const QString value = m_table.value(row, pair);
        const ValueNumber number = ValueNumber::read(value);
        if (m_family == Family::Reading && number.ok) {
            begin();
            out.append("\",unit=\"");
            appendEscaped(out, number.unit);
            out.append("\"} ");
            appendNumber(out, number.value);
            out.append('\n');
        } else if (m_family == Family::ReadingInfo && !number.ok) {
            const QStringView word = ValueNumber::trimmed(value);
            if (word.isEmpty())
                continue;
            begin();
            out.append("\",value=\"");
            appendEscaped(out, word);
            out.append("\"} 1\n");
        }
    }
}

// 0 normal, 1 warning, 2 critical, 3 silent: an overdue value is stale, whatever it says.
int MetricsExposition::stateOf(int row, int pair) const
{
    const SilenceWatch::Timing *const timing = m_table.timing(row, pair);
    if (timing && m_table.silence().isOverdue(*timing))
        return 3;
    const LimitWatch *const watch = LimitWatch::of(m_table);
    const LimitState *const limit = watch ? watch->state(row, pair) : nullptr;
    switch (limit ? limit->level() : LimitState::Level::Normal) {
    case LimitState::Level::Warning:
        return 1;
    case LimitState::Level::Critical:
        return 2;
    default:
        return 0;
    }
}

void MetricsExposition::rowsGoing(int first, int last)
{
    // How many of the rows going lie below a row.
    const auto goneBelow = [first, last](int row) {
        return std::clamp(row, first, last + 1) - first;
    };
    m_row -= goneBelow(m_row);
    m_end -= goneBelow(m_end);
}
