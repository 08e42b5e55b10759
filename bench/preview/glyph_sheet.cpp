// Writes enlarged pictures of the display fonts and of the factory layouts, for a
// visual check of the glyphs and of the preview:
//   preview_glyph_sheet [output folder]
// glyphs.png: rows of 16 glyphs, codes 32-127 of the small font, then the medium font,
// then the doubled font; each block ends with the eight arrows. layouts_84x48.png and
// layouts_128x64.png: the three factory layouts as the preview grid paints them.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "preview_grid.h"
#include "preview_renderer.h"

using namespace vorkal;

namespace {

constexpr int kScale = 5;
constexpr int kGap = 6;
constexpr int kPerRow = 16;

// One font's glyphs drawn by the canvas, each cell enlarged, ink black, paper white.
QImage fontBlock(int font) {
    const int cellW = font == 0 ? 8 : font == 1 ? 14 : 16;  // widest cell: arrows / glyphs
    const int cellH = font == 0 ? 8 : font == 1 ? 16 : 28;
    std::vector<int> codes;
    for (int c = 32; c <= 127; ++c) codes.push_back(c);
    for (int c = 1; c <= 8; ++c) codes.push_back(c);
    const int rows = (int(codes.size()) + kPerRow - 1) / kPerRow;
    QImage image(kPerRow * (cellW * kScale + kGap) + kGap, rows * (cellH * kScale + kGap) + kGap, QImage::Format_RGB32);
    image.fill(QColor(120, 140, 170));
    for (size_t i = 0; i < codes.size(); ++i) {
        PreviewCanvas canvas;
        canvas.pixels.fill(9);  // not part of the cell
        canvas.font = font;
        canvas.DrawGlyph(uint8_t(codes[i]));
        const int left = kGap + int(i % kPerRow) * (cellW * kScale + kGap);
        const int top = kGap + int(i / kPerRow) * (cellH * kScale + kGap);
        for (int x = 0; x < cellW; ++x)
            for (int y = 0; y < cellH; ++y) {
                const uint8_t v = canvas.at(x, y);
                if (v == 9) continue;
                const QRgb colour = v ? 0xFF000000 : 0xFFFFFFFF;
                for (int dx = 0; dx < kScale; ++dx)
                    for (int dy = 0; dy < kScale; ++dy)
                        image.setPixel(left + x * kScale + dx, top + y * kScale + dy, colour);
            }
    }
    return image;
}

QImage stack(const std::vector<QImage>& parts) {
    int width = 0, height = 0;
    for (const QImage& p : parts) width = std::max(width, p.width()), height += p.height() + 10;
    QImage out(width, height, QImage::Format_RGB32);
    out.fill(Qt::darkGray);
    QPainter painter(&out);
    int y = 0;
    for (const QImage& p : parts) {
        painter.drawImage(0, y, p);
        y += p.height() + 10;
    }
    return out;
}

QImage factoryLayouts(DisplayVariant variant) {
    ConfigImage config;
    config.setVariant(variant);
    config.LoadFactoryImage();
    config.configurationLoaded = true;
    const VariantInfo& info = config.info();
    std::vector<QImage> parts;
    for (int layout = 0; layout < 3; ++layout) {
        config.selectedLayout = layout;
        PreviewCanvas canvas;
        RenderPreview(canvas, config, config.ElementOffset(0));  // the bar selected
        PreviewGrid grid;
        grid.setGridSize(info.width, info.height, info.cellWidth, info.cellHeight);
        grid.setCanvas(&canvas);
        parts.push_back(grid.renderImage());
    }
    return stack(parts);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const QString glyphs = folder + "/glyphs.png";
    bool ok = stack({fontBlock(0), fontBlock(1), fontBlock(2)}).save(glyphs);
    ok = factoryLayouts(DisplayVariant::D84x48).save(folder + "/layouts_84x48.png") && ok;
    ok = factoryLayouts(DisplayVariant::D128x64).save(folder + "/layouts_128x64.png") && ok;
    std::printf("%s %s, layouts_84x48.png, layouts_128x64.png\n", ok ? "wrote" : "FAILED to write", qPrintable(glyphs));
    return ok ? 0 : 1;
}
