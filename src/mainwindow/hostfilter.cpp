#include "hostfilter.h"

#include "reception/readingstable.h"

#include <QLocale>

HostFilter::HostFilter(ReadingsTable *table, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_table(table)
{
    setDynamicSortFilter(false);
    setSourceModel(table);
}

void HostFilter::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    invalidateRowsFilter();
    Q_EMIT textChanged(m_text);
}

bool HostFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (sourceParent.isValid())
        return false;
    return m_text.isEmpty() || matches(m_table->text(sourceRow, 0), m_text);
}

bool HostFilter::matches(QStringView host, const QString &text)
{
    return host.contains(text, Qt::CaseInsensitive);
}

int HostFilter::matchingHostCount() const
{
    return rowCount();
}

QString HostFilter::countText() const
{
    return countText(matchingHostCount(), m_table->publishedHostCount(), !m_text.isEmpty());
}

QString HostFilter::countText(int found, int total, bool finding)
{
    const QLocale locale;
    const QString hosts = total == 1 ? tr("%1 host") : tr("%1 hosts");
    if (!finding)
        return hosts.arg(locale.toString(total));
    return tr("%1 of %2").arg(locale.toString(found), hosts.arg(locale.toString(total)));
}

std::vector<int> HostFilter::tableRows() const
{
    std::vector<int> rows;
    const int shown = matchingHostCount();
    rows.reserve(size_t(shown));
    for (int row = 0; row < shown; ++row)
        rows.push_back(tableRow(row));
    return rows;
}

int HostFilter::tableRow(int shownRow) const
{
    return mapToSource(index(shownRow, 0)).row();
}
