// Off-screen surfaces the custom controls paint into before one block
// transfer to the window, and the colour-keyed transfer of the fader thumbs.
// [ui thread that owns the windows]
#pragma once

#include <windows.h>

#include <cstdint>

namespace larkwire {

class BitmapSurface {
public:
    virtual ~BitmapSurface() = default;
    virtual std::uint32_t* getBits() = 0;
    virtual int getWidth() = 0;
    virtual int getHeight() = 0;
    virtual int getRowSpan() = 0;  // pixels from one row to the next
    // 1 when the size changed, 0 when nothing changed or the surface is empty.
    virtual int resize(int width, int height) = 0;
    virtual HDC getDC() { return nullptr; }
};

// A 32-bit top-down DIB section in its own memory DC. It grows only: a
// smaller size reuses the allocation, so the row span may exceed the width.
class OffscreenBitmap : public BitmapSurface {
public:
    OffscreenBitmap();
    ~OffscreenBitmap() override;
    OffscreenBitmap(const OffscreenBitmap&) = delete;
    OffscreenBitmap& operator=(const OffscreenBitmap&) = delete;

    std::uint32_t* getBits() override { return bits; }
    int getWidth() override { return width; }
    int getHeight() override { return height; }
    int getRowSpan() override { return allocatedWidth; }
    int resize(int width, int height) override;
    HDC getDC() override { return dc; }

private:
    void releaseBitmap();

    int width = 0;
    int height = 0;
    HDC dc = nullptr;
    std::uint32_t* bits = nullptr;
    int allocatedWidth = 0;
    int allocatedHeight = 0;
    HBITMAP bitmap = nullptr;
    HBITMAP previousBitmap = nullptr;
};

// One per fader class, shared by all its windows; grows to the largest fader
// painted and is released at module exit.
class FaderBackBuffer {
public:
    // The DC to paint a cw x ch fader into; null when it cannot be made.
    HDC prepare(HDC paintDc, int cw, int ch);
    void release();

private:
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HBITMAP previousBitmap = nullptr;
    int cachedWidth = -100;
    int cachedHeight = -100;
};

FaderBackBuffer& verticalFaderBackBuffer();
FaderBackBuffer& horizontalFaderBackBuffer();

// Draws bitmap at (x, y) of target, leaving out every magenta pixel.
void blitWithColourKey(HDC target, HBITMAP bitmap, int x, int y);

constexpr COLORREF kColourKey = RGB(255, 0, 255);

}  // namespace larkwire
