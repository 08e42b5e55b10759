#include "log_table_view.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <utility>

namespace vorkal {

namespace {

// Paints the log table's cells through the window's draw handler.
class LogCellDelegate : public QStyledItemDelegate {
public:
    LogCellDelegate(QTableWidget* table, LogCellPainter paintCell)
        : QStyledItemDelegate(table), paint_(std::move(paintCell)) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        painter->save();
        const bool selected = option.state & QStyle::State_Selected;
        if (index.row() == 0) {
            painter->setBrush(QColor(0xF0, 0xF0, 0xF0));  // fixed header row
            painter->setPen(Qt::black);
        } else if (selected) {
            painter->setBrush(option.palette.highlight());
            painter->setPen(option.palette.highlightedText().color());
        } else {
            painter->setBrush(Qt::white);
            painter->setPen(Qt::black);
        }
        paint_(index.column(), index.row(), painter, option.rect);
        painter->restore();
    }

private:
    LogCellPainter paint_;
};

}  // namespace

void SetUpLogTable(QTableWidget* table, const QFont& font, LogCellPainter paintCell) {
    table->horizontalHeader()->hide();
    table->verticalHeader()->hide();
    table->verticalHeader()->setMinimumSectionSize(1);
    table->verticalHeader()->setDefaultSectionSize(18);
    const int logWidths[9] = {28, 48, 63, 68, 27, 39, 46, 43, 31};
    for (int c = 0; c < 9; ++c) table->setColumnWidth(c, logWidths[c]);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    table->setFocusPolicy(Qt::NoFocus);
    table->setWordWrap(false);
    table->setFont(font);
    table->hide();
    table->setItemDelegate(new LogCellDelegate(table, std::move(paintCell)));
}

}  // namespace vorkal
