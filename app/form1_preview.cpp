// The preview of the current layout.

#include "form1.h"
#include "preview_grid.h"
#include "preview_renderer.h"

// The grid gets its canvas on the first draw, so it shows white paper until then.
void TForm1::UpdateGrid() {
    vorkal::RenderPreview(previewCanvas, config, selectedOffset);
    StringGrid1->setCanvas(&previewCanvas);  // also schedules the repaint
}

void TForm1::ClearPreview() {
    vorkal::ClearPreview(previewCanvas, config);
    StringGrid1->setCanvas(&previewCanvas);
}
