#include "mainwindow/mainform.h"
#include "senvoversion.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Senvo-Net"_qs);
    QApplication::setApplicationVersion(SenvoVersion::text);
    QGuiApplication::setDesktopFileName(u"senvo-net"_qs);
    MainForm window(SettingsFile::forThisApplication());
    window.show();
    return QApplication::exec();
}
