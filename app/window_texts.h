#pragma once
// The main window's fixed captions in both languages, as one table.

#include <QWidget>
#include <initializer_list>

namespace vorkal {

inline constexpr char kWindowCaption[] = "Vorkal Configurator v0.72";  // without the unsaved mark
// File dialog filters: "description|pattern" pairs.
inline constexpr char kSettingsFilter[] = "Setting Files (*.set)|*.set";
inline constexpr char kLogFilter[] =
    "Text Files (*.txt)|*.txt|KML file (*.kml)|*.kml|KML file with extruded patch (*.kml)|*.kml|"
    "GPX file (*.gpx)|*.gpx";

// Gives each widget its caption in the chosen language: the title of a group box, the
// text of a button or a label. `widgets` are in the table's order: group boxes 1, 2, 3,
// 4, 6, 7, radio groups 1, 2, 3, the two alignment buttons, check boxes 1 and 2, static
// texts 1 to 5, buttons 1 to 4, 6 to 11 and the Track button.
void ApplyWindowTexts(std::initializer_list<QWidget*> widgets, bool polish);

}  // namespace vorkal
