#pragma once

#include "senderaddress.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>
#include <compare>
#include <optional>
#include <vector>

// Which senders' datagrams are read: every sender, or those whose address lies in one of a
// list of addresses and prefixes ("192.168.1.0/24", "10.0.0.5", "fd00::/8", "::1"). An IPv4
// sender that reached an IPv6 socket is matched as the IPv4 address it is. The list is turned
// once into sorted ranges of whole numbers, and the verdicts for recent senders are kept in a
// table indexed by the address's last bits: a fleet's hosts send again and again, each from
// an address of its own, and a look-up there costs less than a search of the ranges.
class SenderFilter final
{
    Q_DECLARE_TR_FUNCTIONS(SenderFilter)

public:
    // Lets every sender through.
    SenderFilter() = default;

    // Why entry is not an address or a prefix, in plain words; empty when it is one.
    static QString check(const QString &entry);
    // A filter of the entries, blank ones skipped; none at all lets every sender through.
    // Nothing when an entry does not pass check(); error then names it and says why.
    static std::optional<SenderFilter> fromEntries(const QStringList &entries,
                                                   QString *error = nullptr);

    // The entries as given, trimmed, without blank ones; none for every sender.
    QStringList entries() const { return m_entries; }
    bool allowsEverySender() const { return m_entries.isEmpty(); }

    // Not const: it keeps the verdict for the next datagram from the same sender.
    bool allows(const SenderAddress &sender)
    {
        if (m_kept.empty())
            return true;
        const std::array<quint8, 16> &bytes = sender.bytes();
        const int last = sender.family() == SenderAddress::Family::IPv4 ? 2 : 14;
        Verdict &kept = m_kept[(bytes[last] << 8 | bytes[last + 1]) & (keptVerdicts - 1)];
        if (kept.sender != sender)
            kept = {sender, decide(sender)};
        return kept.allowed;
    }

private:
    struct Wide
    {
        quint64 high = 0;
        quint64 low = 0;
        friend auto operator<=>(const Wide &, const Wide &) = default;
    };
    template<typename Key> struct Range
    {
        Key first;
        Key last;
    };
    struct Ranges
    {
        std::vector<Range<quint32>> ipv4;
        std::vector<Range<Wide>> ipv6;
    };

    struct Verdict
    {
        // A sender of unknown family, which no entry lets through, until the slot is used.
        SenderAddress sender;
        bool allowed = false;
    };
    static constexpr int keptVerdicts = 4096;

    static QString addEntry(const QString &entry, Ranges &ranges);
    bool decide(const SenderAddress &sender) const;

    QStringList m_entries;
    Ranges m_ranges;
    // Empty for every sender.
    std::vector<Verdict> m_kept;
};
