#pragma once

#include "engine/archive/archivewriter.h"
#include "engine/monitor/monitor.h"
#include "engine/reception/reading.h"
#include "engine/settings/settingsfile.h"
#include "fakedatagramsocket.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

// A monitor as the program makes it at start-up, over settings folders of its own, whose
// history file holds what an earlier run left there: the batches are written and the file
// closed before the monitor opens it. It listens on a fake socket.
class EarlierRun final
{
public:
    // Between the runs, between(path of the file) may do to the file what it will.
    explicit EarlierRun(const std::vector<ArchiveBatch> &batches,
                        const ReceiveClock *clock = nullptr,
                        const std::function<void(const QString &)> &between = {})
    {
        const SettingsFile settings(m_program.path(), m_user.path());
        {
            const QString folder = settings.dataDirectoryInUse();
            ArchiveWriter writer(ArchiveSettings::fromObject({}, folder, folder),
                                 [] { return QDateTime::currentDateTime(); });
            writer.openFile();
            for (ArchiveBatch batch : batches)
                writer.write(std::move(batch));
            writer.finish();
            m_problem = writer.problem();
            if (between)
                between(QDir(folder).filePath(ArchiveSettings::fileName));
        }
        m_monitor = std::make_unique<Monitor>(settings, nullptr, new FakeDatagramSocket, clock);
        m_monitor->listenAtStartUp();
    }

    Monitor &monitor() const { return *m_monitor; }
    HistoryArchive &archive() const { return *m_monitor->archive(); }
    // Why the earlier run could not write the file; empty when it could.
    const QString &problem() const { return m_problem; }
    QString folder() const { return m_program.path(); }

    // Posts a reading to the table and publishes it, as the receiver does.
    void post(const QString &host, const QString &name, const QString &value) const
    {
        m_monitor->table().beginBatch();
        m_monitor->table().fillgrid(
            {{}, u"Jun 10"_qs, u"19:35:00"_qs, host, u' ' + name, u' ' + value + u' '});
        m_monitor->receiver().publish();
    }

private:
    QTemporaryDir m_program;
    QTemporaryDir m_user;
    QString m_problem;
    std::unique_ptr<Monitor> m_monitor;
};
