#pragma once

#include <QHashSeed>
#include <QStringView>

#include <vector>

// Numbers distinct texts 0, 1, 2, ... in the order they are first seen, in an open-addressing
// table. The catalogue's passes look up tens of thousands of texts; on Qt 6.4 a QHash lookup
// costs about ten times the hashing itself, which this table does not. The texts are not copied:
// they must outlive the numbering.
class TextNumbering {
public:
    explicit TextNumbering(qsizetype expectedTexts = 16);

    static size_t hashOf(QStringView text) { return qHash(text, QHashSeed::globalSeed()); }

    // The number of `text`, a new one when it was not seen before; `hash` must be hashOf(text).
    int add(QStringView text, size_t hash);
    int add(QStringView text) { return add(text, hashOf(text)); }
    // The number of `text`, or -1 when it was never added.
    int find(QStringView text) const;

    qsizetype size() const { return qsizetype(m_texts.size()); }
    QStringView text(int number) const { return m_texts[size_t(number)]; }

private:
    void grow();

    std::vector<QStringView> m_texts;
    std::vector<size_t> m_hashes;
    std::vector<int> m_table;
    size_t m_mask = 0;
};
