#include "csvtable.h"

#include "engine/reception/lastheardtext.h"
#include "engine/reception/readingstable.h"
#include "engine/reception/textfield.h"

#include <algorithm>

CsvTable::CsvTable(const ReadingsTable &table, std::vector<int> rows, LastHeard lastHeard)
    : m_table(table)
    , m_rows(std::move(rows))
    , m_lastHeard(std::move(lastHeard))
{
    for (const int row : m_rows)
        m_pairs = std::max(m_pairs, table.pairsInUse(row));
}

void CsvTable::appendField(QString &line, QStringView text)
{
    const bool quoted = std::any_of(text.begin(), text.end(), [](QChar c) {
        return c == u',' || c == u'"' || c == u'\r' || c == u'\n';
    });
    if (!quoted) {
        line += text;
        return;
    }
    line += u'"';
    for (const QChar c : text) {
        if (c == u'"')
            line += u'"';
        line += c;
    }
    line += u'"';
}

QByteArray CsvTable::header() const
{
    // Column names for programs that read the file: never translated.
    QString line = u"Host,Date,Time"_qs;
    if (m_lastHeard)
        line += u",Last heard";
    for (int pair = 1; pair <= m_pairs; ++pair)
        line += u",Name %1,Value %1"_qs.arg(pair);
    line += u"\r\n";
    return byteOrderMark + line.toUtf8();
}

QByteArray CsvTable::lines(int first, int count) const
{
    QString text;
    const int end = std::min(first + count, rowCount());
    for (int i = std::max(first, 0); i < end; ++i)
        appendLine(text, m_rows[size_t(i)]);
    return text.toUtf8();
}

void CsvTable::appendLine(QString &text, int row) const
{
    appendField(text, m_table.text(row, 0));
    for (const int column : {1, 2}) {
        text += u',';
        appendField(text, m_table.text(row, column));
    }
    if (m_lastHeard) {
        text += u',';
        text += lastHeardText(m_lastHeard(row));
    }
    // Pairs beyond the row's last are empty cells all the same, so that columns line up.
    const int pairs = std::min(m_table.pairsInUse(row), m_pairs);
    for (int pair = 0; pair < pairs; ++pair) {
        const int nameColumn = ReadingsTable::firstNameColumn + 2 * pair;
        text += u',';
        appendField(text, trimSpaces(m_table.text(row, nameColumn)));
        text += u',';
        appendField(text, trimSpaces(m_table.text(row, nameColumn + 1)));
    }
    text += QString(2 * (m_pairs - pairs), u',');
    text += u"\r\n";
}
