#include "editor/x11/x11_canvas.h"

namespace larkwire {

namespace {

// Places an 8-bit component into the bits of a visual's mask.
unsigned long component(int value, unsigned long mask) {
    if (mask == 0) return 0;
    int shift = 0, bits = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    while (((mask >> (shift + bits)) & 1) != 0) ++bits;
    const unsigned long v = bits >= 8 ? static_cast<unsigned long>(value) << (bits - 8)
                                      : static_cast<unsigned long>(value) >> (8 - bits);
    return (v << shift) & mask;
}

}  // namespace

unsigned long X11Surface::pixelOf(Rgb c) const {
    const unsigned long masks = visual->red_mask | visual->green_mask | visual->blue_mask;
    unsigned long pixel = component(c.r, visual->red_mask) | component(c.g, visual->green_mask) |
                          component(c.b, visual->blue_mask);
    // A depth-32 window has alpha bits beside the colour: keep them opaque.
    if (depth == 32) pixel |= 0xFFFFFFFFul & ~masks;
    return pixel;
}

XftColor X11Surface::xftColour(Rgb c) const {
    XftColor colour;
    colour.pixel = pixelOf(c);
    colour.color.red = static_cast<unsigned short>(c.r * 257);
    colour.color.green = static_cast<unsigned short>(c.g * 257);
    colour.color.blue = static_cast<unsigned short>(c.b * 257);
    colour.color.alpha = 0xFFFF;
    return colour;
}

bool X11Canvas::create(const X11Surface& surface, Drawable window, int width, int height) {
    release();
    surface_ = &surface;
    if (width <= 0 || height <= 0) return false;
    pixmap_ = XCreatePixmap(surface.display, window, unsigned(width), unsigned(height), unsigned(surface.depth));
    gc_ = XCreateGC(surface.display, pixmap_, 0, nullptr);
    draw_ = XftDrawCreate(surface.display, pixmap_, surface.visual, surface.colormap);
    width_ = width;
    height_ = height;
    return draw_ != nullptr;
}

void X11Canvas::release() {
    if (surface_ == nullptr) return;
    Display* display = surface_->display;
    if (draw_ != nullptr) XftDrawDestroy(draw_);
    if (gc_ != nullptr) XFreeGC(display, gc_);
    if (pixmap_ != 0) XFreePixmap(display, pixmap_);
    draw_ = nullptr;
    gc_ = nullptr;
    pixmap_ = 0;
    width_ = height_ = 0;
    surface_ = nullptr;
}

void X11Canvas::fill(PixelRect r, Rgb colour) {
    if (gc_ == nullptr || r.width <= 0 || r.height <= 0) return;
    XSetForeground(surface_->display, gc_, surface_->pixelOf(colour));
    XFillRectangle(surface_->display, pixmap_, gc_, r.x, r.y, unsigned(r.width), unsigned(r.height));
}

void X11Canvas::line(int x0, int y0, int x1, int y1, Rgb colour) {
    if (gc_ == nullptr) return;
    XSetForeground(surface_->display, gc_, surface_->pixelOf(colour));
    XDrawLine(surface_->display, pixmap_, gc_, x0, y0, x1, y1);
}

void X11Canvas::frame(PixelRect r, Rgb colour) {
    if (gc_ == nullptr || r.width <= 0 || r.height <= 0) return;
    XSetForeground(surface_->display, gc_, surface_->pixelOf(colour));
    XDrawRectangle(surface_->display, pixmap_, gc_, r.x, r.y, unsigned(r.width - 1), unsigned(r.height - 1));
}

void X11Canvas::textAt(XftFont* font, std::string_view s, int x, int y, PixelRect clip, Rgb colour) {
    if (draw_ == nullptr || font == nullptr || s.empty() || clip.width <= 0 || clip.height <= 0) return;
    XRectangle rect{short(clip.x), short(clip.y), static_cast<unsigned short>(clip.width),
                    static_cast<unsigned short>(clip.height)};
    XftDrawSetClipRectangles(draw_, 0, 0, &rect, 1);
    XftColor c = surface_->xftColour(colour);
    XftDrawString8(draw_, &c, font, x, y + font->ascent, reinterpret_cast<const FcChar8*>(s.data()),
                   int(s.size()));
    XftDrawSetClip(draw_, nullptr);
}

void X11Canvas::text(XftFont* font, std::string_view s, PixelRect r, Rgb colour, TextAlign align) {
    if (font == nullptr) return;
    const int w = textWidth(surface_->display, font, s);
    int x = r.x;
    if (align == TextAlign::centre) x = r.x + (r.width - w) / 2;
    else if (align == TextAlign::right) x = r.x + r.width - w;
    const int y = r.y + (r.height - (font->ascent + font->descent)) / 2;
    textAt(font, s, x, y, r, colour);
}

int textWidth(Display* display, XftFont* font, std::string_view s) {
    if (font == nullptr || s.empty()) return 0;
    XGlyphInfo extents;
    XftTextExtents8(display, font, reinterpret_cast<const FcChar8*>(s.data()), int(s.size()), &extents);
    return extents.xOff;
}

}  // namespace larkwire
