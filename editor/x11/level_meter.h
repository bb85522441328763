// The editor's horizontal level meter: a lit and an unlit picture of the
// scale are drawn once per size, and each level update only copies parts of
// them into the editor's back buffer. [ui thread]
#pragma once

#include <cstdint>

#include "editor/meter_levels.h"
#include "editor/x11/x11_canvas.h"

namespace larkwire {

class LevelMeter {
public:
    // scale: the editor's size factor, for tick lengths and label widths.
    void setFont(XftFont* font, double scale) {
        font_ = font;
        scale_ = scale;
        built_ = false;
    }
    void release() { scaleImage_.release(); }

    // The meter message: levels in tenths of a decibel at tick count now.
    void setLevels(int left, int right, std::uint32_t now);
    // A click at x inside the meter; true when it reset the readout.
    bool click(int x, int width);

    void paint(const X11Surface& surface, Drawable window, X11Canvas& target, PixelRect r);

private:
    void buildScale(int w, int h);
    void copyColumns(X11Canvas& target, PixelRect r, int x0, int x1, int y, int rows, bool lit, int sourceX);

    MeterLevels levels_;
    X11Canvas scaleImage_;  // unlit picture on top, lit picture below
    Display* display_ = nullptr;
    XftFont* font_ = nullptr;
    double scale_ = 1.0;
    bool built_ = false;
};

}  // namespace larkwire
