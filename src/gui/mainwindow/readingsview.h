#pragma once

#include <QTableView>

#include <utility>
#include <vector>

class HostFilter;
class LongestTexts;
class PlaceholderRows;
class QAction;
class ReadingsTable;

// The readings table on screen, the rows whose host matches the find text only; before the
// first host, a few empty rows, unless a find text is given. Columns and
// the host header widen to show what arrives, measuring only the texts posted since the last
// publish; a column the user has sized keeps the user's width. The selection can be copied
// out as tab-separated text, and its hosts removed.
class ReadingsView final : public QTableView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReadingsView)

public:
    // No column, nor the host header, grows wider than this by itself, in twips: less than
    // the narrowest the window gets, whatever a sender puts in a name.
    static constexpr double widestTwips = 4000;

    explicit ReadingsView(ReadingsTable *table, QWidget *parent = nullptr);

    HostFilter *hostFilter() const { return m_filter; }
    QAction *copyAction() const { return m_copy; }
    QAction *copyAllAction() const { return m_copyAll; }
    QAction *removeAction() const { return m_remove; }
    QAction *showHistoryAction() const { return m_showHistory; }

    void copySelection() const;
    void copyAll() const;
    // The table's rows that hold a selected cell, in order.
    std::vector<int> selectedTableRows() const;
    void removeSelectedHosts();
    // Whether hosts may be removed now; a save in progress says no.
    void setRemovable(bool removable);
    // The readings whose history Show History opens: the selected readings of the current
    // cell's host, as the table's row and its pairs; no pairs when no reading is selected.
    std::pair<int, std::vector<int>> historyReadings() const;

Q_SIGNALS:
    void hostsRemoved();
    // Show History, or a double-click on a reading.
    void historyRequested(int tableRow, const std::vector<int> &pairs);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void updateActions();
    void updatePlaceholders();
    void widen(const LongestTexts &longest);
    int widthOfCell(const QString &text) const;
    int widthOfHost(const QString &text) const;

    ReadingsTable *const m_table;
    HostFilter *const m_filter;
    PlaceholderRows *const m_rows;
    bool m_hadHosts;
    QAction *const m_copy;
    QAction *const m_copyAll;
    QAction *const m_remove;
    QAction *const m_showHistory;
    bool m_removable = true;
    std::vector<int> m_widthsSet; // the width last set on each column; 0 while untouched
    std::vector<bool> m_userSized;
};
