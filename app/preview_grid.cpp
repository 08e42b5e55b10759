#include "preview_grid.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace vorkal {

PreviewGrid::PreviewGrid(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void PreviewGrid::setGridSize(int columns, int rows, int cellWidth, int cellHeight) {
    columns_ = std::clamp(columns, 0, kCanvasColumns);
    rows_ = std::clamp(rows, 0, kCanvasRows);
    cellWidth_ = std::max(cellWidth, 1);
    cellHeight_ = std::max(cellHeight, 1);
    update();
}

void PreviewGrid::setCanvas(const PreviewCanvas* canvas) {
    canvas_ = canvas;
    update();
}

QImage PreviewGrid::renderImage() const {
    QImage image;
    compose(image);
    return image;
}

// Builds each cell row once as a scan line and copies it down the cell's height, so the
// canvas is read once per cell and the colour table once per canvas value.
void PreviewGrid::compose(QImage& image) const {
    const int pitchX = cellWidth_ + 1;
    const int pitchY = cellHeight_ + 1;
    const QSize size(columns_ * pitchX, rows_ * pitchY);
    if (image.size() != size || image.format() != QImage::Format_RGB32) image = QImage(size, QImage::Format_RGB32);
    if (size.isEmpty()) return;

    QRgb colours[256];
    for (int v = 0; v < 256; ++v) colours[v] = PreviewCellColour(uint8_t(v));

    const size_t lineBytes = size_t(size.width()) * sizeof(QRgb);
    for (int row = 0; row < rows_; ++row) {
        const int top = row * pitchY;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(top));
        for (int col = 0; col < columns_; ++col) {
            const QRgb colour = canvas_ ? colours[canvas_->pixels[col * kCanvasRows + row]] : colours[0];
            QRgb* cell = line + col * pitchX;
            std::fill(cell, cell + cellWidth_, colour);
            cell[cellWidth_] = kGridLineColour;
        }
        for (int dy = 1; dy < cellHeight_; ++dy) memcpy(image.scanLine(top + dy), line, lineBytes);
        auto* gridLine = reinterpret_cast<QRgb*>(image.scanLine(top + cellHeight_));
        std::fill(gridLine, gridLine + size.width(), kGridLineColour);
    }
}

void PreviewGrid::paintEvent(QPaintEvent*) {
    compose(frame_);
    QPainter painter(this);
    painter.drawImage(0, 0, frame_);
    // Anything the grid does not cover (a widget larger than the grid) stays grid-coloured.
    if (width() > frame_.width())
        painter.fillRect(frame_.width(), 0, width() - frame_.width(), height(), QColor(kGridLineColour));
    if (height() > frame_.height())
        painter.fillRect(0, frame_.height(), frame_.width(), height() - frame_.height(), QColor(kGridLineColour));
}

void PreviewGrid::noteEvent(QMouseEvent* event) {
    eventButtons_ = event->buttons();
    eventModifiers_ = event->modifiers();
}

void PreviewGrid::mousePressEvent(QMouseEvent* event) {
    noteEvent(event);
    const QPoint p = event->position().toPoint();
    emit mousePressed(event->button(), p.x(), p.y());
}

void PreviewGrid::mouseMoveEvent(QMouseEvent* event) {
    noteEvent(event);
    const QPoint p = event->position().toPoint();
    emit mouseMoved(p.x(), p.y());
}

void PreviewGrid::mouseReleaseEvent(QMouseEvent* event) {
    noteEvent(event);
    const QPoint p = event->position().toPoint();
    emit mouseReleased(event->button(), p.x(), p.y());
}

void PreviewGrid::fitVariant(const VariantInfo& info) {
    setGeometry(info.grid.left, info.grid.top, info.grid.width, info.grid.height);
    setGridSize(info.width, info.height, info.cellWidth, info.cellHeight);
}

}  // namespace vorkal
