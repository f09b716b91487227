#include "worstcase.h"

#include "engine/limits/limitrules.h"
#include "engine/limits/limitwatch.h"
#include "engine/overview/overviewmodel.h"
#include "engine/overview/overvieworder.h"
#include "engine/reception/arrival.h"
#include "engine/reception/reading.h"
#include "engine/reception/readingparser.h"
#include "engine/reception/readingstable.h"
#include "engine/tablefile/csvtable.h"
#include "engine/tablefile/tablesaver.h"
#include "heartbeat.h"
#include "processstats.h"

#include <QByteArray>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <numeric>

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
QByteArray pairName(int pair)
{
    return 'n' + QByteArray::number(pair).rightJustified(2, '0');
}

QByteArray datagram(const QByteArray &host, int pair, int nameLength, int valueLength,
                    WorstCase::Names names, char round = 'r')
{
    QByteArray name = pairName(pair);
    if (names == WorstCase::Names::PerHost)
        name += host + round;
    name = name.leftJustified(nameLength, 'x');
    const QByteArray value = QByteArray::number(pair).leftJustified(valueLength, 'v');
    return "<13>Jun 10 19:35:00 " + host + " [" + name + "]=" + value + ' ';
}

// Every host fills every pair; true when the first and last rows hold all of them.
bool fill(ReadingsTable &table, int hosts, int nameLength, int valueLength, WorstCase::Names names,
          char round = 'r')
{
    Reading reading;
    Arrival arrival;
    for (int pair = 0; pair < ReadingsTable::pairCount; ++pair) {
        for (int host = 0; host < hosts; ++host) {
            decodeDatagram(datagram(hostName(host), pair, nameLength, valueLength, names, round),
                           reading);
            if (parseudp(reading, arrival))
                table.fillgrid(reading);
        }
        table.publish();
    }
    const int lastValue = ReadingsTable::columnCountTotal - 1;
    return table.hostCount() == hosts && table.text(0, lastValue).size() == valueLength + 2
           && table.text(hosts - 1, lastValue).size() == valueLength + 2;
}

// A value starts with its pair's number: the upper half of the pairs is in warning, the
// upper quarter critical.
LimitRules everyName(int nameLength)
{
    QJsonArray limits;
    for (int pair = 0; pair < ReadingsTable::pairCount; ++pair) {
        limits.append(QJsonObject{
            {u"reading"_qs, QString::fromLatin1(pairName(pair).leftJustified(nameLength, 'x'))},
            {u"warningAbove"_qs, 31.5},
            {u"criticalAbove"_qs, 47.5}});
    }
    return LimitRules(QJsonObject{{LimitRules::key, limits}});
}

} // namespace

int WorstCase::room(int hostLength)
{
    return readableLength - timestampLength - (hostLength + 1) - 4;
}

WorstCase::Result WorstCase::measure(int hosts, int nameLength, Names names, bool limits,
                                     bool overview)
{
    Result result;
    result.hosts = hosts;
    result.nameLength = nameLength;
    result.valueLength = room(hostLength) - nameLength;
    ProcessStats::resetPeak();
    result.residentBefore = ProcessStats::residentBytes();
    result.datagramSize =
        int(datagram(hostName(0), 0, nameLength, result.valueLength, names).size());
    {
        ReadingsTable table(nullptr, hosts);
        LimitWatch watch(table);
        if (limits)
            watch.setRules(everyName(nameLength));
        std::unique_ptr<OverviewModel> model;
        if (overview)
            model = std::make_unique<OverviewModel>(table);
        result.filled = fill(table, hosts, nameLength, result.valueLength, names);
        if (model) {
            model->setSorting({OverviewModel::firstReadingColumn, Qt::DescendingOrder, false});
            const OverviewOrder order(model.get());
        }
        result.peakResident = ProcessStats::peakResidentBytes();
    }
    return result;
}

WorstCase::Apply WorstCase::applyLimits(int hosts)
{
    constexpr int nameLength = 8;
    Apply result;
    result.hosts = hosts;
    result.pairs = ReadingsTable::pairCount;
    ReadingsTable table(nullptr, hosts);
    LimitWatch watch(table);
    if (!fill(table, hosts, nameLength, 6, Names::Shared))
        return result;
    const LimitRules rules = everyName(nameLength);

    QEventLoop loop;
    Heartbeat heartbeat(10, &loop);
    // Readings keep arriving, as from a busy network: a batch every 5 ms.
    QTimer arrivals;
    arrivals.setInterval(5);
    Reading reading;
    Arrival arrival;
    quint64 sequence = 0;
    QObject::connect(&arrivals, &QTimer::timeout, &loop, [&] {
        for (int i = 0; i < 100; ++i, ++sequence) {
            const int pair = int(sequence % ReadingsTable::pairCount);
            decodeDatagram(datagram(hostName(int(sequence * 7919 % quint64(hosts))), pair,
                                    nameLength, 6, Names::Shared),
                           reading);
            if (parseudp(reading, arrival))
                table.fillgrid(reading);
        }
        if (watch.isApplying())
            result.postedMeanwhile += 100;
        table.publish();
    });
    QObject::connect(&watch, &LimitWatch::rowsJudged, &loop, [&] { ++result.slices; });
    QObject::connect(&watch, &LimitWatch::applied, &loop, [&] {
        result.seconds = double(heartbeat.elapsedNs()) / 1e9;
        result.applied = true;
        loop.quit();
    });
    // Set from the loop, as the dialog's OK does, so that the first slice counts too.
    QTimer::singleShot(50, &loop, [&] {
        heartbeat.restartClock();
        watch.setRules(rules);
    });
    heartbeat.start();
    arrivals.start();
    loop.exec();
    result.longestGapMs = heartbeat.longestGapMs();
    result.criticalHosts = watch.criticalHosts();
    result.warningHosts = watch.warningHosts();
    return result;
}

WorstCase::Churn WorstCase::churn(int hosts, int nameLength, int rounds)
{
    Churn result;
    result.rounds = rounds;
    result.filled = true;
    const int valueLength = room(hostLength) - nameLength;
    ProcessStats::resetPeak();
    ReadingsTable table(nullptr, hosts);
    for (int round = 0; round < rounds; ++round) {
        result.filled =
            fill(table, hosts, nameLength, valueLength, Names::PerHost, char('a' + round % 26))
            && result.filled;
        if (round == 0)
            result.firstPeak = ProcessStats::peakResidentBytes();
        table.clear();
    }
    result.peak = ProcessStats::peakResidentBytes();
    return result;
}

WorstCase::Save WorstCase::save(int hosts, int nameLength, int valueLength, const QString &folder)
{
    Save result;
    result.hosts = hosts;
    result.pairs = ReadingsTable::pairCount;
    ReadingsTable table(nullptr, hosts);
    if (!fill(table, hosts, nameLength, valueLength, Names::Shared)) {
        result.error = u"the table was not filled"_qs;
        return result;
    }
    std::vector<int> rows(size_t(table.hostCount()));
    std::iota(rows.begin(), rows.end(), 0);
    const QString path = folder + u"/senvo-bench-save.csv"_qs;

    QEventLoop loop;
    Heartbeat heartbeat(10, &loop);
    TableSaver *saver = nullptr;
    // Started from the loop, as a menu command is, so that the start counts as a hold-up too.
    QTimer::singleShot(50, &loop, [&] {
        heartbeat.restartClock();
        saver = new TableSaver(&table, std::make_unique<CsvTable>(table, rows), path, &loop);
        QObject::connect(saver, &TableSaver::finished, &loop, [&](bool saved) {
            result.seconds = double(heartbeat.elapsedNs()) / 1e9;
            result.saved = saved;
            result.error = saver->errorString();
            loop.quit();
        });
        if (!saver->start()) {
            result.error = saver->errorString();
            loop.quit();
        }
    });
    heartbeat.start();
    loop.exec();
    result.longestGapMs = heartbeat.longestGapMs();
    result.bytes = QFileInfo(path).size();
    QFile::remove(path);
    return result;
}
