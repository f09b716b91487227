#pragma once

#include "textfield.h"

#include <QString>
#include <QStringView>

#include <vector>

// The longest text, by character count, posted to each column of the table since it was
// last cleared. A view widens its columns by measuring these few texts instead of every
// cell. Offering a text costs a comparison, and a copy into storage that is kept across
// clears, so the per-datagram path allocates nothing once it has warmed up.
class LongestTexts final
{
public:
    explicit LongestTexts(int columns);

    void offer(int column, QStringView text)
    {
        QString &longest = m_texts[size_t(column)];
        if (text.size() > longest.size()) {
            assignText(longest, text);
            m_empty = false;
        }
    }

    int columnCount() const { return int(m_texts.size()); }
    // Empty for a column that was offered nothing.
    const QString &text(int column) const { return m_texts[size_t(column)]; }
    bool isEmpty() const { return m_empty; }
    void clear();

private:
    std::vector<QString> m_texts;
    bool m_empty = true;
};
