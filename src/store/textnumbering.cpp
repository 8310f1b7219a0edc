#include "textnumbering.h"

#include <algorithm>
#include <bit>

TextNumbering::TextNumbering(qsizetype expectedTexts) {
    const size_t capacity = std::bit_ceil(size_t(std::max<qsizetype>(16, expectedTexts * 2)));
    m_table.assign(capacity, -1);
    m_mask = capacity - 1;
}

int TextNumbering::add(QStringView text, size_t hash) {
    size_t slot = hash & m_mask;
    for (; m_table[slot] >= 0; slot = (slot + 1) & m_mask) {
        const int number = m_table[slot];
        if (m_hashes[size_t(number)] == hash && m_texts[size_t(number)] == text)
            return number;
    }
    const int number = int(m_texts.size());
    m_texts.push_back(text);
    m_hashes.push_back(hash);
    m_table[slot] = number;
    // At most half full, so probes stay short.
    if (m_texts.size() * 2 > m_table.size())
        grow();
    return number;
}

int TextNumbering::find(QStringView text) const {
    const size_t hash = hashOf(text);
    for (size_t slot = hash & m_mask; m_table[slot] >= 0; slot = (slot + 1) & m_mask) {
        const int number = m_table[slot];
        if (m_hashes[size_t(number)] == hash && m_texts[size_t(number)] == text)
            return number;
    }
    return -1;
}

void TextNumbering::grow() {
    m_table.assign(m_table.size() * 2, -1);
    m_mask = m_table.size() - 1;
    for (size_t number = 0; number < m_texts.size(); ++number) {
        size_t slot = m_hashes[number] & m_mask;
        while (m_table[slot] >= 0)
            slot = (slot + 1) & m_mask;
        m_table[slot] = int(number);
    }
}
