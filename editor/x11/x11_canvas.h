// Drawing into one X drawable with core requests and Xft text. [ui thread]
#pragma once

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

#include <string_view>

#include "editor/dialog_layout.h"
#include "editor/meter_geometry.h"

namespace larkwire {

// What every drawable of one editor window shares: the connection, visual,
// colormap and depth of the window it belongs to.
struct X11Surface {
    Display* display = nullptr;
    Visual* visual = nullptr;
    Colormap colormap = 0;
    int depth = 0;

    unsigned long pixelOf(Rgb colour) const;
    XftColor xftColour(Rgb colour) const;
};

enum class TextAlign { left, centre, right };

class X11Canvas {
public:
    X11Canvas() = default;
    X11Canvas(const X11Canvas&) = delete;
    X11Canvas& operator=(const X11Canvas&) = delete;
    ~X11Canvas() { release(); }

    // Creates a pixmap of this size for the window's surface; false on failure.
    bool create(const X11Surface& surface, Drawable window, int width, int height);
    void release();

    Pixmap pixmap() const { return pixmap_; }
    GC gc() const { return gc_; }
    int width() const { return width_; }
    int height() const { return height_; }

    void fill(PixelRect r, Rgb colour);
    void line(int x0, int y0, int x1, int y1, Rgb colour);
    void frame(PixelRect r, Rgb colour);
    // Text in a rectangle, vertically centred, clipped to the rectangle.
    void text(XftFont* font, std::string_view s, PixelRect r, Rgb colour, TextAlign align);
    // Text with its top-left at (x, y), clipped to clip.
    void textAt(XftFont* font, std::string_view s, int x, int y, PixelRect clip, Rgb colour);

private:
    const X11Surface* surface_ = nullptr;
    Pixmap pixmap_ = 0;
    GC gc_ = nullptr;
    XftDraw* draw_ = nullptr;
    int width_ = 0, height_ = 0;
};

int textWidth(Display* display, XftFont* font, std::string_view s);

}  // namespace larkwire
