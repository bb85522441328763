// The editor's controls as the dialog template places them, in dialog units,
// and their conversion to pixels from the dialog font's base units. Window
// systems without dialog templates lay the editor out from this table.
#pragma once

#include <cstddef>

namespace larkwire {

enum class ControlKind { label, rightLabel, centredLabel, edit, checkBox, radioButton, comboBox, meter };

struct DialogControl {
    int id;  // -1 for the static texts without an id
    ControlKind kind;
    const char* text;
    int x, y, width, height;  // dialog units; a combo box's height includes its list
};

struct PixelRect {
    int x, y, width, height;
    bool contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};

constexpr int kDialogWidthUnits = 213;
constexpr int kDialogHeightUnits = 94;
constexpr int kComboEditHeightUnits = 12;  // the closed combo box, as tall as an edit

// The controls in tab order.
const DialogControl* dialogControls(std::size_t* count);

// Base units of a font: the average width of the 52 Latin letters, rounded
// as the dialog manager rounds it, and the font's height.
int baseUnitX(int widthOfLatinAlphabet);

PixelRect toPixels(int x, int y, int width, int height, int baseX, int baseY);
inline PixelRect toPixels(const DialogControl& c, int baseX, int baseY) {
    return toPixels(c.x, c.y, c.width, c.height, baseX, baseY);
}

}  // namespace larkwire
