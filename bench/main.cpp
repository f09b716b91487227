// senvo-bench: how fast the receiving path takes datagrams from senvo-sim, against a
// bare recvmmsg() receiver on the same traffic. See --help; --quick for a short run,
// --soak for ten minutes at a steady rate.

#include "apppathrun.h"
#include "archivecost.h"
#include "ceilingreceiver.h"
#include "filtercost.h"
#include "generator.h"
#include "historycost.h"
#include "overviewcost.h"
#include "processstats.h"
#include "scrapecost.h"
#include "tablecost.h"
#include "tickcost.h"
#include "weekcost.h"
#include "worstcase.h"

#include "engine/reception/readingstable.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>

namespace {

struct Plan
{
    quint64 count = 1'000'000;
    QList<double> steps{100'000, 200'000, 300'000, 400'000, 500'000, 600'000, 700'000, 800'000};
    QList<double> lowSteps{50'000, 25'000}; // tried only when the first step loses
    double stallRate = 100'000;
    quint64 stallCount = 1'000'000;
    int manyHosts = 30'000;
    int fewHosts = 10;
    int hostReadings = 10;
    int hostRounds = 3;
    quint64 tableCostCount = 3'000'000;
};

struct Ladder
{
    double highest = 0; // 0: not even the lowest step
    bool ceilingOfGenerator = false;
};

// Everything goes to stdout as it happens: a run takes minutes.
QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QString mb(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1) + u" MB"_qs;
}

QString percent(double value)
{
    return QString::number(value, 'f', value < 0.01 && value > 0 ? 4 : 2) + u'%';
}

QString rateText(double rate)
{
    return QString::number(rate, 'f', 0) + u"/s"_qs;
}

QString loadAverage()
{
    QFile file(u"/proc/loadavg"_qs);
    if (!file.open(QIODevice::ReadOnly))
        return u"unknown"_qs;
    return QString::fromLatin1(file.readAll()).section(u' ', 0, 2);
}

[[noreturn]] void cannotRun(const QString &why)
{
    out() << "senvo-bench: cannot run: " << why << Qt::endl;
    std::exit(1);
}

CeilingReceiver::Result runCeiling(const QString &generator, const Generator::Traffic &traffic,
                                   Generator *finishedSender = nullptr)
{
    CeilingReceiver ceiling;
    if (!ceiling.open())
        cannotRun(u"ceiling socket: "_qs + ceiling.errorString());
    Generator local(generator);
    Generator &sender = finishedSender ? *finishedSender : local;
    if (!sender.start(ceiling.port(), traffic))
        cannotRun(u"cannot start the generator: "_qs + sender.errorString());
    const CeilingReceiver::Result result = ceiling.receive(traffic.count, 500);
    if (!sender.waitForFinished(60000) || !sender.succeeded())
        cannotRun(u"the generator failed: "_qs + sender.errorString());
    return result;
}

AppPathRun::Result runApp(const QString &generator, const Generator::Traffic &traffic,
                          const AppPathRun::Extras &extras = {})
{
    AppPathRun::Result result = AppPathRun::run(generator, traffic, extras);
    if (!result.ran)
        cannotRun(result.error);
    return result;
}

// One attempt at a paced rate; a loss is tried once more, as the machine is shared.
bool ceilingKeepsUp(const QString &generator, Generator::Traffic traffic, double *sentRate)
{
    for (int attempt = 1; attempt <= 2; ++attempt) {
        Generator sender(generator);
        const CeilingReceiver::Result result = runCeiling(generator, traffic, &sender);
        *sentRate = sender.sentRate();
        const quint64 lost = sender.sent() - std::min(sender.sent(), result.datagrams);
        out() << "  ceiling " << rateText(traffic.rate) << " (sent at " << rateText(*sentRate)
              << "): lost " << lost << " of " << sender.sent()
              << (attempt == 2 ? " (second attempt)" : "") << Qt::endl;
        if (lost == 0)
            return true;
    }
    return false;
}

bool appKeepsUp(const QString &generator, Generator::Traffic traffic, double *sentRate)
{
    for (int attempt = 1; attempt <= 2; ++attempt) {
        const AppPathRun::Result result = runApp(generator, traffic);
        *sentRate = result.sentRate;
        const quint64 lost = result.sent - std::min(result.sent, result.received);
        out() << "  app     " << rateText(traffic.rate) << " (sent at " << rateText(result.sentRate)
              << "): lost " << lost << " of " << result.sent << ", longest stall "
              << QString::number(result.longestGapMs, 'f', 1) << " ms"
              << (attempt == 2 ? " (second attempt)" : "") << Qt::endl;
        if (lost == 0)
            return true;
    }
    return false;
}

// Steps up the paced rate until 1,000,000 datagrams no longer all arrive. A step the
// generator could not reach counts at the rate it did reach, and ends that ladder.
QPair<Ladder, Ladder> zeroLossLadders(const QString &generator, const Plan &plan)
{
    Ladder ceiling;
    Ladder app;
    bool ceilingDone = false;
    bool appDone = false;
    Generator::Traffic traffic;
    traffic.count = plan.count;
    const auto climb = [](Ladder &ladder, bool *done, bool keptUp, double step, double sentRate) {
        const bool reached = sentRate >= 0.95 * step;
        if (keptUp)
            ladder.highest = std::min(step, sentRate);
        if (!reached) {
            ladder.ceilingOfGenerator = keptUp;
            out() << "  the generator reached only " << rateText(sentRate) << Qt::endl;
        }
        *done = !keptUp || !reached;
    };
    for (const double step : plan.steps) {
        traffic.rate = step;
        double sentRate = 0;
        if (!ceilingDone) {
            const bool keptUp = ceilingKeepsUp(generator, traffic, &sentRate);
            climb(ceiling, &ceilingDone, keptUp, step, sentRate);
        }
        if (!appDone) {
            const bool keptUp = appKeepsUp(generator, traffic, &sentRate);
            climb(app, &appDone, keptUp, step, sentRate);
        }
        if (ceilingDone && appDone)
            break;
    }
    if (app.highest == 0) {
        for (const double step : plan.lowSteps) {
            traffic.rate = step;
            double sentRate = 0;
            if (appKeepsUp(generator, traffic, &sentRate)) {
                app.highest = std::min(step, sentRate);
                break;
            }
        }
    }
    return {ceiling, app};
}

QString verdict(bool met)
{
    return met ? u"met"_qs : u"MISSED"_qs;
}

// The offscreen platform cannot size windows to their hints; that is no news here.
void dropPlatformNoise(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(u"propagateSizeHints"_qs))
        return;
    QTextStream(stderr) << qFormatLogMessage(type, context, message) << Qt::endl;
}

// The overview painted 1920 pixels wide with 60 rows in view, its processor time per frame.
// Each reading keeps three hours, as the cap lets it at 200 hosts: the last is drawn.
HistoryCost::Trends paintFigures()
{
    const HistoryCost::Trends trends = HistoryCost::overviewTrends(200, 10, 10, 3, 1920, 60, 30);
    const double worst = std::max(trends.on.longestMs, trends.onLater.longestMs);
    const auto ms = [](const HistoryCost::Frames &frames) {
        return QString::number(frames.meanMs(), 'f', 2) + u" / "_qs
               + QString::number(frames.fastestMs, 'f', 2) + u" / "_qs
               + QString::number(frames.longestMs, 'f', 2);
    };
    out() << "== overview painted at " << trends.width << " x " << trends.height << ": "
          << trends.rowsShown << " rows, " << trends.cellsShown
          << " reading cells shown, each keeping " << trends.keptPoints
          << " points of which the last hour's " << trends.points
          << " are drawn; processor time per frame, mean / fastest / longest" << Qt::endl
          << "  trends on, unchanged: " << ms(trends.on)
          << " ms; a second later: " << ms(trends.onLater) << " ms (target 16 ms) "
          << verdict(worst <= 16) << "; trends off: " << ms(trends.off) << " ms | load "
          << loadAverage() << Qt::endl;
    return trends;
}

// The overview's cost: sorting a full table's hosts, and the receiving path at 30,000 hosts
// without and with the overview open and sorted by a reading.
int overviewFigures(const QString &generator, bool quick)
{
    constexpr int hosts = 30'000;
    const HistoryCost::Trends trends = paintFigures();
    const double trendsWorst = std::max(trends.on.longestMs, trends.onLater.longestMs);
    out() << "== overview: sorting " << ReadingsTable::defaultHostLimit
          << " hosts x 10 readings (median and worst of 5)" << Qt::endl;
    double worstSort = 0;
    for (const OverviewCost::Sort &sort :
         OverviewCost::measure(ReadingsTable::defaultHostLimit, 5)) {
        out() << "  by " << sort.by << ": " << QString::number(sort.medianMs, 'f', 1)
              << " ms, at worst " << QString::number(sort.worstMs, 'f', 1) << " ms" << Qt::endl;
        worstSort = std::max(worstSort, sort.worstMs);
    }

    Generator::Traffic steady;
    steady.hosts = hosts;
    steady.readings = 10;
    steady.rate = 100'000;
    steady.count = quick ? 200'000 : 1'000'000;
    AppPathRun::Result runs[2];
    for (const bool open : {false, true}) {
        out() << "== responsiveness: " << steady.count << " datagrams at " << rateText(steady.rate)
              << " from " << hosts << " hosts x 10 readings, "
              << (open ? "the overview open, sorted by its first reading" : "no overview")
              << Qt::endl;
        AppPathRun::Extras extras;
        extras.overview = open;
        const AppPathRun::Result run = runApp(generator, steady, extras);
        out() << "  lost " << run.sent - std::min(run.sent, run.received) << " of " << run.sent
              << " (sent at " << rateText(run.sentRate) << "), longest heartbeat gap "
              << QString::number(run.longestGapMs, 'f', 1) << " ms, counters at worst "
              << QString::number(run.counterLag, 'f', 0) << " datagrams behind ("
              << QString::number(run.counterLag / steady.rate * 1000, 'f', 1) << " ms), cpu "
              << QString::number(run.cpuMicrosPerDatagram(), 'f', 3) << " us/datagram" << Qt::endl;
        runs[open ? 1 : 0] = run;
    }

    Generator::Traffic many;
    many.hosts = hosts;
    many.readings = 10;
    many.count = quint64(hosts) * 10 * (quick ? 2 : 3);
    qint64 peaks[2] = {0, 0};
    for (const bool open : {false, true}) {
        ProcessStats::resetPeak();
        AppPathRun::Extras extras;
        extras.overview = open;
        const AppPathRun::Result run = runApp(generator, many, extras);
        peaks[open ? 1 : 0] = ProcessStats::peakResidentBytes();
        out() << "== memory, " << hosts << " hosts x 10 readings at full speed, "
              << (open ? "the overview open and sorted" : "no overview") << ": " << run.hosts
              << " rows, loss " << percent(run.lossPercent()) << ", peak resident "
              << mb(peaks[open ? 1 : 0]) << Qt::endl;
    }
    const double growth = peaks[0] > 0 ? 100.0 * double(peaks[1] - peaks[0]) / double(peaks[0]) : 0;
    const AppPathRun::Result &open = runs[1];
    out() << "senvo-bench overview summary" << (quick ? " (quick)" : "") << ": sort "
          << ReadingsTable::defaultHostLimit << " hosts at worst "
          << QString::number(worstSort, 'f', 1) << " ms (target 100) " << verdict(worstSort <= 100)
          << " | at " << rateText(steady.rate) << " with the overview: lost "
          << open.sent - std::min(open.sent, open.received) << ", stall "
          << QString::number(open.longestGapMs, 'f', 1) << " ms (target 50) "
          << verdict(open.longestGapMs <= 50) << ", counters "
          << QString::number(open.counterLag / steady.rate * 1000, 'f', 1)
          << " ms behind (target 100) " << verdict(open.counterLag / steady.rate * 1000 <= 100)
          << " | without: stall " << QString::number(runs[0].longestGapMs, 'f', 1)
          << " ms | peak RSS " << mb(peaks[1]) << " against " << mb(peaks[0]) << " ("
          << (growth >= 0 ? "+" : "") << QString::number(growth, 'f', 1)
          << "%, target at most +10%) " << verdict(growth <= 10) << " | trends painted in "
          << QString::number(trendsWorst, 'f', 1) << " ms at worst (target 16) "
          << verdict(trendsWorst <= 16) << ", off " << QString::number(trends.off.longestMs, 'f', 1)
          << " ms | load " << loadAverage() << Qt::endl;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(dropPlatformNoise);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"senvo-bench"_qs);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Measures the receiving path against senvo-sim and a bare recvmmsg() receiver."_qs);
    parser.addHelpOption();
    const QCommandLineOption quick(u"quick"_qs, u"Smaller counts, for a fast sanity run."_qs);
    const QCommandLineOption soak(
        u"soak"_qs, u"Only the soak run: 10 minutes at 50,000 datagrams/s from 1,000 hosts."_qs);
    const QCommandLineOption soakSeconds(u"soak-seconds"_qs, u"Length of the soak run."_qs,
                                         u"seconds"_qs, u"600"_qs);
    const QCommandLineOption simulator(u"sim"_qs, u"The senvo-sim program to use."_qs, u"path"_qs);
    const QCommandLineOption tableOnly(
        u"table-only"_qs,
        u"Only decode, parse and post in this process, for a profiler: hosts x 10 readings."_qs,
        u"hosts"_qs);
    const QCommandLineOption tableDatagrams(
        u"datagrams"_qs,
        u"With --table-only: how many datagrams to time after the first round (10,000,000)."_qs,
        u"count"_qs, u"10000000"_qs);
    const QCommandLineOption tableSide(
        u"side"_qs,
        u"With --table-only: only \"plain\" (the table alone) or only \"history\" (with the "
        "history following it) or only \"archive\" (the history on disk too), for a cache "
        "profiler."_qs,
        u"side"_qs);
    const QCommandLineOption worstCase(
        u"worst-case"_qs,
        u"Only the peak resident memory with 32,766 hosts each filling all 64 pairs with the "
        "longest name and value a datagram carries, split evenly; every host the same names."_qs);
    const QCommandLineOption worstCaseDistinct(
        u"worst-case-distinct"_qs,
        u"As --worst-case, but each host reports 64 names of its own."_qs);
    const QCommandLineOption worstCaseName(
        u"worst-case-name"_qs,
        u"With --worst-case or --worst-case-distinct: the name's share of the room; the value "
        "takes the rest."_qs,
        u"characters"_qs);
    const QCommandLineOption tick(
        u"tick"_qs,
        u"Only the time one tick of the once-a-second silence check takes with 32,766 hosts x "
        "64 pairs, every host falling due in the same second."_qs);
    const QCommandLineOption churn(
        u"churn"_qs, u"Only the peak resident memory over 10 rounds of filling the table as "
                     "--worst-case-distinct does, with new names each round, and clearing it."_qs);
    const QCommandLineOption save(
        u"save"_qs, u"Only the time to save 32,766 hosts x 64 pairs as CSV, with short and with "
                    "the longest names and values, and the longest the window is held up."_qs);
    const QCommandLineOption history(
        u"history"_qs,
        u"Only the readings' history: its memory after an hour of 1,000 hosts x 10 readings "
        "every 10 s and of a full table (32,766 x 64) every 60 s, against the cap, and the "
        "time to draw an hour of 1-second points."_qs);
    const QCommandLineOption overview(
        u"overview"_qs,
        u"Only the overview's figures: sorting 32,766 hosts, and at 30,000 hosts x 10 readings "
        "the run at 100,000/s and the peak memory, each without and with the overview open and "
        "sorted. With --worst-case or --worst-case-distinct: that table with the overview."_qs);
    const QCommandLineOption senderFilter(
        u"sender-filter"_qs,
        u"Only the cost per datagram of a list of 100 allowed senders: the receiver fed from "
        "memory, and at full speed from senvo-sim, each with and without the list."_qs);
    const QCommandLineOption limits(
        u"limits"_qs, u"With --table-only or --worst-case: a limit for every reading name."_qs);
    const QCommandLineOption applyLimits(
        u"apply-limits"_qs,
        u"Only the time to apply a limit for every reading name to 32,766 hosts x 64 pairs, "
        "the longest the window is held up meanwhile, and the readings that arrived."_qs);
    const QCommandLineOption overviewPaint(
        u"overview-paint"_qs,
        u"Only the overview painted with 60 rows in view, trends on and off, as --overview "
        "paints it first."_qs);
    const QCommandLineOption scrape(
        u"scrape"_qs,
        u"Only one scrape of the metrics endpoint with 30,000 hosts x 10 readings, read whole "
        "over loopback by a client in another thread: its time, the longest the event loop is "
        "held up, and the peak memory it adds."_qs);
    const QCommandLineOption archive(
        u"archive"_qs,
        u"Only the history on disk: the writer's processor time and the file's growth at "
        "1,000 hosts x 10 readings every 10 s over two simulated hours, and the time to read "
        "back the hosts of the last day and a host's 7 days of minutes."_qs);
    const QCommandLineOption week(
        u"week"_qs,
        u"Only a restart over a history of 7 days at 1,000 hosts x 10 readings: the time to the "
        "window painted with the hosts put back, and to \"Last 7 days\" of a host drawn."_qs);
    parser.addOptions({quick,          soak,      soakSeconds,   simulator,         tableOnly,
                       tableDatagrams, tableSide, worstCase,     worstCaseDistinct, worstCaseName,
                       churn,          save,      tick,          senderFilter,      limits,
                       applyLimits,    overview,  overviewPaint, history,           scrape,
                       archive,        week});
    parser.process(app);

    if (parser.isSet(week)) {
        const WeekCost::Result result = WeekCost::measure(1000, 10);
        out() << "restart over " << mb(result.fileBytes) << " of history, " << result.hosts
              << " hosts x " << result.readings << " readings for 7 days: the window painted with "
              << result.hostsBack << " hosts put back in "
              << QString::number(result.startMs, 'f', 0) << " ms (target under 2 s) "
              << verdict(result.startMs < 2000 && result.hostsBack == result.hosts)
              << "; \"Last 7 days\" of a host's " << result.readings << " readings ("
              << result.rollups << " roll-ups) read and drawn in "
              << QString::number(result.weekMs, 'f', 0) << " ms (target 100 ms) "
              << verdict(result.weekMs <= 100) << Qt::endl;
        return 0;
    }

    if (parser.isSet(archive)) {
        const ArchiveCost::Writing writing = ArchiveCost::writing(1000, 10, 10, 2);
        out() << "history on disk, " << writing.hosts << " hosts x " << writing.readings
              << " readings every " << writing.intervalSeconds << " s: writer "
              << QString::number(100 * writing.writerCpuShare, 'f', 2)
              << "% of one core (target under 2%) " << verdict(writing.writerCpuShare < 0.02)
              << Qt::endl;
        out() << "  a day of minutes at most " << writing.minuteBytesPerDay / 1'000'000
              << " MB (target at most 150 MB) " << verdict(writing.minuteBytesPerDay <= 150'000'000)
              << ", a day of hours about " << writing.hourBytesPerDay / 1'000'000
              << " MB (target at most 5 MB) " << verdict(writing.hourBytesPerDay <= 5'000'000)
              << ", the last hour's points " << writing.pointBytesPerHour / 1'000'000 << " MB"
              << Qt::endl;
        const ArchiveCost::Reading reading = ArchiveCost::reading(1000, 10);
        out() << "  read back: the last day's hosts in "
              << QString::number(reading.keptHostsMs, 'f', 1) << " ms; a host's 7 days of minutes ("
              << reading.rollups << " roll-ups of 10 readings) in "
              << QString::number(reading.sevenDaysMs, 'f', 1) << " ms (target for drawing: 100 ms) "
              << verdict(reading.sevenDaysMs < 100) << Qt::endl;
        const ArchiveCost::FullTable memory = ArchiveCost::fullTable(32766, 64, 2, false);
        const ArchiveCost::FullTable full = ArchiveCost::fullTable(32766, 64, 2);
        out() << "  full table, " << full.hosts << " x " << full.readings
              << " once a minute: the table's tick with the history in memory alone, longest "
              << QString::number(memory.longestTickMs, 'f', 1)
              << " ms; with the batch handed over, longest "
              << QString::number(full.longestTickMs, 'f', 1) << " ms ("
              << QString::number(full.longestTickCpuMs, 'f', 1) << " ms of processor time), mean "
              << QString::number(full.meanTickMs, 'f', 1) << " ms (target: the window held at most "
              << "50 ms, by processor time) " << verdict(full.longestTickCpuMs <= 50) << "; "
              << full.pointsWritten << " of " << full.pointsHeard
              << " points of the first reading written "
              << verdict(full.pointsWritten == full.pointsHeard) << Qt::endl;
        return 0;
    }

    if (parser.isSet(scrape)) {
        const ScrapeCost::Result result = ScrapeCost::measure(30'000, 10);
        out() << "scrape: " << result.hosts << " hosts x " << result.readings << " readings, "
              << result.series << " samples, " << mb(result.bytes) << " read in "
              << QString::number(result.seconds, 'f', 3) << " s (target under 1 s) "
              << verdict(result.ran && result.seconds < 1) << "; the event loop held up at most "
              << QString::number(result.longestGapMs, 'f', 1) << " ms (target at most 50 ms) "
              << verdict(result.longestGapMs <= 50) << "; peak resident "
              << mb(result.residentBefore + result.peakExtra) << ", " << mb(result.peakExtra)
              << " more than before; written alone in "
              << QString::number(result.writeSeconds, 'f', 3) << " s, the longest piece "
              << QString::number(result.longestPieceMs, 'f', 2) << " ms"
              << (result.ran ? "" : " -- the answer did NOT arrive whole") << " | load "
              << loadAverage() << Qt::endl;
        return result.ran ? 0 : 1;
    }

    if (parser.isSet(overviewPaint)) {
        paintFigures();
        return 0;
    }

    if (parser.isSet(churn)) {
        constexpr int rounds = 10;
        const WorstCase::Churn result =
            WorstCase::churn(ReadingsTable::defaultHostLimit, WorstCase::room(6) / 2, rounds);
        const double growth = result.firstPeak > 0 ? 100.0 * double(result.peak - result.firstPeak)
                                                         / double(result.firstPeak)
                                                   : 0;
        out() << "churn: " << rounds << " rounds of " << ReadingsTable::defaultHostLimit
              << " hosts x " << ReadingsTable::pairCount
              << " pairs with names of each host's own, new each round, then Clear Table: peak "
                 "resident "
              << mb(result.peak) << " against " << mb(result.firstPeak)
              << " after the first round (" << (growth >= 0 ? "+" : "")
              << QString::number(growth, 'f', 1) << "%, target at most +10%) "
              << verdict(growth <= 10) << (result.filled ? "" : " -- NOT every pair was filled")
              << Qt::endl;
        return result.filled ? 0 : 1;
    }

    if (parser.isSet(save)) {
        bool all = true;
        for (const auto &[name, value] :
             {std::pair(8, 6),
              std::pair(WorstCase::room(6) / 2, WorstCase::room(6) - WorstCase::room(6) / 2)}) {
            const WorstCase::Save result =
                WorstCase::save(ReadingsTable::defaultHostLimit, name, value, QDir::tempPath());
            out() << "save: " << result.hosts << " hosts x " << result.pairs << " pairs, names of "
                  << name << " and values of " << value << " characters, " << mb(result.bytes)
                  << " of CSV in " << QString::number(result.seconds, 'f', 2)
                  << " s; the window held up at most "
                  << QString::number(result.longestGapMs, 'f', 1) << " ms (target at most 1000 ms) "
                  << verdict(result.saved && result.longestGapMs <= 1000)
                  << (result.saved ? QString() : u" -- not saved: "_qs + result.error) << Qt::endl;
            all = all && result.saved;
        }
        return all ? 0 : 1;
    }

    if (parser.isSet(applyLimits)) {
        const WorstCase::Apply result = WorstCase::applyLimits(ReadingsTable::defaultHostLimit);
        out() << "apply limits: " << result.hosts << " hosts x " << result.pairs
              << " pairs, a limit for every name: applied in "
              << QString::number(result.seconds, 'f', 3) << " s (target at most 1 s) "
              << verdict(result.applied && result.seconds <= 1) << " in " << result.slices
              << " slices; the window held up at most "
              << QString::number(result.longestGapMs, 'f', 1) << " ms (target at most 100 ms) "
              << verdict(result.longestGapMs <= 100) << "; " << result.postedMeanwhile
              << " readings arrived meanwhile; " << result.criticalHosts << " critical, "
              << result.warningHosts << " warning" << Qt::endl;
        return result.applied ? 0 : 1;
    }

    const auto reportTick = [] {
        const TickCost::Result cost = TickCost::measure(ReadingsTable::defaultHostLimit);
        out() << "  one tick, " << cost.hosts << " hosts x " << cost.pairs
              << " pairs all due in the same second: " << QString::number(cost.requeuedMs, 'f', 2)
              << " ms when all were heard since, " << QString::number(cost.silencedMs, 'f', 2)
              << " ms when all fall silent (" << cost.silentHosts << " silent)" << Qt::endl;
        return cost;
    };
    if (parser.isSet(tick)) {
        reportTick();
        return 0;
    }

    if (parser.isSet(worstCase) || parser.isSet(worstCaseDistinct)) {
        const bool distinct = parser.isSet(worstCaseDistinct);
        const int room = WorstCase::room(6);
        // A host's own name carries the pair, the host and a round: "n07h00042r".
        const int shortest = distinct ? 10 : 3;
        const int nameLength =
            parser.isSet(worstCaseName)
                ? std::clamp(parser.value(worstCaseName).toInt(), shortest, room - 1)
                : room / 2;
        const WorstCase::Result worst =
            WorstCase::measure(ReadingsTable::defaultHostLimit, nameLength,
                               distinct ? WorstCase::Names::PerHost : WorstCase::Names::Shared,
                               parser.isSet(limits), parser.isSet(overview));
        out() << "worst case, " << (distinct ? "names of each host's own" : "names shared")
              << (parser.isSet(overview) ? ", with the overview sorted" : "") << ": " << worst.hosts
              << " hosts x " << ReadingsTable::pairCount << " pairs, names of " << worst.nameLength
              << " and values of " << worst.valueLength << " characters (" << worst.datagramSize
              << "-byte datagrams): peak resident " << mb(worst.peakResident) << " ("
              << mb(worst.residentBefore) << " before)"
              << (parser.isSet(limits) ? ", a limit for every shared name" : "")
              << (worst.filled ? "" : " -- NOT every pair was filled") << Qt::endl;
        return worst.filled ? 0 : 1;
    }

    if (parser.isSet(tableOnly)) {
        const int hosts = parser.value(tableOnly).toInt();
        const bool withLimits = parser.isSet(limits);
        const quint64 datagrams = std::max(1ull, parser.value(tableDatagrams).toULongLong());
        const QString side = parser.value(tableSide);
        if (!side.isEmpty()) {
            const bool withHistory = side == u"history"_qs || side == u"archive"_qs;
            const bool withArchive = side == u"archive"_qs;
            const TableCost::Result cost =
                TableCost::measure(hosts, 10, datagrams, withLimits,
                                   withArchive   ? TableCost::Following::HistoryAndArchive
                                   : withHistory ? TableCost::Following::History
                                                 : TableCost::Following::Nothing);
            out() << "decode+parse+post"
                  << (withArchive   ? " with history on disk"
                      : withHistory ? " with history"
                                    : "")
                  << ": " << QString::number(cost.nanosPerDatagram, 'f', 0)
                  << " ns per datagram at " << cost.hosts << " hosts" << Qt::endl;
            return 0;
        }
        // The best of five each, taken in turns, so that a load that comes and goes on a shared
        // machine weighs on both sides alike.
        constexpr int runs = 5;
        TableCost::Result cost;
        TableCost::Result withHistory;
        TableCost::Result withArchive;
        for (int run = 0; run < runs; ++run) {
            const TableCost::Result plain = TableCost::measure(hosts, 10, datagrams, withLimits);
            const TableCost::Result followed =
                TableCost::measure(hosts, 10, datagrams, withLimits, TableCost::Following::History);
            if (run == 0 || plain.nanosPerDatagram < cost.nanosPerDatagram)
                cost = plain;
            if (run == 0 || followed.nanosPerDatagram < withHistory.nanosPerDatagram)
                withHistory = followed;
            const TableCost::Result kept = TableCost::measure(
                hosts, 10, datagrams, withLimits, TableCost::Following::HistoryAndArchive);
            if (run == 0 || kept.nanosPerDatagram < withArchive.nanosPerDatagram)
                withArchive = kept;
        }
        out() << "decode+parse+post, best of " << runs << ": "
              << QString::number(cost.nanosPerDatagram, 'f', 0) << " ns per datagram at "
              << cost.hosts << " hosts (first round "
              << QString::number(cost.nanosPerFirstRound, 'f', 0) << " ns)"
              << (withLimits ? ", a limit for every reading name" : "") << Qt::endl;
        const double added =
            100.0 * (withHistory.nanosPerDatagram - cost.nanosPerDatagram) / cost.nanosPerDatagram;
        out() << "  with history: " << QString::number(withHistory.nanosPerDatagram, 'f', 0)
              << " ns per datagram (first round "
              << QString::number(withHistory.nanosPerFirstRound, 'f', 0) << " ns), "
              << (added >= 0 ? "+" : "") << QString::number(added, 'f', 1)
              << "% (target at most +10%) " << verdict(added <= 10) << Qt::endl;
        const double onDisk = 100.0 * (withArchive.nanosPerDatagram - withHistory.nanosPerDatagram)
                              / withHistory.nanosPerDatagram;
        out() << "  with history on disk too: "
              << QString::number(withArchive.nanosPerDatagram, 'f', 0) << " ns per datagram, "
              << (onDisk >= 0 ? "+" : "") << QString::number(onDisk, 'f', 1)
              << "% over the history in memory alone (target at most +5%) " << verdict(onDisk <= 5)
              << Qt::endl;
        return 0;
    }

    if (parser.isSet(history)) {
        for (const int readings : {1, 3}) {
            const HistoryCost::Drawing drawing =
                HistoryCost::drawing(readings, 1000, 300 * readings, 50);
            out() << "history window: " << drawing.readings << " reading(s) x " << drawing.points
                  << " points (an hour of seconds), drawn at 1000 x " << 300 * readings
                  << ": first paint " << QString::number(drawing.firstMs, 'f', 2)
                  << " ms; redrawn: mean " << QString::number(drawing.meanMs, 'f', 2)
                  << " ms, longest " << QString::number(drawing.longestMs, 'f', 2)
                  << " ms (target 16 ms) " << verdict(drawing.longestMs <= 16) << Qt::endl;
        }
        for (const auto &[hosts, readings, interval] :
             {std::tuple(1000, 10, 10),
              std::tuple(ReadingsTable::defaultHostLimit, int(ReadingsTable::pairCount), 60)}) {
            const HistoryCost::Memory memory = HistoryCost::memory(hosts, readings, interval);
            out() << "history memory: " << memory.hosts << " hosts x " << memory.readings
                  << " readings every " << memory.intervalSeconds
                  << " s for an hour: " << mb(memory.bytesUsed) << " counted against a cap of "
                  << mb(memory.capBytes) << " " << verdict(memory.bytesUsed <= memory.capBytes)
                  << "; first reading keeps " << memory.pointsKept << " of " << memory.pointsHeard
                  << " points; process grew by " << mb(memory.residentGrowth) << " with the table ("
                  << QString::number(memory.seconds, 'f', 1) << " s)" << Qt::endl;
        }
        return 0;
    }

    const QString generator = Generator::find(parser.value(simulator));
    if (generator.isEmpty())
        cannotRun(u"senvo-sim not found; build it or pass --sim"_qs);
    out() << "senvo-bench: generator " << generator << ", " << QThread::idealThreadCount()
          << " cores, load average " << loadAverage() << Qt::endl;

    if (parser.isSet(senderFilter)) {
        constexpr int entries = 100;
        const bool short_ = parser.isSet(quick);
        const auto share = [](double with, double without) {
            const double change = without > 0 ? 100.0 * (with - without) / without : 0;
            return u"%1%2%"_qs.arg(change >= 0 ? u"+"_qs : QString()).arg(change, 0, 'f', 1);
        };
        out() << "== sender filter: " << entries << " allowed senders, IPv4 and IPv6" << Qt::endl;
        const FilterCost::Result fed =
            FilterCost::measure(entries, 1000, 10, 100'000, short_ ? 15 : 61);
        out() << "  fed from memory, one sender: " << QString::number(fed.nanosOneSender, 'f', 1)
              << " ns without, " << QString::number(fed.nanosOneSenderFiltered, 'f', 1)
              << " ns with (" << share(fed.nanosOneSenderFiltered, fed.nanosOneSender) << ")"
              << Qt::endl
              << "  fed from memory, " << fed.hosts
              << " senders in turn: " << QString::number(fed.nanosPerHost, 'f', 1)
              << " ns without, " << QString::number(fed.nanosPerHostFiltered, 'f', 1)
              << " ns with (" << share(fed.nanosPerHostFiltered, fed.nanosPerHost) << ")"
              << Qt::endl;
        Generator::Traffic burst;
        burst.count = short_ ? 300'000 : 1'000'000;
        double best[2] = {0, 0};
        for (int round = 0; round < (short_ ? 2 : 3); ++round) {
            for (const bool filtered : {false, true}) {
                AppPathRun::Extras extras;
                if (filtered)
                    extras.allowedSenders = FilterCost::allowedSenders(entries);
                const AppPathRun::Result run = runApp(generator, burst, extras);
                const double cpu = run.cpuMicrosPerDatagram();
                best[filtered] = best[filtered] == 0 ? cpu : std::min(best[filtered], cpu);
                out() << "  full speed " << (filtered ? "with   " : "without") << ": loss "
                      << percent(run.lossPercent()) << ", cpu " << QString::number(cpu, 'f', 3)
                      << " us/datagram" << Qt::endl;
            }
        }
        // The difference is measured fed from memory, where a few nanoseconds show; full speed
        // adds the socket's cost to both, and its own noise.
        const double added = std::max(fed.nanosOneSenderFiltered - fed.nanosOneSender,
                                      fed.nanosPerHostFiltered - fed.nanosPerHost);
        const double ofFullSpeed = best[0] > 0 ? 100.0 * added / (best[0] * 1000) : 0;
        out() << "senvo-bench sender filter: " << entries << " entries add "
              << QString::number(added, 'f', 1) << " ns per datagram at most, "
              << QString::number(ofFullSpeed, 'f', 2)
              << "% of the cost at full speed (target at most 2%) " << verdict(ofFullSpeed <= 2)
              << " | fed from memory " << share(fed.nanosOneSenderFiltered, fed.nanosOneSender)
              << " one sender, " << share(fed.nanosPerHostFiltered, fed.nanosPerHost) << " "
              << fed.hosts << " senders in turn | full speed, best cpu "
              << QString::number(best[0], 'f', 3) << " without, "
              << QString::number(best[1], 'f', 3) << " us/datagram with ("
              << share(best[1], best[0]) << ") | load average " << loadAverage() << Qt::endl;
        return 0;
    }

    if (parser.isSet(soak)) {
        const double seconds = parser.value(soakSeconds).toDouble();
        Generator::Traffic traffic;
        traffic.hosts = 1000;
        traffic.readings = 10;
        traffic.rate = 50'000;
        traffic.duration = seconds > 0 ? seconds : 600;
        out() << "== soak: " << traffic.duration << " s at " << rateText(traffic.rate) << " from "
              << traffic.hosts << " hosts x " << traffic.readings << " readings" << Qt::endl;
        const AppPathRun::Result result = runApp(generator, traffic, {false, 30, {}, {}});
        for (const auto &[at, bytes] : result.residentSamples)
            out() << "  " << QString::number(at, 'f', 0) << " s: resident " << mb(bytes)
                  << Qt::endl;
        const qint64 first =
            result.residentSamples.isEmpty() ? 0 : result.residentSamples.first().second;
        const qint64 last =
            result.residentSamples.isEmpty() ? 0 : result.residentSamples.last().second;
        out() << "senvo-bench soak summary: sent " << result.sent << ", lost "
              << result.sent - std::min(result.sent, result.received) << " ("
              << percent(result.lossPercent()) << "), resident " << mb(first) << " at "
              << QString::number(
                     result.residentSamples.isEmpty() ? 0 : result.residentSamples.first().first,
                     'f', 0)
              << " s -> " << mb(last) << " at the last sample, longest stall "
              << QString::number(result.longestGapMs, 'f', 1) << " ms (ending at "
              << QString::number(result.longestGapEndSeconds, 'f', 0) << " s), load average "
              << loadAverage() << Qt::endl;
        return 0;
    }

    if (parser.isSet(overview))
        return overviewFigures(generator, parser.isSet(quick));

    Plan plan;
    if (parser.isSet(quick)) {
        plan.count = 100'000;
        plan.steps = {100'000, 200'000, 400'000};
        plan.stallCount = 200'000;
        plan.hostRounds = 2;
        plan.tableCostCount = 300'000;
    }

    out() << "== zero loss: " << plan.count << " datagrams, 1000 hosts x 20 readings, paced"
          << Qt::endl;
    const auto [ceilingLadder, appLadder] = zeroLossLadders(generator, plan);

    out() << "== full speed: " << plan.count << " datagrams as fast as the generator can"
          << Qt::endl;
    Generator::Traffic burst;
    burst.count = plan.count;
    Generator burstSender(generator);
    const CeilingReceiver::Result ceilingBurst = runCeiling(generator, burst, &burstSender);
    const double ceilingLoss =
        100.0 * double(burstSender.sent() - std::min(burstSender.sent(), ceilingBurst.datagrams))
        / double(burstSender.sent());
    const double ceilingCpu =
        ceilingBurst.cpuSeconds * 1e6 / double(std::max<quint64>(1, ceilingBurst.datagrams));
    out() << "  ceiling: sent " << burstSender.sent() << " at " << rateText(burstSender.sentRate())
          << ", received " << ceilingBurst.datagrams << ", loss " << percent(ceilingLoss)
          << ", cpu " << QString::number(ceilingCpu, 'f', 3) << " us/datagram" << Qt::endl;
    const AppPathRun::Result appBurst = runApp(generator, burst);
    out() << "  app:     sent " << appBurst.sent << " at " << rateText(appBurst.sentRate)
          << ", received " << appBurst.received << ", loss " << percent(appBurst.lossPercent())
          << ", cpu " << QString::number(appBurst.cpuMicrosPerDatagram(), 'f', 3)
          << " us/datagram, longest stall " << QString::number(appBurst.longestGapMs, 'f', 1)
          << " ms" << Qt::endl;

    Generator::Traffic steady;
    steady.count = plan.stallCount;
    steady.rate = plan.stallRate;
    AppPathRun::Result stall;
    // The same with the rows of a tenth of the hosts found, as an operator watching them
    // would leave it.
    for (const QString &filter : {QString(), u"host01"_qs}) {
        out() << "== responsiveness: " << plan.stallCount << " datagrams at "
              << rateText(plan.stallRate) << ", 10 ms heartbeat"
              << (filter.isEmpty() ? QString() : u", hosts found by \""_qs + filter + u'"')
              << Qt::endl;
        AppPathRun::Extras extras;
        extras.hostFilter = filter;
        const AppPathRun::Result run = runApp(generator, steady, extras);
        out() << "  lost " << run.sent - std::min(run.sent, run.received) << " of " << run.sent
              << ", longest heartbeat gap " << QString::number(run.longestGapMs, 'f', 1)
              << " ms, cpu " << QString::number(run.cpuMicrosPerDatagram(), 'f', 3)
              << " us/datagram" << Qt::endl;
        out() << "  counters: at worst " << QString::number(run.counterLag, 'f', 0)
              << " datagrams behind ("
              << QString::number(run.counterLag / plan.stallRate * 1000, 'f', 1)
              << " ms of traffic), refreshed at least every "
              << QString::number(run.longestRefreshMs, 'f', 1) << " ms, final count shown "
              << (std::isnan(run.settleMs)
                      ? u"NEVER"_qs
                      : QString::number(run.settleMs, 'f', 1) + u" ms after the last datagram"_qs)
              << Qt::endl;
        if (filter.isEmpty())
            stall = run;
        else
            stall.longestGapMs = std::max(stall.longestGapMs, run.longestGapMs);
    }

    out() << "== hosts: " << plan.manyHosts << " and " << plan.fewHosts << " hosts x "
          << plan.hostReadings << " readings, " << plan.hostRounds << " rounds at full speed"
          << Qt::endl;
    const bool peakReset = ProcessStats::resetPeak();
    const qint64 residentBefore = ProcessStats::residentBytes();
    Generator::Traffic many;
    many.hosts = plan.manyHosts;
    many.readings = plan.hostReadings;
    many.count = quint64(plan.manyHosts) * quint64(plan.hostReadings) * quint64(plan.hostRounds);
    const AppPathRun::Result manyRun = runApp(generator, many, {true, 0, {}, {}});
    const qint64 peak = ProcessStats::peakResidentBytes();
    out() << "  " << plan.manyHosts << " hosts: " << manyRun.hosts << " rows, "
          << manyRun.filledPairs << " values, loss " << percent(manyRun.lossPercent()) << ", cpu "
          << QString::number(manyRun.cpuMicrosPerDatagram(), 'f', 3)
          << " us/datagram, peak resident " << mb(peak)
          << (peakReset ? "" : " (peak of the whole run)") << " (" << mb(residentBefore)
          << " before)" << Qt::endl;
    Generator::Traffic few = many;
    few.hosts = plan.fewHosts;
    const AppPathRun::Result fewRun = runApp(generator, few);
    out() << "  " << plan.fewHosts << " hosts: loss " << percent(fewRun.lossPercent()) << ", cpu "
          << QString::number(fewRun.cpuMicrosPerDatagram(), 'f', 3) << " us/datagram" << Qt::endl;
    const TableCost::Result manyCost =
        TableCost::measure(plan.manyHosts, plan.hostReadings, plan.tableCostCount);
    const TableCost::Result fewCost =
        TableCost::measure(plan.fewHosts, plan.hostReadings, plan.tableCostCount);
    out() << "  decode+parse+post alone: " << QString::number(manyCost.nanosPerDatagram, 'f', 0)
          << " ns at " << plan.manyHosts << " hosts (first round "
          << QString::number(manyCost.nanosPerFirstRound, 'f', 0) << " ns), "
          << QString::number(fewCost.nanosPerDatagram, 'f', 0) << " ns at " << plan.fewHosts
          << " hosts" << Qt::endl;

    const TickCost::Result tickCost = reportTick();

    const double appShare =
        ceilingLadder.highest > 0 ? appLadder.highest / ceilingLadder.highest : 0;
    const double cpuRatio = ceilingCpu > 0 ? appBurst.cpuMicrosPerDatagram() / ceilingCpu : 0;
    const double hostRatio = fewRun.cpuMicrosPerDatagram() > 0
                                 ? manyRun.cpuMicrosPerDatagram() / fewRun.cpuMicrosPerDatagram()
                                 : 0;
    const double tableRatio =
        fewCost.nanosPerDatagram > 0 ? manyCost.nanosPerDatagram / fewCost.nanosPerDatagram : 0;
    const auto bound = [](const Ladder &ladder) {
        return ladder.ceilingOfGenerator ? u" (generator-bound)"_qs : QString();
    };

    out() << "== targets" << Qt::endl
          << "  zero-loss rate >= 50% of the ceiling: " << percent(100 * appShare) << " "
          << verdict(appShare >= 0.5) << Qt::endl
          << "  full-speed loss <= 1%: " << percent(appBurst.lossPercent()) << " "
          << verdict(appBurst.lossPercent() <= 1) << Qt::endl
          << "  longest stall at " << rateText(plan.stallRate)
          << " <= 50 ms: " << QString::number(stall.longestGapMs, 'f', 1) << " ms "
          << verdict(stall.longestGapMs <= 50) << Qt::endl
          << "  peak resident with " << plan.manyHosts << " hosts <= 200 MB: " << mb(peak) << " "
          << verdict(peak <= 200LL * 1024 * 1024) << Qt::endl
          << "  cost at " << plan.manyHosts << " hosts <= 1.5x that at " << plan.fewHosts << ": "
          << QString::number(hostRatio, 'f', 2) << "x " << verdict(hostRatio <= 1.5) << Qt::endl;

    out() << "senvo-bench summary" << (parser.isSet(quick) ? " (quick)" : "") << ": zero-loss "
          << rateText(appLadder.highest) << bound(appLadder) << " vs ceiling "
          << rateText(ceilingLadder.highest) << bound(ceilingLadder) << " ("
          << percent(100 * appShare) << ")"
          << " | full-speed loss " << percent(appBurst.lossPercent()) << " vs ceiling "
          << percent(ceilingLoss) << " | cpu "
          << QString::number(appBurst.cpuMicrosPerDatagram(), 'f', 2) << " us/datagram vs ceiling "
          << QString::number(ceilingCpu, 'f', 2) << " (" << QString::number(cpuRatio, 'f', 1)
          << "x)"
          << " | stall at " << rateText(plan.stallRate) << " "
          << QString::number(stall.longestGapMs, 'f', 1) << " ms | counters "
          << QString::number(stall.counterLag, 'f', 0) << " datagrams behind, every "
          << QString::number(stall.longestRefreshMs, 'f', 1) << " ms"
          << " | peak RSS " << plan.manyHosts << "x" << plan.hostReadings << " " << mb(peak)
          << " | tick "
          << QString::number(std::max(tickCost.requeuedMs, tickCost.silencedMs), 'f', 1) << " ms"
          << " | cost " << plan.manyHosts << " vs " << plan.fewHosts << " hosts "
          << QString::number(hostRatio, 'f', 2) << "x (table alone "
          << QString::number(tableRatio, 'f', 2) << "x) | " << QThread::idealThreadCount()
          << " cores, load " << loadAverage() << Qt::endl;
    return 0;
}
