#pragma once
// The fixed catalogue of telemetry elements a layout can place, and the element list
// the editor shows for a display variant.

#include <QString>
#include <QStringList>
#include <string_view>

#include "config_image.h"

namespace vorkal {

constexpr int kCatalogueSize = 23;  // elements 0 .. 22
constexpr int kRssiBarElement = 0;
constexpr int kTwoRowElement = 18;  // drawn twice, the second copy 8 pixels lower

struct CatalogueElement {
    const char* englishName;  // UTF-8
    const char* polishName;   // UTF-8
    // Preview text as display bytes: 2 = north-east arrow, 124 antenna, 125 dish,
    // 126 distance, 176 degree sign.
    std::string_view sampleText;
    bool alignmentMarker;  // the preview shows the alignment beside the text
};

// Element `index` (0 .. 22); throws std::out_of_range otherwise.
const CatalogueElement& CatalogueEntry(int index);

// Name of element `index` in the chosen language.
QString ElementName(int index, bool polish);

// List text of free line `line` (1 .. 20): "Line 7" / "Linia 7".
QString LineListText(int line, bool polish);

// Element list of a variant: elements 0 .. list bound, then on 128 x 64 the 20 lines.
QStringList ElementListEntries(DisplayVariant variant, bool polish);

// The font sizes a text element of the variant can take, for the font selection.
QStringList FontEntries(DisplayVariant variant, bool polish);

}  // namespace vorkal
