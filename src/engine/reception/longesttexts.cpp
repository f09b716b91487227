#include "longesttexts.h"

LongestTexts::LongestTexts(int columns)
    : m_texts(size_t(columns))
{
}

void LongestTexts::clear()
{
    if (m_empty)
        return;
    for (QString &text : m_texts)
        text.resize(0); // keeps the storage for the next round
    m_empty = true;
}
