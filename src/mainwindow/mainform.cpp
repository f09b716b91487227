#include "mainform.h"

MainForm::MainForm(QWidget *parent)
    : QMainWindow(parent)
{
}
