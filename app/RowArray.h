#pragma once

#include "data/Cell.h"

#include <QtGlobal>

#include <algorithm>
#include <vector>

// One of the result list's four parallel arrays: entries 0 to 100000, each Empty until a refill
// writes it. Its cells (3 MB) are made when it is first written, not while the program starts.
class RowArray {
public:
    static constexpr qint64 Size = 100001;

    Cell& operator[](qint64 entry) {
        if (m_cells.empty())
            m_cells.resize(Size);
        return m_cells[entry];
    }
    const Cell& operator[](qint64 entry) const {
        static const Cell empty;
        return m_cells.empty() ? empty : m_cells[entry];
    }
    // Empties entries 0 to count - 1.
    void clear(qint64 count) {
        if (!m_cells.empty())
            std::fill(m_cells.begin(), m_cells.begin() + count, Cell());
    }

private:
    std::vector<Cell> m_cells;
};
