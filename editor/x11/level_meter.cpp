#include "editor/x11/level_meter.h"

#include <algorithm>
#include <cstdio>

#include "editor/meter_geometry.h"
#include "editor/meter_scale_picture.h"

namespace larkwire {

namespace {

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};

class CanvasScalePainter : public ScalePainter {
public:
    CanvasScalePainter(X11Canvas& canvas, XftFont* font) : canvas_(canvas), font_(font) {}
    void fill(int x, int y, int width, int height, Rgb colour) override {
        canvas_.fill({x, y, width, height}, colour);
    }
    void centredText(const char* text, int x, int y, int width, int height, Rgb colour) override {
        canvas_.text(font_, text, {x, y, width, height}, colour, TextAlign::centre);
    }

private:
    X11Canvas& canvas_;
    XftFont* font_;
};

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
    CanvasScalePainter painter(scaleImage_, font_);
    drawHorizontalScale(painter, w, h, normalMeterScale(), int(16 * scale_));
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
