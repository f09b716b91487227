#include "worstcase.h"

#include "processstats.h"
#include "reception/arrival.h"
#include "reception/gridaddress.h"
#include "reception/reading.h"
#include "reception/readingparser.h"
#include "reception/readingstable.h"

#include <QByteArray>

namespace {

// Only the 255 characters after the ">" are read; the timestamp takes 16 of them, the
// host and its space the next, and "[", "]=" and the space after the value 4 more.
constexpr int readableLength = 255;
constexpr int timestampLength = 16;
constexpr int hostDigits = 5;
constexpr int hostLength = 1 + hostDigits;

QByteArray hostName(int host)
{
    return 'h' + QByteArray::number(host).rightJustified(hostDigits, '0');
}

// «<13>Jun 10 19:35:00 h00042 [n07xxxx…]=vvvv… »: no colon, so that the whole name and
// value lie within the characters read. A name of the host's own carries the host too:
// «[n07h00042xxxx…]».
QByteArray datagram(const QByteArray &host, int pair, int nameLength, int valueLength,
                    WorstCase::Names names)
{
    QByteArray name = 'n' + QByteArray::number(pair).rightJustified(2, '0');
    if (names == WorstCase::Names::PerHost)
        name += host;
    name = name.leftJustified(nameLength, 'x');
    const QByteArray value = QByteArray::number(pair).leftJustified(valueLength, 'v');
    return "<13>Jun 10 19:35:00 " + host + " [" + name + "]=" + value + ' ';
}

} // namespace

int WorstCase::room(int hostLength)
{
    return readableLength - timestampLength - (hostLength + 1) - 4;
}

WorstCase::Result WorstCase::measure(int hosts, int nameLength, Names names)
{
    Result result;
    result.hosts = hosts;
    result.nameLength = nameLength;
    result.valueLength = room(hostLength) - nameLength;
    ProcessStats::resetPeak();
    result.residentBefore = ProcessStats::residentBytes();
    {
        ReadingsTable table(nullptr, hosts);
        Reading reading;
        Arrival arrival;
        for (int pair = 0; pair < ReadingsTable::pairCount; ++pair) {
            for (int host = 0; host < hosts; ++host) {
                const QByteArray bytes =
                    datagram(hostName(host), pair, nameLength, result.valueLength, names);
                result.datagramSize = int(bytes.size());
                decodeDatagram(bytes, reading);
                if (parseudp(reading, arrival))
                    table.fillgrid(reading);
            }
            table.publish();
        }
        const GridAddress grid(table);
        const int lastValue = ReadingsTable::columnCountTotal - 1;
        result.filled = table.hostCount() == hosts
                        && grid.cellText(1, lastValue).size() == result.valueLength + 2
                        && grid.cellText(hosts, lastValue).size() == result.valueLength + 2;
        result.peakResident = ProcessStats::peakResidentBytes();
    }
    return result;
}
