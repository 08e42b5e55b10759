#pragma once
// The log table's look: fixed columns, whole-row selection, no editing, and cells
// painted by the window's draw handler.

#include <QFont>
#include <QTableWidget>
#include <functional>

namespace vorkal {

using LogCellPainter = std::function<void(int column, int row, QPainter* painter, const QRect& rect)>;

// Sets up `table` (hidden until the log view shows it).
void SetUpLogTable(QTableWidget* table, const QFont& font, LogCellPainter paintCell);

}  // namespace vorkal
