#include "addresstext.h"

#include <QString>

namespace {

std::optional<QHostAddress> ipv4FromText(QStringView text)
{
    quint32 address = 0;
    int parts = 0;
    for (const QStringView part : text.tokenize(u'.')) {
        // A leading zero is read as octal by some programs and as decimal by others.
        if (++parts > 4 || part.isEmpty() || part.size() > 3
            || (part.size() > 1 && part[0] == u'0'))
            return std::nullopt;
        uint value = 0;
        for (const QChar c : part) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            value = value * 10 + uint(c.unicode() - u'0');
        }
        if (value > 255)
            return std::nullopt;
        address = address << 8 | value;
    }
    if (parts != 4)
        return std::nullopt;
    return QHostAddress(address);
}

} // namespace

std::optional<QHostAddress> addressFromText(QStringView text)
{
    if (!text.contains(u':'))
        return ipv4FromText(text);
    QHostAddress address;
    if (!address.setAddress(text.toString()) || address.protocol() != QAbstractSocket::IPv6Protocol)
        return std::nullopt;
    return address;
}
