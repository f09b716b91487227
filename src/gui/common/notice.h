#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// How long a status line tells what went well (a save, say), which needs no answer.
inline constexpr int toldMs = 5000;

// Tells the user something without stopping the event loop: readings keep arriving
// while the message is on screen. The box deletes itself when dismissed.
QMessageBox *showNotice(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                        const QString &objectName);
