#pragma once

#include <QTableView>

#include <vector>

class PostedTexts;
class QAction;
class ReadingsTable;

// The readings table on screen. Columns and the host header widen to show what arrives,
// measuring only the texts posted since the last publish; a column the user has sized keeps
// the user's width. The selection can be copied out as tab-separated text.
class ReadingsView final : public QTableView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReadingsView)

public:
    // No column, nor the host header, grows wider than this by itself, in twips: less than
    // the narrowest the window gets, whatever a sender puts in a name.
    static constexpr double widestTwips = 4000;

    explicit ReadingsView(ReadingsTable *table, QWidget *parent = nullptr);

    void copySelection() const;
    void copyAll() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void widen(const PostedTexts &longest);
    int widthOfCell(const QString &text) const;
    int widthOfHost(const QString &text) const;

    ReadingsTable *const m_table;
    QAction *const m_copy;
    QAction *const m_copyAll;
    std::vector<int> m_widthsSet; // the width last set on each column; 0 while untouched
    std::vector<bool> m_userSized;
};
