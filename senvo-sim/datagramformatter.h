#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include <array>
#include <vector>

// Lays out the readings of simulated hosts as RFC 3164 datagrams, for example
// «<13>Dec  7 05:40:13 host0042 senvo[CPU]: t=45 %».
//
// Datagram n belongs to round n / (hosts × readings); within a round every host sends
// its first reading, then every host its second, and so on, the way a fleet reporting
// at the same moment reaches the receiver. Values change smoothly from round to round,
// within each reading's usual range, except on hosts made to go over their limits: for
// excursionRounds of every excursionPeriod rounds, each such host at a time of its own, all
// its readings rise well above their range (percentages to 100 at most), then fall back.
// Formatting writes into the caller's buffer and allocates nothing.
class DatagramFormatter final
{
public:
    static constexpr int maxHosts = 1'000'000;
    static constexpr int maxReadings = 1000;
    // Room for the longest datagram this formatter writes.
    static constexpr int maxDatagramSize = 96;
    static constexpr int excursionPeriod = 30;
    static constexpr int excursionRounds = 10;

    struct Sample
    {
        int host = 0;
        int reading = 0;
        double value = 0; // exactly the value written, as a number
        int decimals = 0;
    };

    struct Range
    {
        double low = 0;
        double high = 0;
    };

    // hosts and readings are clamped to 1 … maxHosts and 1 … maxReadings; the first
    // overLimitHosts hosts (0 … hosts) now and then go over their limits.
    DatagramFormatter(int hosts, int readings, int overLimitHosts = 0);

    int hosts() const { return m_hosts; }
    int readings() const { return m_readings; }
    int overLimitHosts() const { return m_overLimitHosts; }
    quint64 roundLength() const { return quint64(m_hosts) * quint64(m_readings); }

    // The time the following datagrams carry, in the sender's local time.
    void setTimestamp(const QDateTime &localTime);
    QByteArrayView timestamp() const { return {m_timestamp.data(), qsizetype(m_timestamp.size())}; }

    Sample sample(quint64 sequence) const;
    // Writes datagram number sequence to out, which has room for maxDatagramSize bytes;
    // returns its length.
    int format(quint64 sequence, char *out) const;

    QByteArray hostName(int host) const;
    static QByteArray readingName(int reading);
    static QByteArray unit(int reading);
    static Range range(int reading);

private:
    int m_hosts;
    int m_readings;
    int m_overLimitHosts;
    int m_hostDigits;
    std::array<char, 15> m_timestamp{};
    std::vector<QByteArray> m_tags;  // " senvo[NAME]: t=" for each reading
    std::vector<QByteArray> m_units; // " UNIT" for each reading
};
