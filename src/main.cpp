#include "mainwindow/mainform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Senvo-Net"_qs);
    QApplication::setApplicationVersion(u"1.0.0"_qs);
    QGuiApplication::setDesktopFileName(u"senvo-net"_qs);
    MainForm window(SettingsFile::forThisApplication());
    window.show();
    return QApplication::exec();
}
