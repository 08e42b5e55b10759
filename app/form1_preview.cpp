// The preview of the current layout.

#include "form1.h"
#include "preview_grid.h"

void TForm1::UpdateGrid() {}

void TForm1::ClearPreview() {}
