#pragma once
// Keeps a top-level window wholly on its screen's available area: on a small screen, or
// one scaled up (QT_SCALE_FACTOR), the program's fixed sizes and written position would
// leave parts of it, buttons included, out of reach.

#include <QPoint>
#include <optional>

class QWidget;

namespace vorkal {

// From its first showing on: `window` goes to `wanted` (its frame's top-left) when its
// frame fits on the area there, else to the nearest place where it fits wholly; without
// `wanted`, it stays where the window manager put it while it fits. A window larger than
// the area is made smaller, down to its minimum size; a fixed-size one that still does
// not fit has its top-left corner (title bar and first controls) on the area. Checked
// again once the window manager has framed the window, whose frame size is known only
// then; after that the user may move it anywhere.
void KeepOnScreen(QWidget* window, std::optional<QPoint> wanted = std::nullopt);

}  // namespace vorkal
