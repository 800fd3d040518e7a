#include "data/RowStore.h"

#include "data/ServerConnection.h"
#include "data/Statement.h"

#include <cstring>

namespace {

// Texts up to this many bytes are kept as read and made into text only when asked for.
constexpr qsizetype ShortTextBytes = 255;

template <typename Value> void appendBytes(std::vector<char>& bytes, const Value& value) {
    const char* first = reinterpret_cast<const char*>(&value);
    bytes.insert(bytes.end(), first, first + sizeof value);
}

template <typename Value> Value readBytes(const char* at) {
    Value value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

} // namespace

void RowStore::reset(int width) {
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_width = width;
    m_rowsInLastChunk = 0;
    m_released = 0;
}

RowStore::Chunk& RowStore::chunkForNewRow() {
    if (m_chunks.empty() || m_rowsInLastChunk == ChunkRows) {
        size_t bytes = 4096;
        size_t cells = 0;
        if (!m_chunks.empty()) {
            // The next chunk is likely the size of the full one, which keeps no spare room.
            Chunk& full = m_chunks.back();
            bytes = full.bytes.size() + full.bytes.size() / 16;
            cells = full.cells.size() + full.cells.size() / 16;
            full.bytes.shrink_to_fit();
            full.cells.shrink_to_fit();
        }
        m_chunks.emplace_back();
        m_chunks.back().bytes.reserve(bytes);
        m_chunks.back().cells.reserve(cells);
        m_rowsInLastChunk = 0;
    }
    ++m_rowsInLastChunk;
    return m_chunks.back();
}

void RowStore::append(const Statement& statement) {
    appendRow([&statement](int column) { return statement.columnValue(column); });
}

void RowStore::append(const ServerResult& result, int row) {
    appendRow([&result, row](int column) {
        Statement::Value value;
        if (result.isNull(row, column))
            return value;
        if (result.isTextColumn(column)) {
            value.type = Statement::Value::Type::Text;
            value.utf8 = result.utf8(row, column);
            return value;
        }
        const Cell cell = result.value(row, column);
        if (const std::optional<qint64> integer = cell.integer()) {
            value.type = Statement::Value::Type::Integer;
            value.integer = *integer;
        } else {
            value.type = Statement::Value::Type::Real;
            value.real = cell.toNumber();
        }
        return value;
    });
}

template <typename ValueOf> void RowStore::appendRow(const ValueOf& valueOf) {
    Chunk& chunk = chunkForNewRow();
    const size_t start = chunk.bytes.size();
    m_rows.push_back({static_cast<quint32>(m_chunks.size() - 1), static_cast<quint32>(start)});
    chunk.bytes.resize(start + m_width);
    for (int column = 0; column < m_width; ++column) {
        const Statement::Value value = valueOf(column);
        Kind kind = Kind::Null;
        switch (value.type) {
        case Statement::Value::Type::Null:
            break;
        case Statement::Value::Type::Integer:
            kind = Kind::Integer;
            appendBytes(chunk.bytes, value.integer);
            break;
        case Statement::Value::Type::Real:
            kind = Kind::Real;
            appendBytes(chunk.bytes, value.real);
            break;
        case Statement::Value::Type::Text:
            if (value.utf8.size() <= ShortTextBytes) {
                kind = Kind::Utf8;
                appendBytes(chunk.bytes, static_cast<quint8>(value.utf8.size()));
                chunk.bytes.insert(chunk.bytes.end(), value.utf8.begin(), value.utf8.end());
            } else {
                kind = Kind::Cell;
                appendBytes(chunk.bytes, static_cast<quint32>(chunk.cells.size()));
                chunk.cells.emplace_back(storedText(value.utf8));
            }
            break;
        }
        chunk.bytes[start + column] = static_cast<char>(kind);
    }
}

void RowStore::append(const std::vector<Cell>& cells) {
    Chunk& chunk = chunkForNewRow();
    const size_t start = chunk.bytes.size();
    m_rows.push_back({static_cast<quint32>(m_chunks.size() - 1), static_cast<quint32>(start)});
    chunk.bytes.resize(start + m_width);
    for (int column = 0; column < m_width; ++column) {
        const Cell& cell = cells[column];
        Kind kind = cell.isEmpty() ? Kind::Empty : cell.isNull() ? Kind::Null : Kind::Cell;
        if (kind == Kind::Cell) {
            appendBytes(chunk.bytes, static_cast<quint32>(chunk.cells.size()));
            chunk.cells.push_back(cell);
        }
        chunk.bytes[start + column] = static_cast<char>(kind);
    }
}

std::pair<RowStore::Kind, const char*> RowStore::locate(size_t row, int column) const {
    const RowPlace place = m_rows[row];
    const char* kinds = m_chunks[place.chunk].bytes.data() + place.offset;
    const char* at = kinds + m_width;
    for (int before = 0; before < column; ++before) {
        switch (static_cast<Kind>(kinds[before])) {
        case Kind::Empty:
        case Kind::Null:
            break;
        case Kind::Integer:
        case Kind::Real:
            at += 8;
            break;
        case Kind::Utf8:
            at += 1 + static_cast<quint8>(*at);
            break;
        case Kind::Cell:
            at += 4;
            break;
        }
    }
    return {static_cast<Kind>(kinds[column]), at};
}

Cell RowStore::cell(size_t row, int column) const {
    const auto [kind, at] = locate(row, column);
    switch (kind) {
    case Kind::Empty:
        return Cell();
    case Kind::Null:
        return Cell::null();
    case Kind::Integer:
        return Cell(readBytes<qint64>(at));
    case Kind::Real:
        return Cell(readBytes<double>(at));
    case Kind::Utf8:
        return Cell(storedText(QByteArrayView(at + 1, static_cast<quint8>(*at))));
    case Kind::Cell:
        break;
    }
    return m_chunks[m_rows[row].chunk].cells[readBytes<quint32>(at)];
}

Cell RowStore::take(size_t row, int column) {
    const auto [kind, at] = locate(row, column);
    if (kind != Kind::Cell)
        return cell(row, column);
    return std::exchange(m_chunks[m_rows[row].chunk].cells[readBytes<quint32>(at)], Cell());
}

void RowStore::set(size_t row, int column, const Cell& value) {
    // The row is written again at the end; its old bytes stay unused until the store is reset.
    std::vector<Cell> cells;
    cells.reserve(m_width);
    for (int i = 0; i < m_width; ++i)
        cells.push_back(cell(row, i));
    cells[column] = value;
    append(cells);
    m_rows[row] = m_rows.back();
    m_rows.pop_back();
}

void RowStore::erase(size_t row) {
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(row));
}

void RowStore::releaseBefore(size_t row) {
    const size_t chunk = row < m_rows.size() ? m_rows[row].chunk : m_chunks.size();
    for (; m_released < chunk; ++m_released)
        m_chunks[m_released] = Chunk();
}
