#include "app/commandline.h"
#include "engine/monitor/monitor.h"
#include "gui/common/designfont.h"
#include "gui/mainwindow/desktopintegration.h"
#include "gui/mainwindow/mainform.h"
#include "senvoversion.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {

void nameApplication()
{
    QCoreApplication::setApplicationName(u"Senvo-Net"_qs);
    QCoreApplication::setApplicationVersion(SenvoVersion::text);
}

// A window program on Windows has no console of its own: answer in the one it was started
// from, unless its output already goes somewhere (a pipe, a file).
void answerInCallersConsole()
{
#ifdef Q_OS_WIN
    if (!GetStdHandle(STD_OUTPUT_HANDLE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
#endif
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
