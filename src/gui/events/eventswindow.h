#pragma once

#include <QDate>
#include <QMainWindow>
#include <QString>

#include <vector>

class EventsModel;
class FindBar;
class Monitor;
class QDateEdit;
class QTableView;

// "Senvo-Net Events": the changes of state the archive kept for a day, newest first, found
// and narrowed to the problems as the user asks, and followed as new ones are written while
// the day is today. A double-click opens the history of the event's reading around its time.
class EventsWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EventsWindow)

public:
    // monitor must outlive the window.
    explicit EventsWindow(Monitor &monitor, QWidget *parent = nullptr);

    QTableView *view() const { return m_view; }
    EventsModel *model() const { return m_model; }
    QDate day() const;
    void setDay(QDate day);
    // Reads the day's events again.
    void reload();
    // Asks for the history of the event of a row, or says in the status line why not.
    void openHistory(int row);
    // Writes the events shown to path, whole or not at all; false, having told the user why,
    // when it cannot.
    bool saveEvents(const QString &path);

Q_SIGNALS:
    // tableRow and pairs as the readings table counts them; timeMs the event's.
    void historyRequested(int tableRow, const std::vector<int> &pairs, qint64 timeMs);

private:
    void createMenus();
    void updateFilter();
    void updateCount();
    void saveAs();

    Monitor &m_monitor;
    EventsModel *const m_model;
    QTableView *const m_view;
    QDateEdit *const m_day;
    FindBar *const m_find;
    QAction *m_save = nullptr;
    QString m_folder;
};
