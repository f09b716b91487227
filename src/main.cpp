#include "mainwindow/mainform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainForm window;
    window.show();
    return app.exec();
}
