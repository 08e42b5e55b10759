#pragma once
// StringGrid1: the preview grid. One cell per display pixel, 1-pixel grid lines after
// every cell, cells coloured from the preview canvas in one pass.

#include <QImage>
#include <QWidget>

#include "config_image.h"
#include "preview_canvas.h"

namespace vorkal {

class PreviewGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr QRgb kGridLineColour = 0xFFC0C0C0;

    explicit PreviewGrid(QWidget* parent = nullptr);

    void setGridSize(int columns, int rows, int cellWidth, int cellHeight);
    // Place and cells of the display variant's preview.
    void fitVariant(const VariantInfo& info);
    // The canvas painted from; without one every cell is paper.
    void setCanvas(const PreviewCanvas* canvas);

    int columnCount() const { return columns_; }
    int rowCount() const { return rows_; }
    int cellWidth() const { return cellWidth_; }
    int cellHeight() const { return cellHeight_; }

    // The grid as painted: columns x (cell width + 1) by rows x (cell height + 1) pixels.
    QImage renderImage() const;

    // Buttons held and modifier keys of the mouse event being signalled, for handlers
    // that accept only the left button alone.
    Qt::MouseButtons eventButtons() const { return eventButtons_; }
    Qt::KeyboardModifiers eventModifiers() const { return eventModifiers_; }
    bool leftButtonAlone() const {
        return eventButtons_ == Qt::LeftButton &&
               !(eventModifiers_ & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
    }
    // The cell under a widget position; false outside the grid.
    bool cellAt(int x, int y, int& column, int& row) const {
        if (x < 0 || y < 0) return false;
        column = x / (cellWidth_ + 1);
        row = y / (cellHeight_ + 1);
        return column < columns_ && row < rows_;
    }

signals:
    // Widget pixel coordinates; `button` is the button that changed.
    void mousePressed(Qt::MouseButton button, int x, int y);
    void mouseMoved(int x, int y);
    void mouseReleased(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void compose(QImage& image) const;
    void noteEvent(QMouseEvent* event);

    const PreviewCanvas* canvas_ = nullptr;
    int columns_ = 84;
    int rows_ = 48;
    int cellWidth_ = 4;
    int cellHeight_ = 5;
    QImage frame_;  // reused between paints
    Qt::MouseButtons eventButtons_;
    Qt::KeyboardModifiers eventModifiers_;
};

}  // namespace vorkal
