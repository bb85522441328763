#include "editor/x11/level_meter.h"

#include <algorithm>
#include <cstdio>

#include "editor/meter_geometry.h"

namespace larkwire {

namespace {

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};

}  // namespace

void LevelMeter::setLevels(int left, int right, std::uint32_t now) {
    levels_.update(0, left, now);
    levels_.update(1, right, now);
}

bool LevelMeter::click(int x, int width) {
    if (!meterClickResets(x, width, zeroDbColumn(width, normalMeterScale()))) return false;
    levels_.resetAll(kMeterUnset);
    return true;
}

void LevelMeter::buildScale(int w, int h) {
    const MeterScale& scale = normalMeterScale();
    const int z = zeroDbColumn(w, scale);
    const int half = h / 2;
    X11Canvas& dc = scaleImage_;
    dc.fill({0, 0, w, 2 * h}, kMeterBackground);
    for (int x = 0; x < w; ++x) {
        const Rgb full = columnColour(x, z, scale.striped);
        const Rgb dim = dimmed(full);
        dc.fill({x, 0, 1, half}, dim);
        dc.fill({x, half + 1, 1, h - half - 1}, dim);
        dc.fill({x, h, 1, half}, full);
        dc.fill({x, h + half + 1, 1, h - half - 1}, full);
    }
    int marks[kMaxMeterMarks];
    const int count = horizontalMarks(w, scale, marks);
    const int tick = h / 6;
    const int labelHalf = int(16 * scale_);
    for (int i = 0; i < count; ++i) {
        const int d = marks[i];
        const int x = markColumn(w, d, scale);
        const int g = markGrey(d, scale);
        char label[16];
        std::snprintf(label, sizeof label, "%d", -d);
        const Rgb grey{g, g, g};
        dc.line(x, 0, x, tick, grey);
        dc.line(x, h - 1, x, h - 1 - tick, grey);
        dc.text(font_, label, {x - labelHalf, 0, 2 * labelHalf, h}, grey, TextAlign::centre);
        for (int shadow = 1; shadow >= 0; --shadow) {
            const Rgb c = shadow ? kBlack : kWhite;
            dc.line(x + shadow, h, x + shadow, h + tick, c);
            dc.line(x + shadow, 2 * h - 1, x + shadow, 2 * h - 1 - tick, c);
        }
        // The shadow's rectangle is moved down and widened to the right by 2,
        // which puts the centred text 1 pixel right and 2 down.
        dc.text(font_, label, {x - labelHalf + 1, h + 2, 2 * labelHalf, h}, kBlack, TextAlign::centre);
        dc.text(font_, label, {x - labelHalf, h, 2 * labelHalf, h}, kWhite, TextAlign::centre);
    }
}

void LevelMeter::copyColumns(X11Canvas& target, PixelRect r, int x0, int x1, int y, int rows, bool lit,
                             int sourceX) {
    if (x1 <= x0 || rows <= 0) return;
    XCopyArea(display_, scaleImage_.pixmap(), target.pixmap(), target.gc(), sourceX, y + (lit ? r.height : 0),
              unsigned(x1 - x0), unsigned(rows), r.x + x0, r.y + y);
}

void LevelMeter::paint(const X11Surface& surface, Drawable window, X11Canvas& target, PixelRect r) {
    const int w = r.width, h = r.height;
    if (w <= 0 || h <= 0) return;
    display_ = surface.display;
    if (scaleImage_.width() != w || scaleImage_.height() != 2 * h) {
        if (!scaleImage_.create(surface, window, w, 2 * h)) return;
        built_ = false;
    }
    if (!built_) {
        buildScale(w, h);
        built_ = true;
    }
    const MeterScale& scale = normalMeterScale();
    const int z = zeroDbColumn(w, scale);
    const int half = h / 2;
    if (h % 2 != 0) target.fill({r.x, r.y + half, w, h - 2 * half}, kBlack);
    const int highest = levels_.highestMaximum();
    const bool clipLit = highest >= 0 && scale.clipArea;
    for (int ch = 0; ch < 2; ++ch) {
        const int y = ch == 0 ? 0 : half;
        const int rows = ch == 0 ? half : h - half;
        const int b = barEnd(levels_.level[ch], w, z, scale);
        const int k = holdEnd(levels_.holdLevel[ch], w, z, scale);
        copyColumns(target, r, 0, b, y, rows, true, 0);
        copyColumns(target, r, b, (clipLit ? z : w - 1) + 1, y, rows, false, b);
        if (clipLit) copyColumns(target, r, z + 1, w, y, rows, true, z + 1);
        if (b < k) {
            const int x0 = std::min(z + 1, k);
            // Keep the stripes in phase: take the marker from a lit column.
            const int source = scale.striped && x0 < z ? (x0 & ~1) : x0;
            copyColumns(target, r, x0, k + 1, y, rows, true, source);
        }
    }
    char readout[16];
    meterReadout(highest, readout, sizeof readout);
    target.text(font_, readout, {r.x + 4, r.y, w - 8, h - 1}, kWhite, TextAlign::right);
}

}  // namespace larkwire
