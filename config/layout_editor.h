#pragma once
// Layout-editor logic that needs no widget: what kind of entry is selected, how its
// record decodes into the editor's values, how each edit is written back into the
// image, and which element a preview cell hits.

#include "config_image.h"

namespace vorkal {

enum class EntryKind { None, Bar, Text, Line };

// Kind of element-list entry `i` in the current variant; None when it does not exist.
EntryKind EntryKindOf(const ConfigImage& config, int i);

// The editor's view of one record.
struct ElementValues {
    int x = 0;
    int y = 0;
    bool visible = false;
    int length = 0;     // bar and lines
    int size = 0;       // bar: size; line: thickness 1 .. 4
    bool flag = false;  // text: negative; line: vertical
    int font = -1;      // text only; -1 when hidden on 128 x 64 (keep the choice shown)
    int alignment = 0;  // text only: 0 left, 1 right
};

// Decodes entry `i` of the selected layout. A hidden element that keeps no X of its own
// (84 x 48, bar, lines) takes its last-shown X.
ElementValues DecodeElement(const ConfigImage& config, int i);

// Values a typed text falls back to when it is not a number.
int FallbackX(const ConfigImage& config, int i);
int FallbackY(const ConfigImage& config, int i);
int FallbackLength(const ConfigImage& config, int i);
int FallbackSize(const ConfigImage& config, int i);

// Writers; each changes only the bits its control owns. `i` must exist (EntryKindOf).
void StoreX(ConfigImage& config, int i, int x);
void StoreY(ConfigImage& config, int i, int y);
// Visible: 128 x 64 text takes the font bits (hidden marker 3 when cleared); 128 x 64 bar
// and lines bit 7; 84 x 48 the X from the X control (99 when cleared).
void StoreVisible(ConfigImage& config, int i, bool visible, int fontSelection, int xPosition);
void StoreFlag(ConfigImage& config, int i, bool set);  // negative or vertical
void StoreFont(ConfigImage& config, int i, int font);
void StoreAlignment(ConfigImage& config, int i, int alignment);
// Length and size keep only the low bits of the value: a typed 200 stays 200 in the
// bar's length byte, a typed thickness 5 wraps to 1.
void StoreLength(ConfigImage& config, int i, int length);
void StoreSize(ConfigImage& config, int i, int size);

// Sets byte 1 of every text element whose Y lies beyond the screen to 0, in every layout.
void CorrectTextY(ConfigImage& config);

// Clears the speed index of byte 509 when it names no speed; returns the index.
int CorrectSpeedByte(ConfigImage& config);

struct ElementBox {
    int x = 0, y = 0, width = 0, height = 0;
    bool visible = false;
    bool contains(int column, int row) const {
        return visible && column >= x && column < x + width && row >= y && row < y + height;
    }
};

// The box a click on entry `i` is tested against.
ElementBox HitBox(const ConfigImage& config, int i);

// First entry in element-list order (bar, texts, lines) whose box holds the cell;
// -1 for none.
int HitTest(const ConfigImage& config, int column, int row);

// Whether entry `i` keeps only even X positions (128 x 64 text elements store X / 2).
bool StoresEvenX(const ConfigImage& config, int i);

// The X that centres entry `i` on the screen as the preview draws it (a text with its
// alignment marker, a bar with its closing edge), limited to 0 .. maxX and even where
// the record keeps X / 2.
int CentredX(const ConfigImage& config, int i, int maxX);

// Copies the element records of layout `from` (bar, texts and, on 128 x 64, the lines)
// over those of layout `to` (0-based, both below the layout count); the spare bytes of
// the target stay as they are.
void CopyLayoutElements(ConfigImage& config, int from, int to);

}  // namespace vorkal
