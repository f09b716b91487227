#include "overviewcost.h"

#include "engine/overview/overviewmodel.h"
#include "engine/overview/overvieworder.h"
#include "engine/reception/reading.h"
#include "engine/reception/readingstable.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>

QList<OverviewCost::Sort> OverviewCost::measure(int hosts, int rounds)
{
    ReadingsTable table(nullptr, hosts);
    const OverviewModel::Sorting unsorted;
    OverviewModel model(table);
    OverviewOrder order(&model);
    QRandomGenerator random(42);
    const QStringList names{u"CPU"_qs,  u"Memory"_qs, u"Disk"_qs,  u"Temperature"_qs, u"Fan"_qs,
                            u"Load"_qs, u"Swap"_qs,   u"NetIn"_qs, u"NetOut"_qs,      u"Status"_qs};
    Reading reading;
    reading.date = u"Jun 10"_qs;
    reading.time = u"19:35:00"_qs;
    table.beginBatch();
    for (int host = 0; host < hosts; ++host) {
        reading.host = u"host%1"_qs.arg(host, 5, 10, QChar(u'0'));
        for (int name = 0; name < names.size(); ++name) {
            reading.name = u' ' + names[name];
            const int number = random.bounded(100000);
            switch (name % 4) {
            case 0:
                reading.value = u" %1 % "_qs.arg(number % 100);
                break;
            case 1:
                reading.value = u" %1.%2G "_qs.arg(number % 64).arg(number % 10);
                break;
            case 2:
                reading.value = number % 20 == 0 ? u" n/a "_qs : u" %1 C "_qs.arg(number / 1000.0);
                break;
            default:
                reading.value = number % 3 == 0 ? u" ok "_qs : u" %1k "_qs.arg(number);
                break;
            }
            table.fillgrid(reading);
        }
    }
    table.publish();

    const QList<QPair<QString, OverviewModel::Sorting>> sortings{
        {u"CPU, highest first"_qs, {OverviewModel::firstReadingColumn, Qt::DescendingOrder, false}},
        {u"CPU, lowest first"_qs, {OverviewModel::firstReadingColumn, Qt::AscendingOrder, false}},
        {u"Temperature (numbers and words)"_qs,
         {OverviewModel::firstReadingColumn + 2, Qt::AscendingOrder, false}},
        {u"host"_qs, {OverviewModel::hostColumn, Qt::AscendingOrder, false}},
        {u"problems first"_qs, {-1, Qt::AscendingOrder, true}},
    };
    QList<Sort> results;
    for (const auto &[by, sorting] : sortings) {
        QList<double> times;
        for (int round = 0; round < rounds; ++round) {
            model.setSorting(unsorted);
            QElapsedTimer clock;
            clock.start();
            model.setSorting(sorting);
            times << double(clock.nsecsElapsed()) / 1e6;
        }
        std::sort(times.begin(), times.end());
        results << Sort{by, times[times.size() / 2], times.last()};
    }
    // What the once-a-second timer does while readings change: the rows are nearly in order.
    model.setSorting(sortings.first().second);
    QList<double> times;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        order.resort();
        times << double(clock.nsecsElapsed()) / 1e6;
    }
    std::sort(times.begin(), times.end());
    results << Sort{u"CPU again, already in order"_qs, times[times.size() / 2], times.last()};
    return results;
}
