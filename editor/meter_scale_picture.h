// The horizontal meter's scale picture, the same on every window system:
// drawn once per size through the platform's two drawing calls, then copied
// from in parts at each level update.
#pragma once

#include "editor/meter_geometry.h"

namespace larkwire {

// What drawing the picture needs of a platform. [ui]
class ScalePainter {
public:
    virtual ~ScalePainter() = default;
    virtual void fill(int x, int y, int width, int height, Rgb colour) = 0;
    // Text centred both ways in the rectangle.
    virtual void centredText(const char* text, int x, int y, int width, int height, Rgb colour) = 0;
};

// [ui] A picture of width w and height 2h: the unlit scale in rows 0..h-1
// and the lit one below, each with a dark row between the two channels and
// the marks with their labels. labelHalf: half a label box's width.
void drawHorizontalScale(ScalePainter& painter, int w, int h, const MeterScale& scale, int labelHalf);

}  // namespace larkwire
