// The fader windows. The behaviour lives in FaderModel; this file keeps its
// fields in the window's extra bytes, paints, and talks to the parent.
#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "editor/fader_model.h"
#include "editor/win32/offscreen_bitmap.h"
#include "editor/win32/window_classes.h"

namespace larkwire {

namespace {

constexpr UINT_PTR kEndScrollTimer = 32;
constexpr int kThumbScroll = 5;  // SB_THUMBTRACK
constexpr int kEndScroll = 8;    // SB_ENDSCROLL

// Offsets of the fields in the extra bytes; other code may read them.
constexpr int kStyleOffset = 0;
constexpr int kPositionOffset = 8;
constexpr int kDefaultOffset = 16;
constexpr int kLevelsOffset = 24;
constexpr int kRangeOffset = 32;

struct FaderClass {
    bool vertical;
    FaderDrag drag;
    HBITMAP (*thumb)();
    FaderBackBuffer& (*backBuffer)();
};

FaderClass verticalClass{true, {}, &verticalThumbBitmap, &verticalFaderBackBuffer};
FaderClass horizontalClass{false, {}, &horizontalThumbBitmap, &horizontalFaderBackBuffer};

int field(HWND w, int offset) { return static_cast<int>(GetWindowLongPtrA(w, offset)); }

FaderFields loadFields(HWND w) {
    return {field(w, kStyleOffset), field(w, kPositionOffset), field(w, kDefaultOffset),
            field(w, kLevelsOffset), field(w, kRangeOffset)};
}

void storeFields(HWND w, const FaderFields& f) {
    SetWindowLongPtrA(w, kStyleOffset, f.styleFlags);
    SetWindowLongPtrA(w, kPositionOffset, f.stored);
    SetWindowLongPtrA(w, kDefaultOffset, f.defaultPosition);
    SetWindowLongPtrA(w, kLevelsOffset, f.levelPair);
    SetWindowLongPtrA(w, kRangeOffset, f.range);
}

SIZE thumbSize(const FaderClass& c) {
    SIZE size = c.vertical ? SIZE{14, 26} : SIZE{23, 14};
    BITMAP info{};
    if (HBITMAP thumb = c.thumb(); thumb != nullptr && GetObject(thumb, sizeof info, &info) != 0 &&
                                   info.bmWidth != 0 && info.bmHeight != 0)
        size = {info.bmWidth, std::abs(info.bmHeight)};
    return size;
}

FaderAxis axisOf(HWND w, const FaderClass& c) {
    RECT r;
    GetClientRect(w, &r);
    const SIZE t = thumbSize(c);
    return c.vertical ? FaderAxis{r.bottom, r.right, int(t.cy), int(t.cx)}
                      : FaderAxis{r.right, r.bottom, int(t.cx), int(t.cy)};
}

void notifyParent(HWND w, const FaderClass& c, int code) {
    SendMessageA(GetParent(w), c.vertical ? WM_VSCROLL : WM_HSCROLL, code, reinterpret_cast<LPARAM>(w));
}

void paint(HWND w, const FaderClass& c) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    RECT client;
    GetClientRect(w, &client);
    const int cw = client.right, ch = client.bottom;
    HDC back = cw > 0 && ch > 0 ? c.backBuffer().prepare(dc, cw, ch) : nullptr;
    if (back != nullptr) {
        FaderFields f = loadFields(w);
        FaderModel model(f, c.vertical);
        const FaderAxis axis = axisOf(w, c);
        const SIZE t = thumbSize(c);
        HWND parent = GetParent(w);

        auto brush = reinterpret_cast<HBRUSH>(
            SendMessageA(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(back), reinterpret_cast<LPARAM>(w)));
        FillRect(back, &client, brush != nullptr ? brush : GetSysColorBrush(COLOR_BTNFACE));

        if (c.vertical && f.levelPair != 0) {
            HBRUSH green = CreateSolidBrush(RGB(32, 192, 0));
            const int barWidth = std::max<int>(1, (cw - t.cx) / 2);
            const int levels[2] = {f.levelPair & 0xFFFF, (f.levelPair >> 16) & 0xFFFF};
            for (int side = 0; side < 2; ++side) {
                const int x = side == 0 ? 0 : cw - barWidth;
                RECT bar{x, faderLevelTop(levels[side], ch, t.cy), x + barWidth, ch};
                FillRect(back, &bar, green);
            }
            DeleteObject(green);
        }

        if ((f.styleFlags & 2) == 0) {
            HPEN pen = CreatePen(PS_SOLID, 1, GetTextColor(back));
            HGDIOBJ old = SelectObject(back, pen);
            const int at = model.defaultLine(axis);
            if (c.vertical) {
                MoveToEx(back, 2, at, nullptr);
                LineTo(back, cw - 2, at);
            } else {
                MoveToEx(back, at, 2, nullptr);
                LineTo(back, at, ch - 2);
            }
            SelectObject(back, old);
            DeleteObject(pen);
        }

        COLORREF groove = GetSysColor(COLOR_BTNSHADOW);
        if ((f.styleFlags & 1) == 0)
            SendMessageA(parent, kFaderGrooveColour, reinterpret_cast<WPARAM>(w), reinterpret_cast<LPARAM>(&groove));
        HPEN outline = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
        HBRUSH fill = CreateSolidBrush(groove);
        HGDIOBJ oldPen = SelectObject(back, outline);
        HGDIOBJ oldBrush = SelectObject(back, fill);
        if (c.vertical)
            RoundRect(back, (cw - 4) / 2, t.cy / 3, (cw - 4) / 2 + 5, ch - t.cy / 3, 2, 2);
        else
            RoundRect(back, t.cx / 3, (ch - 4) / 2, cw - t.cx / 3, (ch - 4) / 2 + 5, 2, 2);
        SelectObject(back, oldPen);
        SelectObject(back, oldBrush);
        DeleteObject(outline);
        DeleteObject(fill);

        const int start = model.thumbStart(axis);
        if (c.vertical) blitWithColourKey(back, c.thumb(), (cw - t.cx) / 2, start);
        else blitWithColourKey(back, c.thumb(), start, (ch - t.cy) / 2);

        const RECT& r = ps.rcPaint;
        BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, back, r.left, r.top, SRCCOPY);
    }
    EndPaint(w, &ps);
}

void wheel(HWND w, FaderClass& c, int delta) {
    FaderFields f = loadFields(w);
    FaderModel(f, c.vertical).wheel(delta, GetKeyState(VK_CONTROL) < 0);
    storeFields(w, f);
    InvalidateRect(w, nullptr, FALSE);
    notifyParent(w, c, kThumbScroll);
    // A burst of notches ends with one end-scroll, half a second after the last.
    KillTimer(w, kEndScrollTimer);
    SetTimer(w, kEndScrollTimer, 500, nullptr);
}

LRESULT faderProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam, FaderClass& c) {
    try {
        if (message == wheelRollMessage() && message != 0) {
            wheel(w, c, static_cast<int>(wParam));
            return -1;
        }
        const int along = c.vertical ? short(HIWORD(lParam)) : short(LOWORD(lParam));
        const int across = c.vertical ? short(LOWORD(lParam)) : short(HIWORD(lParam));
        switch (message) {
            case WM_CREATE:
                storeFields(w, FaderFields{});
                return 0;
            case WM_PAINT:
                paint(w, c);
                return 0;
            case WM_GETDLGCODE:
                return DLGC_WANTARROWS;
            case WM_KEYDOWN:
                if (wParam == VK_UP || wParam == VK_DOWN) {
                    wheel(w, c, wParam == VK_UP ? 120 : -120);
                    return 0;
                }
                break;
            case WM_MOUSEWHEEL:
                wheel(w, c, short(HIWORD(wParam)));
                return -1;
            case WM_LBUTTONDOWN: {
                FaderFields f = loadFields(w);
                const FaderPress press = FaderModel(f, c.vertical).press(c.drag, axisOf(w, c), along, across);
                if (press == FaderPress::Outside)
                    return SendMessageA(GetParent(w), message, wParam, lParam);
                if (press == FaderPress::Groove) {
                    storeFields(w, f);
                    InvalidateRect(w, nullptr, FALSE);
                }
                SetFocus(w);
                SetCapture(w);
                return 0;
            }
            case WM_MOUSEMOVE:
            case WM_LBUTTONUP: {
                if (GetCapture() != w) return 0;
                KillTimer(w, kEndScrollTimer);
                const bool release = message == WM_LBUTTONUP;
                FaderFields f = loadFields(w);
                const bool notify = FaderModel(f, c.vertical)
                                        .drag(c.drag, axisOf(w, c), along, GetKeyState(VK_CONTROL) < 0,
                                              release, GetKeyState(VK_MENU) < 0);
                if (notify) {
                    storeFields(w, f);
                    notifyParent(w, c, release ? kEndScroll : kThumbScroll);
                    InvalidateRect(w, nullptr, FALSE);
                }
                if (release) ReleaseCapture();
                return 0;
            }
            case WM_LBUTTONDBLCLK: {
                if (GetCapture() == w) ReleaseCapture();
                FaderFields f = loadFields(w);
                FaderModel(f, c.vertical).resetToDefault();
                storeFields(w, f);
                notifyParent(w, c, kEndScroll);
                InvalidateRect(w, nullptr, FALSE);
                return 0;
            }
            case WM_RBUTTONUP:
                SendMessageA(GetParent(w), WM_COMMAND, GetDlgCtrlID(w), 0);
                return 0;
            case WM_TIMER:
                if (wParam != kEndScrollTimer) break;
                KillTimer(w, kEndScrollTimer);
                notifyParent(w, c, kEndScroll);
                return 0;
            case kFaderGetPosition: {
                FaderFields f = loadFields(w);
                return FaderModel(f, c.vertical).value();
            }
            case kFaderSetDefault:
                SetWindowLongPtrA(w, kDefaultOffset, static_cast<int>(lParam));
                return 0;
            case kFaderSetPosition: {
                if (GetCapture() == w) return 0;
                FaderFields f = loadFields(w);
                if (FaderModel(f, c.vertical).setValue(static_cast<int>(lParam))) {
                    storeFields(w, f);
                    InvalidateRect(w, nullptr, FALSE);
                }
                return 0;
            }
            case kFaderSetRange:
                SetWindowLongPtrA(w, kRangeOffset, static_cast<int>(lParam));
                return 0;
            case kFaderSetLevels:
                if (!c.vertical) break;
                SetWindowLongPtrA(w, kLevelsOffset, static_cast<int>(lParam));
                InvalidateRect(w, nullptr, FALSE);
                return 0;
            default:
                break;
        }
        return DefWindowProcA(w, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

}  // namespace

LRESULT CALLBACK verticalFaderProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    return faderProc(w, message, wParam, lParam, verticalClass);
}

LRESULT CALLBACK horizontalFaderProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    return faderProc(w, message, wParam, lParam, horizontalClass);
}

}  // namespace larkwire
