#pragma once

#include "data/Cell.h"
#include "data/DrugConnection.h"
#include "data/ServerConnection.h"
#include "data/Statement.h"

#include <QList>
#include <QString>

// A table's rows as the tests compare them: each row's cells in the order of its columns.
using Rows = QList<QList<Cell>>;

inline Rows serverRows(ServerConnection& server, const QString& sql) {
    const ServerResult result = server.execute(sql);
    Rows rows;
    for (int row = 0; row < result.rowCount(); ++row) {
        QList<Cell> cells;
        for (int column = 0; column < result.columnCount(); ++column)
            cells.append(result.value(row, column));
        rows.append(cells);
    }
    return rows;
}

inline Rows fileRows(const DrugConnection& file, const QString& sql) {
    Statement select(file, sql);
    Rows rows;
    while (select.step()) {
        QList<Cell> cells;
        for (int column = 0; column < select.columnCount(); ++column)
            cells.append(select.column(column));
        rows.append(cells);
    }
    return rows;
}
