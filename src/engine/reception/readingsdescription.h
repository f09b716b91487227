#pragma once

#include <QCoreApplication>
#include <QVariant>

class ReadingsTable;

// What a host's or a reading's tooltip and accessible description say: its state, when it
// was heard and how often it reports, or, restored and not heard since, when it was last
// heard before start-up. Rows are numbered as views see them.
class ReadingsDescription final
{
    Q_DECLARE_TR_FUNCTIONS(ReadingsDescription)

public:
    explicit ReadingsDescription(const ReadingsTable &table)
        : m_table(table)
    {
    }

    // The host's worst reading and when the host was heard, on this machine's clock; empty
    // outside the rows there are.
    QString host(int row) const;
    // The reading's state, when it was heard and how often it reports; empty for a pair
    // never written.
    QString reading(int row, int pair) const;

    // The text for a tooltip or an accessible description; null for any other role.
    QVariant hostData(int row, int role) const;
    QVariant readingData(int row, int pair, int role) const;

    static bool isDescriptionRole(int role)
    {
        return role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole;
    }

private:
    static QVariant describe(const QString &text, int role);
    QString readingName(int row, int pair) const;

    const ReadingsTable &m_table;
};
