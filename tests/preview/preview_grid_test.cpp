#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "preview_grid.h"

using namespace vorkal;

TEST(PreviewGrid, ImageSizeFollowsCellsAndLines) {
    struct Case {
        int columns, rows, cellWidth, cellHeight, width, height;
    };
    const Case cases[] = {{84, 48, 4, 5, 420, 288}, {128, 64, 2, 3, 384, 256}};
    for (const Case& c : cases) {
        PreviewGrid grid;
        grid.setGridSize(c.columns, c.rows, c.cellWidth, c.cellHeight);
        const QImage image = grid.renderImage();
        EXPECT_EQ(image.width(), c.width);
        EXPECT_EQ(image.height(), c.height);
    }
}

TEST(PreviewGrid, CellsTakeTheColourOfTheirCanvasByte) {
    PreviewCanvas canvas;
    for (int v = 0; v < 8; ++v) canvas.pixels[v * kCanvasRows + 2] = uint8_t(v);  // (v, 2)
    canvas.pixels[83 * kCanvasRows + 47] = 1;                                     // last visible cell
    canvas.pixels[84 * kCanvasRows + 0] = 1;                                      // beyond the screen: not shown
    PreviewGrid grid;
    grid.setGridSize(84, 48, 4, 5);
    grid.setCanvas(&canvas);
    const QImage image = grid.renderImage();

    const QRgb line = PreviewGrid::kGridLineColour;
    for (int v = 0; v < 8; ++v) {
        const int left = v * 5, top = 2 * 6;
        for (int dx = 0; dx < 4; ++dx)
            for (int dy = 0; dy < 5; ++dy)
                ASSERT_EQ(image.pixel(left + dx, top + dy), PreviewCellColour(uint8_t(v))) << v;
        EXPECT_EQ(image.pixel(left + 4, top), line);  // line right of the cell
        EXPECT_EQ(image.pixel(left, top + 5), line);  // line below it
    }
    EXPECT_EQ(image.pixel(83 * 5 + 3, 47 * 6 + 4), 0xFF000000u);
    EXPECT_EQ(image.pixel(419, 287), line);
    EXPECT_EQ(image.pixel(0, 0), 0xFFFFFFFFu);
    // Small cells of the large display.
    grid.setGridSize(128, 64, 2, 3);
    const QImage large = grid.renderImage();
    EXPECT_EQ(large.pixel(3 * 3 + 1, 2 * 4 + 2), PreviewCellColour(3));
    EXPECT_EQ(large.pixel(84 * 3, 0), 0xFF000000u);  // column 84 is on screen here
}

TEST(PreviewGrid, WithoutCanvasAllCellsArePaper) {
    PreviewGrid grid;
    grid.setGridSize(84, 48, 4, 5);
    const QImage image = grid.renderImage();
    EXPECT_EQ(image.pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(image.pixel(418, 286), 0xFFFFFFFFu);
}

TEST(PreviewGrid, PaintShowsTheRenderedImage) {
    PreviewCanvas canvas;
    canvas.pixels[10 * kCanvasRows + 10] = 3;
    PreviewGrid grid;
    grid.setGridSize(84, 48, 4, 5);
    grid.setCanvas(&canvas);
    grid.resize(420, 288);
    const QImage painted = grid.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(painted, grid.renderImage());
}

TEST(PreviewGrid, MouseSignalsCarryWidgetPixelsAndButtons) {
    PreviewGrid grid;
    grid.setGridSize(84, 48, 4, 5);
    grid.resize(420, 288);
    grid.show();
    QSignalSpy pressed(&grid, &PreviewGrid::mousePressed);
    QSignalSpy moved(&grid, &PreviewGrid::mouseMoved);
    QSignalSpy released(&grid, &PreviewGrid::mouseReleased);

    QTest::mousePress(&grid, Qt::LeftButton, Qt::ShiftModifier, QPoint(13, 7));
    ASSERT_EQ(pressed.size(), 1);
    EXPECT_EQ(pressed[0][0].value<Qt::MouseButton>(), Qt::LeftButton);
    EXPECT_EQ(pressed[0][1].toInt(), 13);
    EXPECT_EQ(pressed[0][2].toInt(), 7);
    EXPECT_EQ(grid.eventModifiers(), Qt::ShiftModifier);
    EXPECT_EQ(grid.eventButtons(), Qt::LeftButton);

    QTest::mouseMove(&grid, QPoint(30, 40));
    ASSERT_GE(moved.size(), 1);
    EXPECT_EQ(moved.last()[0].toInt(), 30);
    EXPECT_EQ(moved.last()[1].toInt(), 40);

    QTest::mouseRelease(&grid, Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    ASSERT_EQ(released.size(), 1);
    EXPECT_EQ(released[0][0].value<Qt::MouseButton>(), Qt::LeftButton);
    EXPECT_EQ(grid.eventButtons(), Qt::NoButton);

    QTest::mousePress(&grid, Qt::RightButton, Qt::NoModifier, QPoint(1, 2));
    ASSERT_EQ(pressed.size(), 2);
    EXPECT_EQ(pressed[1][0].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(grid.eventModifiers(), Qt::NoModifier);
}
