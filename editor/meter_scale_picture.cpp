#include "editor/meter_scale_picture.h"

#include <cstdio>

namespace larkwire {

void drawHorizontalScale(ScalePainter& painter, int w, int h, const MeterScale& scale, int labelHalf) {
    constexpr Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255};
    const int z = zeroDbColumn(w, scale);
    const int half = h / 2;
    painter.fill(0, 0, w, 2 * h, kMeterBackground);
    for (int x = 0; x < w; ++x) {
        const Rgb full = columnColour(x, z, scale.striped);
        const Rgb dim = dimmed(full);
        painter.fill(x, 0, 1, half, dim);
        painter.fill(x, half + 1, 1, h - half - 1, dim);
        painter.fill(x, h, 1, half, full);
        painter.fill(x, h + half + 1, 1, h - half - 1, full);
    }
    int marks[kMaxMeterMarks];
    const int count = horizontalMarks(w, scale, marks);
    const int tick = h / 6;
    for (int i = 0; i < count; ++i) {
        const int d = marks[i];
        const int x = markColumn(w, d, scale);
        const int g = markGrey(d, scale);
        const Rgb grey{g, g, g};
        char label[16];
        std::snprintf(label, sizeof label, "%d", -d);
        // Unlit: grey ticks at the top and bottom edge, a grey label.
        painter.fill(x, 0, 1, tick, grey);
        painter.fill(x, h - tick, 1, tick, grey);
        painter.centredText(label, x - labelHalf, 0, 2 * labelHalf, h, grey);
        // Lit: white ticks and label, each with a black shadow to the right
        // (the label's also two rows down).
        for (int shadow = 1; shadow >= 0; --shadow) {
            const Rgb c = shadow ? kBlack : kWhite;
            painter.fill(x + shadow, h, 1, tick, c);
            painter.fill(x + shadow, 2 * h - tick, 1, tick, c);
        }
        painter.centredText(label, x - labelHalf + 1, h + 2, 2 * labelHalf, h, kBlack);
        painter.centredText(label, x - labelHalf, h, 2 * labelHalf, h, kWhite);
    }
}

}  // namespace larkwire
