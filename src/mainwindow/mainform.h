#pragma once

#include <QMainWindow>

class MainForm final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainForm)

public:
    explicit MainForm(QWidget *parent = nullptr);
};
