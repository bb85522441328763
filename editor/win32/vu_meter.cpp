// The level meter windows: a lit and an unlit picture of the scale are drawn
// once per size, and each level update only copies parts of them.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <new>

#include "editor/meter_geometry.h"
#include "editor/meter_levels.h"
#include "editor/meter_scale_picture.h"
#include "editor/win32/offscreen_bitmap.h"
#include "editor/win32/window_classes.h"

namespace larkwire {

namespace {

struct MeterWindow {
    HFONT font = nullptr;
    OffscreenBitmap meterImage;
    OffscreenBitmap scaleImage;  // unlit and lit pictures side by side or stacked
    int reductionMode = 0;
    MeterLevels levels;
    bool scaleBuilt = false;

    ~MeterWindow() {
        if (font == nullptr) return;
        // A font still selected into a DC is not freed: release it first.
        for (HDC dc : {meterImage.getDC(), scaleImage.getDC()})
            if (dc != nullptr) SelectObject(dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(font);
    }
    const MeterScale& scale() const {
        return reductionMode != 0 ? reductionMeterScale() : normalMeterScale();
    }
};

MeterWindow* stateOf(HWND window) {
    return reinterpret_cast<MeterWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

std::uint32_t pixelOf(Rgb c) { return std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | std::uint32_t(c.b); }

void fillRect(BitmapSurface& surface, int x, int y, int w, int h, Rgb colour) {
    std::uint32_t* bits = surface.getBits();
    if (bits == nullptr) return;
    const int x1 = std::min(x + w, surface.getWidth());
    const int y1 = std::min(y + h, surface.getHeight());
    const std::uint32_t pixel = pixelOf(colour);
    for (int row = std::max(0, y); row < y1; ++row)
        for (int col = std::max(0, x); col < x1; ++col) bits[row * surface.getRowSpan() + col] = pixel;
}

void text(HDC dc, const char* s, RECT r, COLORREF colour, UINT format) {
    SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, s, -1, &r, format | DT_SINGLELINE | DT_NOPREFIX);
}

void ensureFont(MeterWindow& m) {
    if (m.font == nullptr)
        m.font = CreateFontA(12, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, "Arial");
    SelectObject(m.scaleImage.getDC(), m.font);
    SelectObject(m.meterImage.getDC(), m.font);
}

// Copies columns [x0, x1) of the unlit (lit false) or lit picture.
void copyColumns(MeterWindow& m, int x0, int x1, int y, int h, int height, bool lit, int sourceX) {
    if (x1 <= x0 || h <= 0) return;
    BitBlt(m.meterImage.getDC(), x0, y, x1 - x0, h, m.scaleImage.getDC(), sourceX,
           y + (lit ? height : 0), SRCCOPY);
}

// ---- horizontal meter ----

// Fills write the bits directly, so GDI's queued text is flushed before each.
class BitmapScalePainter : public ScalePainter {
public:
    explicit BitmapScalePainter(OffscreenBitmap& image) : image_(image) {}
    void fill(int x, int y, int width, int height, Rgb colour) override {
        GdiFlush();
        fillRect(image_, x, y, width, height, colour);
    }
    void centredText(const char* s, int x, int y, int width, int height, Rgb colour) override {
        text(image_.getDC(), s, RECT{x, y, x + width, y + height}, RGB(colour.r, colour.g, colour.b),
             DT_CENTER | DT_VCENTER);
    }

private:
    OffscreenBitmap& image_;
};

void buildHorizontalScale(MeterWindow& m, int w, int h) {
    BitmapScalePainter painter(m.scaleImage);
    drawHorizontalScale(painter, w, h, m.scale(), 16);
    GdiFlush();
}

void composeHorizontal(MeterWindow& m, int w, int h) {
    const MeterScale& scale = m.scale();
    const int z = zeroDbColumn(w, scale);
    const int half = h / 2;
    HDC dc = m.meterImage.getDC();
    if (h % 2 != 0) PatBlt(dc, 0, half, w, h - 2 * half, BLACKNESS);
    const int highest = m.levels.highestMaximum();
    const bool clipLit = highest >= 0 && scale.clipArea;
    for (int ch = 0; ch < 2; ++ch) {
        const int y = ch == 0 ? 0 : half;
        const int rows = ch == 0 ? half : h - half;
        const int b = barEnd(m.levels.level[ch], w, z, scale);
        const int k = holdEnd(m.levels.holdLevel[ch], w, z, scale);
        copyColumns(m, 0, b, y, rows, h, true, 0);
        copyColumns(m, b, (clipLit ? z : w - 1) + 1, y, rows, h, false, b);
        if (clipLit) copyColumns(m, z + 1, w, y, rows, h, true, z + 1);
        if (b < k) {
            const int x0 = std::min(z + 1, k);
            // Keep the stripes in phase: take the marker from a lit column.
            const int source = scale.striped && x0 < z ? (x0 & ~1) : x0;
            BitBlt(dc, x0, y, k - x0 + 1, rows, m.scaleImage.getDC(), source, y + h, SRCCOPY);
        }
    }
    char readout[16];
    meterReadout(highest, readout, sizeof readout);
    text(dc, readout, RECT{4, 0, w - 4, h - 1}, RGB(255, 255, 255), DT_RIGHT | DT_VCENTER);
}

// ---- vertical meter ----

Rgb verticalRowColour(const MeterWindow& m, int y, int h, int zeroRow, bool lit) {
    const int span = std::max(1, h - 1 - zeroRow);
    const int index = (h - 1 - y) * 256 / span;
    if (m.reductionMode != 0) {
        const int red = lit ? std::max(0, 80 - index / 5) : std::max(192, 255 - index / 3);
        return {red, 0, 0};
    }
    if (y < zeroRow) return lit ? kMeterOverColour : dimmed(kMeterOverColour);
    if (m.scale().striped && ((h - 1 - y) & 1) != 0) return kMeterBackground;
    const Rgb full = gradientColour(index, m.scale().striped);
    return lit ? full : dimmed(full);
}

void buildVerticalScale(MeterWindow& m, int w, int h) {
    const MeterScale& scale = m.scale();
    const bool reduction = m.reductionMode != 0;
    const int zeroRow = reduction ? 0 : zeroDbRow(h, scale);
    HDC dc = m.scaleImage.getDC();
    GdiFlush();
    fillRect(m.scaleImage, 0, 0, 2 * w, h, kMeterBackground);
    for (int y = 0; y < h; ++y) {
        fillRect(m.scaleImage, 0, y, w, 1, verticalRowColour(m, y, h, zeroRow, false));
        fillRect(m.scaleImage, w, y, w, 1, verticalRowColour(m, y, h, zeroRow, true));
    }
    // The gap between the channels, below the 0 dB line.
    fillRect(m.scaleImage, w / 2, zeroRow, 1, h - zeroRow, kMeterBackground);
    fillRect(m.scaleImage, w + w / 2, zeroRow, 1, h - zeroRow, kMeterBackground);
    const VerticalLabels labels = verticalLabels(h, reduction, scale);
    const int headroom = reduction ? 0 : scale.headroomDb;
    for (int d = labels.first; d < labels.last; d += labels.step) {
        const int top = h * (d + headroom) / (scale.rangeDb + headroom) - 5;
        if (top <= 10) continue;
        char label[16];
        std::snprintf(label, sizeof label, "-%d-", d);
        const int g = reduction ? 255 : markGrey(d, scale);
        text(dc, label, RECT{0, top, w, top + 12}, RGB(g, g, g), DT_CENTER | DT_TOP);
        if (d != 0) text(dc, label, RECT{w + 1, top + 1, 2 * w + 1, top + 13}, RGB(0, 0, 0), DT_CENTER | DT_TOP);
        text(dc, label, RECT{w, top, 2 * w, top + 12}, RGB(255, 255, 255), DT_CENTER | DT_TOP);
    }
    GdiFlush();
}

// Copies rows [y0, y1) of one channel's columns from the unlit or lit picture.
void copyRows(MeterWindow& m, int x, int cols, int y0, int y1, int w, bool lit) {
    if (y1 <= y0 || cols <= 0) return;
    BitBlt(m.meterImage.getDC(), x, y0, cols, y1 - y0, m.scaleImage.getDC(), x + (lit ? w : 0), y0,
           SRCCOPY);
}

void composeVertical(MeterWindow& m, int w, int h) {
    const MeterScale& scale = m.scale();
    const bool reduction = m.reductionMode != 0;
    const int zeroRow = reduction ? 0 : zeroDbRow(h, scale);
    const int full = scale.fullScale();
    const int highest = m.levels.highestMaximum();
    const int lowest = std::min(m.levels.maxLevel[0], m.levels.maxLevel[1]);
    const bool clipLit = !reduction && highest >= 0 && scale.clipArea;
    auto rowOf = [&](int tenths) {
        const long long p = std::clamp<long long>(static_cast<long long>(tenths) + scale.floorTenths(), 0, full);
        return h - static_cast<int>(p * h / full);
    };
    for (int ch = 0; ch < 2; ++ch) {
        const int x = ch == 0 ? 0 : w / 2;
        const int cols = ch == 0 ? w / 2 : w - w / 2;
        copyRows(m, x, cols, 0, h, w, false);
        if (reduction) {
            // Gain reduction hangs down from the top.
            const int end = h - rowOf(m.levels.level[ch]);
            copyRows(m, x, cols, 0, std::clamp(end, 0, h), w, true);
        } else {
            int top = rowOf(m.levels.level[ch]);
            if (m.levels.level[ch] >= 0 && scale.clipArea) top = std::min(top, zeroRow - 1);
            copyRows(m, x, cols, std::max(0, top), h, w, true);
            if (clipLit) copyRows(m, x, cols, 0, zeroRow, w, true);
            const int hold = rowOf(m.levels.holdLevel[ch]);
            if (hold < top && m.levels.holdLevel[ch] > kMeterUnset) copyRows(m, x, cols, hold, hold + 1, w, true);
        }
    }
    HDC dc = m.meterImage.getDC();
    char readout[16];
    if (reduction) {
        meterReadout(lowest, readout, sizeof readout);
        text(dc, readout, RECT{0, h - 14, w, h}, RGB(255, 255, 255), DT_CENTER | DT_BOTTOM);
        meterReadout(std::min(m.levels.holdLevel[0], m.levels.holdLevel[1]), readout, sizeof readout);
        const int band = std::max(10, zeroDbRow(h, scale));
        text(dc, readout, RECT{0, 0, w, band}, RGB(255, 255, 255), DT_CENTER | DT_VCENTER);
    } else {
        meterReadout(highest, readout, sizeof readout);
        text(dc, readout, RECT{0, 0, w, std::max(10, zeroRow)}, RGB(255, 255, 255), DT_CENTER | DT_VCENTER);
    }
}

// ---- both ----

void paint(HWND window, MeterWindow* m, bool vertical) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    const int w = client.right, h = client.bottom;
    if (m != nullptr && w > 0 && h > 0) {
        const int meterChanged = m->meterImage.resize(w, h);
        const int scaleChanged = vertical ? m->scaleImage.resize(2 * w, h) : m->scaleImage.resize(w, 2 * h);
        if (m->meterImage.getBits() != nullptr && m->scaleImage.getBits() != nullptr) {
            if (meterChanged || scaleChanged || !m->scaleBuilt) {
                ensureFont(*m);
                if (vertical) buildVerticalScale(*m, w, h);
                else buildHorizontalScale(*m, w, h);
                m->scaleBuilt = true;
            }
            if (vertical) composeVertical(*m, w, h);
            else composeHorizontal(*m, w, h);
            const RECT& r = ps.rcPaint;
            BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, m->meterImage.getDC(),
                   r.left, r.top, SRCCOPY);
        }
    }
    EndPaint(window, &ps);
}

void clickReset(HWND window, MeterWindow& m, bool vertical, int x, int y) {
    RECT client;
    GetClientRect(window, &client);
    if (!vertical) {
        if (!meterClickResets(x, client.right, zeroDbColumn(client.right, m.scale()))) return;
        m.levels.resetAll(kMeterUnset);
    } else if (m.reductionMode != 0) {
        m.levels.resetAll(0);
    } else {
        if (y >= zeroDbRow(client.bottom, m.scale())) return;
        m.levels.resetAll(kMeterResetMarker);
    }
    InvalidateRect(window, nullptr, FALSE);
}

LRESULT meterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool vertical) {
    try {
        MeterWindow* m = stateOf(window);
        switch (message) {
            case WM_CREATE:
                SetWindowLongPtrA(window, GWLP_USERDATA,
                                  reinterpret_cast<LONG_PTR>(new (std::nothrow) MeterWindow));
                return 0;
            case WM_DESTROY:
                SetWindowLongPtrA(window, GWLP_USERDATA, 0);
                delete m;
                return 0;
            case WM_PAINT:
                paint(window, m, vertical);
                return 0;
            case WM_LBUTTONDOWN:
                if (m != nullptr)
                    clickReset(window, *m, vertical, short(LOWORD(lParam)), short(HIWORD(lParam)));
                return 0;
            case kMeterLevelMessage: {
                if (m == nullptr) return 0;
                const DWORD now = GetTickCount();
                m->levels.update(0, static_cast<int>(wParam), now, m->reductionMode != 0);
                m->levels.update(1, static_cast<int>(lParam), now, m->reductionMode != 0);
                InvalidateRect(window, nullptr, FALSE);
                return 0;
            }
            case kMeterReductionMessage:
                if (!vertical || m == nullptr) break;
                m->reductionMode = lParam == 1 ? 1 : 0;
                m->levels.resetAll(m->reductionMode != 0 ? 0 : kMeterResetMarker);
                m->scaleBuilt = false;  // the colours differ per mode
                return 0;
            default:
                break;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

}  // namespace

LRESULT CALLBACK horizontalMeterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return meterProc(window, message, wParam, lParam, false);
}

LRESULT CALLBACK verticalMeterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return meterProc(window, message, wParam, lParam, true);
}

}  // namespace larkwire
