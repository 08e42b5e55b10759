#pragma once
// PLACEHOLDER written by the lead so the main window builds; the preview helper owns this
// file and replaces it. The main window relies on exactly this API:
//   PreviewGrid(QWidget* parent)
//   void setGridSize(int columns, int rows, int cellWidth, int cellHeight)
//   signals: mousePressed(Qt::MouseButton, int x, int y), mouseMoved(int x, int y),
//            mouseReleased(Qt::MouseButton, int x, int y)   (widget pixel coordinates)
#include <QWidget>

namespace vorkal {

class PreviewGrid : public QWidget {
    Q_OBJECT
public:
    explicit PreviewGrid(QWidget* parent = nullptr) : QWidget(parent) {}
    void setGridSize(int columns, int rows, int cellWidth, int cellHeight) {
        columns_ = columns; rows_ = rows; cellWidth_ = cellWidth; cellHeight_ = cellHeight;
    }
signals:
    void mousePressed(Qt::MouseButton button, int x, int y);
    void mouseMoved(int x, int y);
    void mouseReleased(Qt::MouseButton button, int x, int y);
private:
    int columns_ = 84, rows_ = 48, cellWidth_ = 4, cellHeight_ = 5;
};

}  // namespace vorkal
