#include "app/callersconsole.h"
#include "app/commandline.h"
#include "engine/monitor/monitor.h"
#include "gui/common/designfont.h"
#include "gui/mainwindow/desktopintegration.h"
#include "gui/mainwindow/mainform.h"
#include "senvoversion.h"

#include <QApplication>
#include <QTextStream>

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
            answerInCallersConsole();
            QTextStream(commandLine.exitCode() == 0 ? stdout : stderr) << commandLine.message();
            return commandLine.exitCode();
        }
    }
    QApplication app(argc, argv);
    nameApplication();
    QGuiApplication::setDesktopFileName(u"senvo-net"_qs);
    // Menus and message boxes read as well as the windows.
    QApplication::setFont(withInstalledFace(QApplication::font()));
    // The engine first: it outlives the window it is shown in.
    Monitor monitor(SettingsFile::forThisApplication());
    monitor.listenAtStartUp();
    MainForm window(monitor);
    window.show();
    // Made after the window and gone before it: the tray icon leaves with the window.
    DesktopIntegration desktop(monitor, window);
    return QApplication::exec();
}
