#include "longesttexts.h"

PostedTexts::PostedTexts(int columns)
    : m_texts(size_t(columns))
{
}

void PostedTexts::clear()
{
    if (m_empty)
        return;
    for (QString &text : m_texts)
        text.resize(0); // keeps the storage for the next round
    m_empty = true;
}
