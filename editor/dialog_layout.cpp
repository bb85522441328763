#include "editor/dialog_layout.h"

#include "editor/editor_ids.h"

namespace larkwire {

namespace {

// As resources/larkwire.rc places them.
constexpr DialogControl kControls[] = {
    {-1, ControlKind::label, "Identifier:", 7, 8, 30, 8},
    {IDC_IDENTIFIER, ControlKind::edit, "", 40, 7, 76, 12},
    {IDC_ENABLED, ControlKind::checkBox, "Enabled", 119, 8, 41, 10},
    {IDC_RECEIVE, ControlKind::radioButton, "Receive audio/MIDI", 7, 24, 81, 10},
    {IDC_SEND, ControlKind::radioButton, "Send audio/MIDI; IP:", 7, 37, 84, 10},
    {IDC_DESTINATION, ControlKind::comboBox, "", 92, 35, 114, 126},
    {IDC_CHANNELS_LABEL, ControlKind::rightLabel, "Audio channels (0-8):", 87, 51, 91, 8},
    {IDC_SEND_CHANNELS, ControlKind::edit, "", 180, 50, 25, 12},
    {IDC_LEVEL_METER, ControlKind::meter, "", 7, 65, 199, 15},
    {-1, ControlKind::centredLabel, "Larkwire v0.1", 7, 83, 199, 8},
};

// a * b / c rounded to the nearest integer, as MulDiv does.
int scaleRounded(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    return static_cast<int>((product >= 0 ? product + c / 2 : product - c / 2) / c);
}

}  // namespace

const DialogControl* dialogControls(std::size_t* count) {
    *count = sizeof kControls / sizeof kControls[0];
    return kControls;
}

int baseUnitX(int widthOfLatinAlphabet) { return (widthOfLatinAlphabet / 26 + 1) / 2; }

PixelRect toPixels(int x, int y, int width, int height, int baseX, int baseY) {
    // Edges, not sizes, are converted, as the dialog manager maps a rectangle.
    const int left = scaleRounded(x, baseX, 4), top = scaleRounded(y, baseY, 8);
    return {left, top, scaleRounded(x + width, baseX, 4) - left, scaleRounded(y + height, baseY, 8) - top};
}

}  // namespace larkwire
