#pragma once

#include "engine/reception/readingstable.h"

#include <QHash>
#include <QList>
#include <QString>

#include <array>

struct Reading;

// The table as a plain grid of cells: row 0 the header, three empty rows until the first
// host, then one row per host, searched cell by cell the way the table is meant to behave.
class LiteralGrid final
{
public:
    using Cells = std::array<QString, ReadingsTable::columnCountTotal>;

    explicit LiteralGrid(int hostLimit = ReadingsTable::defaultHostLimit);

    void fillgrid(const Reading &reading);

    int rowCount() const { return m_rows.isEmpty() ? 4 : hostCount() + 1; }
    QString cell(int gridRow, int column) const;
    // The host's row counted from 0 among host rows; -1 for none.
    int rowOf(const QString &host) const { return m_rowOfHost.value(host, -1); }
    int hostCount() const { return int(m_rows.size()); }
    qint64 dropped() const { return m_dropped; }
    const Cells &row(int index) const { return m_rows[index]; }

private:
    const int m_hostLimit;
    Cells m_header;
    QList<Cells> m_rows;
    QHash<QString, int> m_rowOfHost;
    qint64 m_dropped = 0;
};
