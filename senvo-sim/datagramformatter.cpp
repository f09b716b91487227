#include "datagramformatter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

struct Kind
{
    const char *name;
    const char *unit;
    double low;
    double high;
    int decimals;
};

// What a monitored machine typically reports, with plausible ranges.
constexpr std::array<Kind, 16> kinds{{
    {"CPU", "%", 3, 97, 0},
    {"Memory", "%", 20, 90, 0},
    {"Disk", "%", 35, 95, 1},
    {"Temperature", "C", 35, 85, 1},
    {"Fan", "rpm", 900, 3200, 0},
    {"Load", "load", 0.05, 4, 2},
    {"Swap", "%", 0, 35, 0},
    {"NetIn", "kB/s", 5, 9000, 0},
    {"NetOut", "kB/s", 5, 4000, 0},
    {"DiskIO", "kB/s", 0, 20000, 0},
    {"Processes", "procs", 90, 420, 0},
    {"Voltage", "V", 11.7, 12.3, 2},
    {"Battery", "%", 40, 100, 0},
    {"Humidity", "%", 20, 65, 0},
    {"Power", "W", 45, 310, 0},
    {"Users", "users", 0, 40, 0},
}};

const Kind &kindOf(int reading)
{
    return kinds[size_t(reading) % kinds.size()];
}

constexpr std::array<const char *, 12> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<double, 3> scales{1, 10, 100};
constexpr char priority[] = "<13>"; // facility user, severity notice

int digitsOf(quint64 number)
{
    int digits = 1;
    while (number >= 10) {
        number /= 10;
        ++digits;
    }
    return digits;
}

// Two fixed phases per host and reading, so that hosts do not move in step.
double phaseOf(int host, int reading)
{
    quint32 x = quint32(host) * 0x9E3779B1u ^ quint32(reading + 1) * 0x85EBCA77u;
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    x ^= x >> 12;
    return double(x) / 4294967296.0 * 2 * std::numbers::pi;
}

void writeTwoDigits(char *out, int number)
{
    out[0] = char('0' + number / 10);
    out[1] = char('0' + number % 10);
}

// scaled / 10^decimals in fixed notation, e.g. 5 with 2 decimals is "0.05".
char *writeFixed(char *out, qint64 scaled, int decimals)
{
    if (scaled < 0) {
        *out++ = '-';
        scaled = -scaled;
    }
    char digits[24];
    int count = 0;
    auto magnitude = quint64(scaled);
    do {
        digits[count++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0 || count <= decimals);
    while (count > 0) {
        if (count == decimals)
            *out++ = '.';
        *out++ = digits[--count];
    }
    return out;
}

} // namespace

DatagramFormatter::DatagramFormatter(int hosts, int readings, int overLimitHosts)
    : m_hosts(std::clamp(hosts, 1, maxHosts))
    , m_readings(std::clamp(readings, 1, maxReadings))
    , m_overLimitHosts(std::clamp(overLimitHosts, 0, m_hosts))
    , m_hostDigits(std::max(4, digitsOf(quint64(m_hosts - 1))))
{
    m_tags.reserve(size_t(m_readings));
    m_units.reserve(size_t(m_readings));
    for (int r = 0; r < m_readings; ++r) {
        m_tags.push_back(" senvo[" + readingName(r) + "]: t=");
        m_units.push_back(' ' + unit(r));
    }
    setTimestamp(QDateTime::currentDateTime());
}

void DatagramFormatter::setTimestamp(const QDateTime &localTime)
{
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    char *out = m_timestamp.data();
    std::memcpy(out, months[size_t(date.month() - 1)], 3);
    out[3] = ' ';
    // RFC 3164 pads a single-digit day with a space, not a zero.
    out[4] = date.day() < 10 ? ' ' : char('0' + date.day() / 10);
    out[5] = char('0' + date.day() % 10);
    out[6] = ' ';
    writeTwoDigits(out + 7, time.hour());
    out[9] = ':';
    writeTwoDigits(out + 10, time.minute());
    out[12] = ':';
    writeTwoDigits(out + 13, time.second());
}

DatagramFormatter::Sample DatagramFormatter::sample(quint64 sequence) const
{
    const quint64 round = sequence / roundLength();
    const quint64 slot = sequence % roundLength();
    Sample result;
    result.host = int(slot % quint64(m_hosts));
    result.reading = int(slot / quint64(m_hosts));
    const Kind &kind = kindOf(result.reading);
    const double phase = phaseOf(result.host, result.reading);
    const double t = double(round);
    // A slow swell with a faster ripple on top: smooth from round to round.
    const double wave = 0.7 * std::sin(t * 0.09 + phase) + 0.3 * std::sin(t * 0.023 + 2 * phase);
    const double middle = (kind.low + kind.high) / 2;
    const double half = (kind.high - kind.low) / 2;
    double value = middle + half * wave;
    if (result.host < m_overLimitHosts) {
        // Hosts take their turns a few rounds apart, so that they are not all in trouble at once.
        const quint64 turn = (round + quint64(result.host) * 7) % excursionPeriod;
        if (turn < quint64(excursionRounds)) {
            // Up in a few rounds, most of the turn at the peak, then down.
            const double rise = std::min(
                1.0,
                1.6 * std::sin(std::numbers::pi * double(turn + 1) / double(excursionRounds + 1)));
            double peak = kind.high + 0.5 * (kind.high - kind.low);
            if (std::strcmp(kind.unit, "%") == 0)
                peak = std::min(peak, 100.0);
            value += rise * std::max(0.0, peak - value);
        }
    }
    const double scale = scales[size_t(kind.decimals)];
    result.decimals = kind.decimals;
    result.value = double(std::llround(value * scale)) / scale;
    return result;
}

int DatagramFormatter::format(quint64 sequence, char *out) const
{
    const Sample s = sample(sequence);
    char *p = out;
    std::memcpy(p, priority, sizeof priority - 1);
    p += sizeof priority - 1;
    std::memcpy(p, m_timestamp.data(), m_timestamp.size());
    p += m_timestamp.size();
    *p++ = ' ';
    std::memcpy(p, "host", 4);
    p += 4;
    int host = s.host;
    for (int i = m_hostDigits - 1; i >= 0; --i) {
        p[i] = char('0' + host % 10);
        host /= 10;
    }
    p += m_hostDigits;
    const QByteArray &tag = m_tags[size_t(s.reading)];
    std::memcpy(p, tag.constData(), size_t(tag.size()));
    p += tag.size();
    const double scale = scales[size_t(s.decimals)];
    p = writeFixed(p, std::llround(s.value * scale), s.decimals);
    const QByteArray &unitText = m_units[size_t(s.reading)];
    std::memcpy(p, unitText.constData(), size_t(unitText.size()));
    p += unitText.size();
    return int(p - out);
}

QByteArray DatagramFormatter::hostName(int host) const
{
    return "host" + QByteArray::number(host).rightJustified(m_hostDigits, '0');
}

QByteArray DatagramFormatter::readingName(int reading)
{
    QByteArray name(kindOf(reading).name);
    // Past the known kinds a second CPU, a second Disk and so on.
    if (const int repeat = reading / int(kinds.size()); repeat > 0)
        name += QByteArray::number(repeat + 1);
    return name;
}

QByteArray DatagramFormatter::unit(int reading)
{
    return QByteArray(kindOf(reading).unit);
}

DatagramFormatter::Range DatagramFormatter::range(int reading)
{
    const Kind &kind = kindOf(reading);
    return {kind.low, kind.high};
}
