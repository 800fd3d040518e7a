#pragma once

#include "data/Cell.h"

#include <cstddef>
#include <utility>
#include <vector>

class ServerResult;
class Statement;

// The rows as read, packed in chunks of ChunkRows rows. A row is one kind byte per column,
// then the values in column order: numbers as their 8 bytes, a text of up to 255 bytes as its
// UTF-8 (made into text only when read, so a column nobody reads costs no text), anything
// else as a Cell beside the bytes. A large result costs a few allocations per chunk instead
// of several per row, and a walk through a read-only result lets the chunks behind it go.
class RowStore {
public:
    void reset(int width);
    size_t size() const { return m_rows.size(); }
    void append(const Statement& statement); // the statement's current row
    void append(const ServerResult& result, int row);
    void append(const std::vector<Cell>& cells);
    Cell cell(size_t row, int column) const;
    // The value, taken out where the row holds a Cell, which then reads as Empty.
    Cell take(size_t row, int column);
    void set(size_t row, int column, const Cell& value);
    void erase(size_t row);
    // Frees the chunks that hold only rows before row; for rows appended in order only.
    void releaseBefore(size_t row);

private:
    enum class Kind : char { Empty, Null, Integer, Real, Utf8, Cell };
    struct Chunk {
        std::vector<char> bytes;
        std::vector<Cell> cells;
    };
    struct RowPlace {
        quint32 chunk;
        quint32 offset;
    };
    static constexpr size_t ChunkRows = 256;

    Chunk& chunkForNewRow();
    template <typename ValueOf> void appendRow(const ValueOf& valueOf);
    // The kind of a row's value and where its bytes begin.
    std::pair<Kind, const char*> locate(size_t row, int column) const;

    int m_width = 0;
    std::vector<Chunk> m_chunks;
    std::vector<RowPlace> m_rows;
    size_t m_rowsInLastChunk = 0;
    size_t m_released = 0;
};
