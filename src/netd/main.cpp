#include "daemon.h"
#include "daemonlog.h"
#include "netdcommandline.h"

#include "engine/monitor/monitor.h"
#include "engine/settings/settingsfile.h"
#include "senvoversion.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The window's name: the same settings folder, the same files.
    QCoreApplication::setApplicationName(u"Senvo-Net"_qs);
    QCoreApplication::setApplicationVersion(SenvoVersion::text);
    const NetdCommandLine commandLine(QCoreApplication::arguments());
    if (!commandLine.runs()) {
        QTextStream(commandLine.exitCode() == 0 ? stdout : stderr) << commandLine.message();
        return commandLine.exitCode();
    }
    const QString config = !commandLine.configDirectory().isEmpty() ? commandLine.configDirectory()
                                                                    : SettingsFile::userDirectory();
    const DaemonLog log;
    const QString data = !commandLine.dataDirectory().isEmpty() ? commandLine.dataDirectory()
                                                                : SettingsFile::userDataDirectory();
    // Only the folder given: a service reads its settings from one place.
    Monitor monitor(SettingsFile(QString(), config, data));
    Daemon daemon(monitor, log);
    daemon.start(config);
    return QCoreApplication::exec();
}
