#pragma once

#include <QSortFilterProxyModel>
#include <QString>

#include <vector>

class ReadingsTable;

// The rows of the readings table whose host contains a text, ignoring case, in the table's
// order; every row while the text is empty. A host's text never changes, so a row is
// matched once, as it arrives: updates to rows pass through without being matched again,
// which keeps reception as fast with a filter as without.
//
// With problems only, just the hosts in trouble (a reading in warning or critical, or
// silent) among them. A host that gets into trouble is shown at once; one that recovers
// stays until the filter next changes, so that the row the user is on does not vanish.
class HostFilter final : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HostFilter)

public:
    explicit HostFilter(ReadingsTable *table, QObject *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    void setProblemsOnly(bool problemsOnly);
    bool problemsOnly() const { return m_problemsOnly; }
    // Whether any host may be left out.
    bool isFiltering() const { return !m_text.isEmpty() || m_problemsOnly; }

    // The hosts whose name contains the text: the rows let through, none before the first host.
    int matchingHostCount() const;
    // "12 of 5,000 hosts", or "5,000 hosts" while every host is shown.
    QString countText() const;

    // The matching itself, for every window that finds hosts: host contains text, ignoring
    // case; every host for an empty text.
    static bool matches(QStringView host, const QString &text);
    // countText() of found hosts out of total, while finding or not.
    static QString countText(int found, int total, bool finding);
    // The table's rows shown, in order.
    std::vector<int> tableRows() const;
    int tableRow(int shownRow) const;

Q_SIGNALS:
    void textChanged(const QString &text);
    void problemsOnlyChanged(bool problemsOnly);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    bool matchesText(int row) const;
    bool isInTrouble(int row) const;
    void showTroubled(const std::vector<int> &rows);
    void restart();

    const ReadingsTable *const m_table;
    QString m_text;
    bool m_problemsOnly = false;
    // By the table's row, with problems only: shown since the filter last changed.
    mutable std::vector<bool> m_shown;
};
