#include "weekcost.h"

#include "engine/archive/archivedatabase.h"
#include "engine/archive/archivesettings.h"
#include "engine/archive/archivewriter.h"
#include "engine/history/historyrange.h"
#include "engine/monitor/monitor.h"
#include "engine/settings/settingsfile.h"
#include "gui/history/historyplot.h"
#include "gui/history/historywindow.h"
#include "gui/mainwindow/mainform.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <sqlite3.h>

#include <cmath>
#include <numeric>

namespace {

constexpr qint64 hourMs = ArchiveDatabase::hourMs;

QString hostName(int host)
{
    return u"host%1"_qs.arg(host, 4, 10, QChar(u'0'));
}

// Two hours of points every 10 s, rolled up, then their minutes copied back over the week:
// writing a week point by point would take the benchmark longer than the week is worth.
void fillWeek(const QString &folder, int hosts, int readings, qint64 nowMs)
{
    const ArchiveSettings settings = ArchiveSettings::fromObject({}, folder, folder);
    qint64 clockMs = nowMs - 3 * hourMs;
    {
        ArchiveWriter writer(settings,
                             [&clockMs] { return QDateTime::fromMSecsSinceEpoch(clockMs); });
        writer.openFile();
        for (; clockMs < nowMs - hourMs; clockMs += 1000) {
            const qint64 second = (clockMs - (nowMs - 3 * hourMs)) / 1000;
            ArchiveBatch batch;
            for (int host = int(second % 10); host < hosts; host += 10) {
                for (int reading = 0; reading < readings; ++reading) {
                    const auto series = quint32(host * readings + reading + 1);
                    if (second < 10)
                        batch.newSeries.push_back({series, hostName(host), u"R%1"_qs.arg(reading)});
                    const double wave = std::sin(double(clockMs) / 6e5 + host + reading * 0.7);
                    batch.points.push_back(
                        {clockMs, series, float(std::round(50 + 20 * wave)), false});
                }
            }
            writer.write(std::move(batch));
        }
        ArchiveBatch kept;
        for (int host = 0; host < hosts; ++host) {
            KeptHost entry{hostName(host), nowMs - 60'000, {}, host};
            for (int reading = 0; reading < readings; ++reading)
                entry.readings.append({u"R%1"_qs.arg(reading), u" 45 C "_qs});
            kept.hosts.push_back(std::move(entry));
        }
        writer.write(std::move(kept));
        clockMs = nowMs;
        writer.maintainNow();
        writer.finish();
    }
    sqlite3 *db = nullptr;
    sqlite3_open(settings.filePath().toUtf8().constData(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *copy = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO minutes(series, hour_ms, data) SELECT series, hour_ms - ?, "
                       "data FROM minutes WHERE hour_ms >= ?",
                       -1, &copy, nullptr);
    for (qint64 back = 2; back < 7 * 24; back += 2) {
        sqlite3_bind_int64(copy, 1, back * hourMs);
        sqlite3_bind_int64(copy, 2, nowMs - 3 * hourMs);
        sqlite3_step(copy);
        sqlite3_reset(copy);
    }
    sqlite3_finalize(copy);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// A port nothing listens on, for the program to take.
quint16 freePort()
{
    QUdpSocket socket;
    socket.bind(QHostAddress::LocalHost, 0);
    return socket.localPort();
}

} // namespace

WeekCost::Result WeekCost::measure(int hosts, int readings)
{
    QTemporaryDir program;
    QTemporaryDir user;
    const SettingsFile settings(program.path(), user.path());
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch() / hourMs * hourMs;
    fillWeek(settings.dataDirectoryInUse(), hosts, readings, nowMs);
    QFile ini(QDir(program.path()).filePath(SettingsFile::fileName.toString()));
    if (ini.open(QIODevice::WriteOnly))
        ini.write(QByteArray::number(freePort()) + "\r\n");
    ini.close();

    Result result;
    result.hosts = hosts;
    result.readings = readings;
    result.fileBytes =
        QFileInfo(QDir(settings.dataDirectoryInUse()).filePath(ArchiveSettings::fileName)).size();
    QElapsedTimer timer;
    timer.start();
    Monitor monitor(settings);
    monitor.listenAtStartUp();
    MainForm window(monitor);
    window.show();
    QApplication::processEvents();
    window.repaint();
    result.startMs = double(timer.nsecsElapsed()) / 1e6;
    result.hostsBack = monitor.table().hostCount();

    std::vector<int> pairs(static_cast<size_t>(readings));
    std::iota(pairs.begin(), pairs.end(), 0);
    HistoryWindow history(monitor, 0, pairs);
    history.show();
    QApplication::processEvents();
    timer.restart();
    history.setRange(HistoryRange::Week);
    history.repaint();
    result.weekMs = double(timer.nsecsElapsed()) / 1e6;
    for (const auto &reading : history.plot()->readings())
        result.rollups += qint64(reading.rollups.size());
    return result;
}
