#include "historycost.h"

#include "engine/history/historystore.h"
#include "engine/monitor/monitor.h"
#include "engine/overview/overviewmodel.h"
#include "engine/reception/reading.h"
#include "engine/reception/readingstable.h"
#include "engine/reception/receiveclock.h"
#include "gui/history/historyplot.h"
#include "gui/overview/overviewwindow.h"
#include "processstats.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Time moves as the benchmark says.
class SteppedClock final : public ReceiveClock
{
public:
    qint64 elapsedMs() const override { return ms; }
    QDateTime wallTime() const override { return start.addMSecs(ms); }

    qint64 ms = 0;
    QDateTime start = QDateTime::currentDateTime();
};

} // namespace

HistoryCost::Memory HistoryCost::memory(int hosts, int readings, int intervalSeconds)
{
    SteppedClock clock;
    ReadingsTable table(nullptr, ReadingsTable::defaultHostLimit, &clock);
    Memory result;
    const qint64 before = ProcessStats::residentBytes();
    QElapsedTimer timer;
    timer.start();
    {
        HistoryStore store(table);
        std::vector<QString> hostNames;
        std::vector<QString> names;
        for (int h = 0; h < hosts; ++h)
            hostNames.push_back(u"host%1"_qs.arg(h, 5, 10, QChar(u'0')));
        for (int r = 0; r < readings; ++r)
            names.push_back(u" R%1"_qs.arg(r));
        // Values made once: formatting each would be measured instead of the table.
        std::vector<QString> values;
        for (int v = 0; v < 1000; ++v)
            values.push_back(u" %1 C "_qs.arg(50 + 40 * std::sin(v / 50.0), 0, 'f', 1));
        Reading reading;
        reading.date = u"Jun 10"_qs;
        reading.time = u"19:35:00"_qs;
        // Spread over the interval, as senders are, so that a batch holds a slice of them.
        const qint64 total = qint64(hosts) * readings;
        for (int second = 0; second <= 3600; second += intervalSeconds) {
            for (qint64 n = 0; n < total; ++n) {
                if (n % 64 == 0) {
                    clock.ms = qint64(second) * 1000 + n * intervalSeconds * 1000 / total;
                    table.beginBatch();
                }
                const int h = int(n / readings);
                const int r = int(n % readings);
                reading.host = hostNames[size_t(h)];
                reading.name = names[size_t(r)];
                reading.value = values[size_t(second / intervalSeconds + h * 31 + r * 7) % 1000];
                table.fillgrid(reading);
            }
            if (second % 60 == 0) {
                table.publish();
                table.tick();
            }
        }
        store.keepWithinCap();
        result.bytesUsed = store.bytesUsed();
        result.residentGrowth = ProcessStats::residentBytes() - before;
        result.capBytes = store.capBytes();
        result.pointsKept = qint64(store.points(0, 0).size());
    }
    result.hosts = table.hostCount();
    result.readings = readings;
    result.intervalSeconds = intervalSeconds;
    result.pointsHeard = 3600 / intervalSeconds + 1;
    result.seconds = double(timer.elapsed()) / 1000;
    return result;
}

HistoryCost::Drawing HistoryCost::drawing(int readings, int width, int height, int frames)
{
    constexpr int seconds = 3600;
    std::vector<HistoryPlot::Reading> shown;
    for (int r = 0; r < readings; ++r) {
        HistoryPlot::Reading reading;
        reading.name = u"R%1"_qs.arg(r);
        reading.unit = u"C"_qs;
        reading.limits = {{80, QColor(0xc0, 0x80, 0)}, {90, QColor(0xa0, 0, 0)}};
        for (int s = 0; s <= seconds; ++s) {
            const float value = float(50 + 40 * std::sin(s / 120.0 + r) + (s * 13 % 7));
            // A silence of a minute in the middle, as a gap.
            if (s > 1800 && s < 1860)
                continue;
            reading.points.emplace_back(HistoryStore::Tenths(s * 10), value, s == 1860);
        }
        shown.push_back(std::move(reading));
    }
    HistoryPlot plot;
    plot.resize(width, height);
    plot.setReadings(std::move(shown), seconds * 10,
                     QDateTime::currentMSecsSinceEpoch() - qint64(seconds) * 1000);
    QImage image(plot.size(), QImage::Format_ARGB32_Premultiplied);
    Drawing result;
    result.readings = readings;
    result.points = seconds + 1 - 59;
    const auto render = [&plot, &image] {
        const qint64 start = ProcessStats::threadCpuNanos();
        plot.render(&image);
        return double(ProcessStats::threadCpuNanos() - start) / 1e6;
    };
    result.firstMs = render();
    double total = 0;
    for (int frame = 0; frame < frames; ++frame) {
        const double ms = render();
        total += ms;
        result.longestMs = std::max(result.longestMs, ms);
    }
    result.meanMs = total / std::max(1, frames);
    return result;
}

void HistoryCost::Frames::add(double ms)
{
    fastestMs = count == 0 ? ms : std::min(fastestMs, ms);
    longestMs = std::max(longestMs, ms);
    totalMs += ms;
    ++count;
}

void HistoryCost::Frames::add(const Frames &other)
{
    if (other.count == 0)
        return;
    fastestMs = count == 0 ? other.fastestMs : std::min(fastestMs, other.fastestMs);
    longestMs = std::max(longestMs, other.longestMs);
    totalMs += other.totalMs;
    count += other.count;
}

HistoryCost::Trends HistoryCost::overviewTrends(int hosts, int readings, int intervalSeconds,
                                                int hoursKept, int width, int rows, int frames)
{
    QTemporaryDir folder;
    // A port no one listens on: the overview is drawn, nothing is received.
    QFile port(folder.filePath(SettingsFile::fileName));
    if (port.open(QIODevice::WriteOnly)) {
        port.write("5140\n");
        port.close();
    }
    // Limits on every other reading, so that the colours are part of what is drawn.
    QFile limits(folder.filePath(u"Senvo-Net.json"_qs));
    if (limits.open(QIODevice::WriteOnly)) {
        QByteArray rules = "{\"limits\": [";
        for (int r = 0; r < readings; r += 2)
            rules += (r > 0 ? "," : "") + QByteArray("{\"reading\": \"R") + QByteArray::number(r)
                     + "\", \"warningAbove\": 80, \"criticalAbove\": 88}";
        limits.write(rules + "]}");
        limits.close();
    }
    SteppedClock clock;
    Monitor monitor(SettingsFile(folder.path(), folder.path()), nullptr, nullptr, &clock);
    ReadingsTable &table = monitor.table();
    Reading reading;
    reading.date = u"Jun 10"_qs;
    reading.time = u"19:35:00"_qs;
    const int keptSeconds = 3600 * std::max(1, hoursKept);
    for (int second = 0; second <= keptSeconds; second += intervalSeconds) {
        clock.ms = qint64(second) * 1000;
        table.beginBatch();
        for (int h = 0; h < hosts; ++h) {
            reading.host = u"host%1"_qs.arg(h, 5, 10, QChar(u'0'));
            for (int r = 0; r < readings; ++r) {
                reading.name = u" R%1"_qs.arg(r);
                reading.value =
                    u" %1 C "_qs.arg(50 + 40 * std::sin(second / 300.0 + h * 0.7 + r), 0, 'f', 1);
                table.fillgrid(reading);
            }
        }
        table.publish();
        if (second % 60 == 0)
            table.tick();
    }
    OverviewWindow window(monitor);
    window.resize(width, 600);
    window.show();
    QCoreApplication::processEvents();
    QTableView *const view = window.view();
    QWidget *const viewport = view->viewport();
    const int rowHeight = std::max(1, view->verticalHeader()->defaultSectionSize());
    // As tall as the rows asked for, whatever the window's frame and bars take.
    window.resize(width, window.height() + rows * rowHeight - viewport->height());
    QCoreApplication::processEvents();
    Trends result;
    result.width = window.width();
    result.height = window.height();
    result.points = 3600 / intervalSeconds + 1;
    result.keptPoints = keptSeconds / intervalSeconds + 1;
    result.rowsShown = std::min(hosts, (viewport->height() + rowHeight - 1) / rowHeight);
    for (int column = OverviewModel::firstReadingColumn; column < view->model()->columnCount();
         ++column) {
        if (view->columnViewportPosition(column) < viewport->width())
            result.cellsShown += result.rowsShown;
    }
    QImage image(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    for (const bool on : {true, false}) {
        monitor.overview().setTrendsShown(on);
        Frames taken[2];
        for (int frame = 0; frame < frames; ++frame) {
            // Odd frames come a second later, as the overview's once-a-second repaint does.
            const int later = frame % 2;
            if (later) {
                // Every host heard again: each line is made afresh, a first reading's text too.
                clock.ms += 1000;
                table.beginBatch();
                for (int h = 0; h < hosts; ++h) {
                    reading.host = u"host%1"_qs.arg(h, 5, 10, QChar(u'0'));
                    reading.name = u" R0"_qs;
                    reading.value =
                        u" %1 C "_qs.arg(50 + 40 * std::sin(clock.ms / 3e5 + h), 0, 'f', 1);
                    table.fillgrid(reading);
                }
                table.publish();
                table.tick();
            }
            const qint64 start = ProcessStats::threadCpuNanos();
            viewport->render(&image);
            const double ms = double(ProcessStats::threadCpuNanos() - start) / 1e6;
            taken[later].add(ms);
        }
        if (on) {
            result.on = taken[0];
            result.onLater = taken[1];
        } else {
            result.off = taken[0];
            result.off.add(taken[1]);
        }
    }
    window.close();
    return result;
}
