#pragma once

#include <QObject>
#include <QString>

class FindBar;
class QRect;
class QWidget;
class ReadingsView;

// Find Host: while a find is on, the find field takes the status line's place and the
// table shows only the hosts whose name contains its text, and, with problems only, that
// are in trouble; ending it shows every host and brings the row the user was on back into
// view.
class HostFind final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HostFind)

public:
    // The find field is made on client, in the window's tab order from here; status is
    // the line it stands in for.
    HostFind(ReadingsView *grid, QWidget *status, QWidget *client);

    // Shows only the hosts that contain text, ignoring case; empty: every host.
    void setText(const QString &text);
    void setProblemsOnly(bool problemsOnly);
    void start();
    // Starts a find with problems only.
    void startProblemsOnly();
    void end();
    // Tells how many hosts match, while a find is on.
    void updateCount();
    void setGeometry(const QRect &rect);

private:
    ReadingsView *const m_grid;
    QWidget *const m_status;
    FindBar *const m_bar;
};
