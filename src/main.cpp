#include "mainwindow/commandline.h"
#include "mainwindow/mainform.h"
#include "senvoversion.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>

namespace {

void nameApplication()
{
    QCoreApplication::setApplicationName(u"Senvo-Net"_qs);
    QCoreApplication::setApplicationVersion(SenvoVersion::text);
}

} // namespace

int main(int argc, char *argv[])
{
    {
        // Without a window system: --help must work where there is no display.
        const QCoreApplication console(argc, argv);
        nameApplication();
        const CommandLine commandLine(QCoreApplication::arguments());
        if (!commandLine.opensWindow()) {
            QTextStream(commandLine.exitCode() == 0 ? stdout : stderr) << commandLine.message();
            return commandLine.exitCode();
        }
    }
    QApplication app(argc, argv);
    nameApplication();
    QGuiApplication::setDesktopFileName(u"senvo-net"_qs);
    MainForm window(SettingsFile::forThisApplication());
    window.show();
    return QApplication::exec();
}
