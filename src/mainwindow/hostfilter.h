#pragma once

#include <QSortFilterProxyModel>
#include <QString>

#include <vector>

class ReadingsTable;

// The rows of the readings table whose host contains a text, ignoring case, in the table's
// order; every row while the text is empty. A host's text never changes, so a row is
// matched once, as it arrives: updates to rows pass through without being matched again,
// which keeps reception as fast with a filter as without.
class HostFilter final : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HostFilter)

public:
    explicit HostFilter(ReadingsTable *table, QObject *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }

    // The hosts whose name contains the text: the rows let through, none before the first host.
    int matchingHostCount() const;
    // "12 of 5,000 hosts", or "5,000 hosts" without a text.
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

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    const ReadingsTable *const m_table;
    QString m_text;
};
