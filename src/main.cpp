#include "host/designfont.h"
#include "mainwindow/mainform.h"
#include "senvoversion.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Senvo-Net"_qs);
    QApplication::setApplicationVersion(SenvoVersion::text);
    QGuiApplication::setDesktopFileName(u"senvo-net"_qs);
    // Menus and message boxes read as well as the windows.
    QApplication::setFont(withInstalledFace(QApplication::font()));
    MainForm window(SettingsFile::forThisApplication());
    window.show();
    return QApplication::exec();
}
