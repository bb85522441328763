#include "editor/win32/offscreen_bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

namespace larkwire {

OffscreenBitmap::OffscreenBitmap() { dc = CreateCompatibleDC(nullptr); }

OffscreenBitmap::~OffscreenBitmap() {
    releaseBitmap();
    if (dc != nullptr) DeleteDC(dc);
}

void OffscreenBitmap::releaseBitmap() {
    if (bits != nullptr) SelectObject(dc, previousBitmap);
    if (bitmap != nullptr) DeleteObject(bitmap);
    bitmap = nullptr;
    bits = nullptr;
}

int OffscreenBitmap::resize(int w, int h) {
    if (dc == nullptr) {
        width = height = 0;
        bits = nullptr;
        return 0;
    }
    if (w == width && h == height) return 0;
    width = w;
    height = h;
    if (w != 0 && h != 0 && w <= allocatedWidth && h <= allocatedHeight && bits != nullptr)
        return 1;
    allocatedWidth = w;
    allocatedHeight = h;
    releaseBitmap();
    if (w == 0 || h == 0) return 0;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (bitmap == nullptr || pixels == nullptr) {
        if (bitmap != nullptr) DeleteObject(bitmap);
        bitmap = nullptr;
        width = height = 0;
        allocatedWidth = allocatedHeight = 0;
        bits = nullptr;
        return 1;
    }
    previousBitmap = static_cast<HBITMAP>(SelectObject(dc, bitmap));
    bits = static_cast<std::uint32_t*>(pixels);
    return 1;
}

HDC FaderBackBuffer::prepare(HDC paintDc, int cw, int ch) {
    if (bitmap != nullptr && cachedWidth >= cw && cachedHeight >= ch) return dc;
    const int w = std::max(cw, cachedWidth);
    const int h = std::max(ch, cachedHeight);
    if (dc == nullptr) {
        dc = CreateCompatibleDC(paintDc);
        if (dc == nullptr) return nullptr;
        // First use: free the buffers when the module goes.
        static bool exitHookSet = false;
        if (!exitHookSet) {
            exitHookSet = true;
            std::atexit([] {
                verticalFaderBackBuffer().release();
                horizontalFaderBackBuffer().release();
            });
        }
    }
    if (bitmap != nullptr) {
        SelectObject(dc, previousBitmap);
        DeleteObject(bitmap);
        bitmap = nullptr;
    }
    bitmap = CreateCompatibleBitmap(paintDc, w, h);
    if (bitmap == nullptr) return nullptr;
    previousBitmap = static_cast<HBITMAP>(SelectObject(dc, bitmap));
    cachedWidth = w;
    cachedHeight = h;
    return dc;
}

void FaderBackBuffer::release() {
    if (bitmap != nullptr) {
        SelectObject(dc, previousBitmap);
        DeleteObject(bitmap);
    }
    if (dc != nullptr) DeleteDC(dc);
    bitmap = nullptr;
    dc = nullptr;
    cachedWidth = cachedHeight = -100;
}

FaderBackBuffer& verticalFaderBackBuffer() {
    static FaderBackBuffer buffer;
    return buffer;
}

FaderBackBuffer& horizontalFaderBackBuffer() {
    static FaderBackBuffer buffer;
    return buffer;
}

void blitWithColourKey(HDC target, HBITMAP bitmap, int x, int y) {
    if (target == nullptr || bitmap == nullptr) return;
    HDC source = CreateCompatibleDC(target);
    if (source == nullptr) return;
    HGDIOBJ sourceOld = SelectObject(source, bitmap);
    BITMAP info{};
    GetObject(bitmap, sizeof info, &info);
    POINT size{info.bmWidth, info.bmHeight};
    DPtoLP(source, &size, 1);

    HDC back = CreateCompatibleDC(target);
    HDC object = CreateCompatibleDC(target);
    HDC memory = CreateCompatibleDC(target);
    HDC save = CreateCompatibleDC(target);
    HBITMAP backBitmap = CreateBitmap(size.x, size.y, 1, 1, nullptr);
    HBITMAP objectBitmap = CreateBitmap(size.x, size.y, 1, 1, nullptr);
    HBITMAP memoryBitmap = CreateCompatibleBitmap(target, size.x, size.y);
    HBITMAP saveBitmap = CreateCompatibleBitmap(target, size.x, size.y);
    if (back != nullptr && object != nullptr && memory != nullptr && save != nullptr &&
        backBitmap != nullptr && objectBitmap != nullptr && memoryBitmap != nullptr &&
        saveBitmap != nullptr) {
        HGDIOBJ backOld = SelectObject(back, backBitmap);
        HGDIOBJ objectOld = SelectObject(object, objectBitmap);
        HGDIOBJ memoryOld = SelectObject(memory, memoryBitmap);
        HGDIOBJ saveOld = SelectObject(save, saveBitmap);
        SetMapMode(source, GetMapMode(target));

        BitBlt(save, 0, 0, size.x, size.y, source, 0, 0, SRCCOPY);
        // Mask: 1 where the bitmap is magenta.
        const COLORREF oldBackground = SetBkColor(source, kColourKey);
        BitBlt(object, 0, 0, size.x, size.y, source, 0, 0, SRCCOPY);
        SetBkColor(source, oldBackground);
        BitBlt(back, 0, 0, size.x, size.y, object, 0, 0, NOTSRCCOPY);

        BitBlt(memory, 0, 0, size.x, size.y, target, x, y, SRCCOPY);
        BitBlt(memory, 0, 0, size.x, size.y, object, 0, 0, SRCAND);
        BitBlt(source, 0, 0, size.x, size.y, back, 0, 0, SRCAND);
        BitBlt(memory, 0, 0, size.x, size.y, source, 0, 0, SRCPAINT);
        BitBlt(target, x, y, size.x, size.y, memory, 0, 0, SRCCOPY);
        // Leave the caller's bitmap as it was.
        BitBlt(source, 0, 0, size.x, size.y, save, 0, 0, SRCCOPY);

        SelectObject(back, backOld);
        SelectObject(object, objectOld);
        SelectObject(memory, memoryOld);
        SelectObject(save, saveOld);
    }
    for (HBITMAP b : {backBitmap, objectBitmap, memoryBitmap, saveBitmap})
        if (b != nullptr) DeleteObject(b);
    for (HDC d : {back, object, memory, save})
        if (d != nullptr) DeleteDC(d);
    SelectObject(source, sourceOld);
    DeleteDC(source);
}

}  // namespace larkwire
