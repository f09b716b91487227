#include "hostfilter.h"

#include "engine/limits/limitwatch.h"
#include "engine/limits/trouble.h"
#include "engine/reception/readingstable.h"

#include <QLocale>

#include <algorithm>

HostFilter::HostFilter(ReadingsTable *table, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_table(table)
{
    setDynamicSortFilter(false);
    setSourceModel(table);
    if (const LimitWatch *const limits = LimitWatch::of(*table))
        connect(limits, &LimitWatch::hostsChanged, this, &HostFilter::showTroubled);
    connect(&table->silence(), &SilenceWatch::hostsFellSilent, this, &HostFilter::showTroubled);
    connect(table, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                if (size_t(first) < m_shown.size()) {
                    m_shown.erase(m_shown.begin() + first,
                                  m_shown.begin() + std::min(size_t(last) + 1, m_shown.size()));
                }
            });
}

void HostFilter::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    restart();
    Q_EMIT textChanged(m_text);
}

void HostFilter::setProblemsOnly(bool problemsOnly)
{
    if (problemsOnly == m_problemsOnly)
        return;
    m_problemsOnly = problemsOnly;
    restart();
    Q_EMIT problemsOnlyChanged(m_problemsOnly);
}

// A changed filter shows the hosts in trouble now, not those that were.
void HostFilter::restart()
{
    m_shown = {};
    invalidateRowsFilter();
}

bool HostFilter::matchesText(int row) const
{
    return m_text.isEmpty() || matches(m_table->text(row, 0), m_text);
}

bool HostFilter::isInTrouble(int row) const
{
    return isTrouble(hostTrouble(*m_table, row));
}

// Rows are matched again only when a host not shown got into trouble, which is rare.
void HostFilter::showTroubled(const std::vector<int> &rows)
{
    if (!m_problemsOnly)
        return;
    for (const int row : rows) {
        const bool shown = size_t(row) < m_shown.size() && m_shown[size_t(row)];
        if (!shown && isInTrouble(row) && matchesText(row)) {
            invalidateRowsFilter();
            return;
        }
    }
}

bool HostFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (sourceParent.isValid() || !matchesText(sourceRow))
        return false;
    if (!m_problemsOnly)
        return true;
    if (size_t(sourceRow) < m_shown.size() && m_shown[size_t(sourceRow)])
        return true;
    if (!isInTrouble(sourceRow))
        return false;
    if (size_t(sourceRow) >= m_shown.size())
        m_shown.resize(size_t(std::max(sourceRow + 1, m_table->hostCount())));
    m_shown[size_t(sourceRow)] = true;
    return true;
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
    return countText(matchingHostCount(), m_table->publishedHostCount(), isFiltering());
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
