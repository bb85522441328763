// How the editor's controls look: the plain, flat dialog look of the
// desktop the other builds run on, drawn into a back buffer and copied to
// the window in one request, so nothing flickers. [ui]
#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>

#include "editor/editor_ids.h"
#include "editor/x11/editor_window.h"

namespace larkwire {

namespace {

constexpr Rgb kFace{240, 240, 240};
constexpr Rgb kText{0, 0, 0};
constexpr Rgb kGreyText{109, 109, 109};
constexpr Rgb kWindow{255, 255, 255};
constexpr Rgb kBorder{122, 122, 122};
constexpr Rgb kDisabledBorder{204, 204, 204};
constexpr Rgb kHighlight{51, 153, 255};
constexpr Rgb kHighlightText{255, 255, 255};

int scaled(double scale, int pixels) { return std::max(1, int(std::lround(pixels * scale))); }

}  // namespace

void EditorWindow::paint() {
    if (windowGone_ || back_.pixmap() == 0) return;
    if (dirty_) {
        back_.fill({0, 0, width_, height_}, kFace);
        std::size_t count = 0;
        const DialogControl* controls = dialogControls(&count);
        for (std::size_t i = 0; i < count; ++i) paintControl(controls[i]);
        copyToWindow({0, 0, width_, height_});
        dirty_ = meterDirty_ = caretDirty_ = false;
        return;
    }
    if (meterDirty_) {
        paintMeter();
        copyToWindow(rectOf(IDC_LEVEL_METER));
        meterDirty_ = false;
    }
    if (caretDirty_) {
        if (const DialogControl* c = control(focus_)) {
            paintControl(*c);
            copyToWindow(rectOf(focus_));
        }
        caretDirty_ = false;
    }
}

void EditorWindow::copyToWindow(PixelRect r) {
    if (windowGone_ || back_.pixmap() == 0) return;
    XCopyArea(display_, back_.pixmap(), window_, back_.gc(), r.x, r.y, unsigned(r.width), unsigned(r.height), r.x,
              r.y);
}

void EditorWindow::paintMeter() { meter_.paint(surface_, window_, back_, rectOf(IDC_LEVEL_METER)); }

void EditorWindow::paintControl(const DialogControl& c) {
    const bool enabled = c.id <= 0 || enabledControl(c.id);
    const Rgb ink = enabled ? kText : kGreyText;
    const PixelRect r = c.id > 0 ? rectOf(c.id) : toPixels(c, metrics_.baseX, metrics_.baseY);
    // Texts may run a little past their boxes: this desktop's fonts are
    // wider than the one the layout was made for, and the gaps allow it.
    const PixelRect dialog{0, 0, width_, height_};
    switch (c.kind) {
        case ControlKind::label:
            back_.textAt(font_, c.text, r.x, r.y, dialog, ink);
            break;
        case ControlKind::rightLabel: {
            const std::string& text = c.id == IDC_CHANNELS_LABEL ? channelsLabel_ : std::string(c.text);
            back_.textAt(font_, text, r.x + r.width - textWidth(display_, font_, text), r.y, dialog, ink);
            break;
        }
        case ControlKind::centredLabel:
            back_.textAt(font_, c.text, r.x + (r.width - textWidth(display_, font_, c.text)) / 2, r.y, dialog, ink);
            break;
        case ControlKind::edit:
            paintField(*fieldOf(c.id), r, enabled);
            break;
        case ControlKind::comboBox:
            paintCombo(r, enabled);
            break;
        case ControlKind::checkBox:
        case ControlKind::radioButton:
            paintCheck(c, enabled);
            break;
        case ControlKind::meter:
            paintMeter();
            break;
    }
}

void EditorWindow::paintField(const Field& field, PixelRect r, bool enabled) {
    back_.fill(r, enabled ? kWindow : kFace);
    back_.frame(r, enabled ? kBorder : kDisabledBorder);
    const PixelRect area = textArea(field.id);
    const std::string_view text(field.model.text());
    const bool focused = focus_ == field.id && haveXFocus_ && enabled;
    const int y = area.y + (area.height - (font_->ascent + font_->descent)) / 2;
    const int x = area.x - field.scroll;
    back_.textAt(font_, text, x, y, area, enabled ? kText : kGreyText);
    if (!focused) return;
    const TextEditModel& m = field.model;
    if (m.hasSelection()) {
        const int from = x + textWidth(display_, font_, text.substr(0, m.selectionStart()));
        const int to = x + textWidth(display_, font_, text.substr(0, m.selectionEnd()));
        const int left = std::max(from, area.x), right = std::min(to, area.x + area.width);
        const PixelRect band{left, area.y, right - left, area.height};
        back_.fill(band, kHighlight);
        back_.textAt(font_, text, x, y, band, kHighlightText);
    }
    const int caretX = x + textWidth(display_, font_, text.substr(0, m.caret()));
    if (caretShown_ && caretX >= area.x - 1 && caretX <= area.x + area.width)
        back_.fill({caretX, area.y, scaled(metrics_.scale, 1), area.height}, kText);
}

void EditorWindow::paintCombo(PixelRect r, bool enabled) {
    paintField(destination_, r, enabled);
    const int button = scaled(metrics_.scale, 17);
    const PixelRect b{r.x + r.width - button - 1, r.y + 1, button, r.height - 2};
    back_.fill(b, listWindow_ != 0 ? Rgb{204, 228, 247} : Rgb{225, 225, 225});
    back_.line(b.x, b.y, b.x, b.y + b.height - 1, enabled ? kBorder : kDisabledBorder);
    // The arrow: a small triangle pointing down.
    const int half = scaled(metrics_.scale, 4);
    const int cx = b.x + b.width / 2, cy = b.y + b.height / 2 - half / 2;
    for (int i = 0; i < half; ++i)
        back_.fill({cx - half + i + 1, cy + i, 2 * (half - i) - 1, 1}, enabled ? kText : kGreyText);
}

void EditorWindow::paintCheck(const DialogControl& c, bool enabled) {
    const PixelRect r = rectOf(c.id);
    const int box = scaled(metrics_.scale, 13);
    const PixelRect b{r.x, r.y + (r.height - box) / 2, box, box};
    const bool radio = c.kind == ControlKind::radioButton;
    const bool checked = radio ? (c.id == IDC_SEND) == sendChecked_ : enabledChecked_;
    XSetForeground(display_, back_.gc(), surface_.pixelOf(kWindow));
    if (radio) {
        XFillArc(display_, back_.pixmap(), back_.gc(), b.x, b.y, unsigned(box - 1), unsigned(box - 1), 0, 360 * 64);
        XSetForeground(display_, back_.gc(), surface_.pixelOf(kBorder));
        XDrawArc(display_, back_.pixmap(), back_.gc(), b.x, b.y, unsigned(box - 1), unsigned(box - 1), 0, 360 * 64);
        if (checked) {
            const int dot = std::max(3, box / 2 - 1);
            XSetForeground(display_, back_.gc(), surface_.pixelOf(kText));
            const int at = (box - 1 - dot) / 2;
            XFillArc(display_, back_.pixmap(), back_.gc(), b.x + at, b.y + at, unsigned(dot), unsigned(dot), 0,
                     360 * 64);
        }
    } else {
        back_.fill(b, kWindow);
        back_.frame(b, kBorder);
        if (checked) {
            // A tick: a short stroke down, then a long one up, a few pixels thick.
            const int t = scaled(metrics_.scale, 1);
            const int x0 = b.x + box * 3 / 13, y0 = b.y + box * 6 / 13;
            const int x1 = b.x + box * 5 / 13, y1 = b.y + box * 8 / 13;
            const int x2 = b.x + box * 10 / 13, y2 = b.y + box * 3 / 13;
            XSetForeground(display_, back_.gc(), surface_.pixelOf(kText));
            XSetLineAttributes(display_, back_.gc(), unsigned(2 * t), LineSolid, CapButt, JoinMiter);
            XPoint points[] = {{short(x0), short(y0)}, {short(x1), short(y1)}, {short(x2), short(y2)}};
            XDrawLines(display_, back_.pixmap(), back_.gc(), points, 3, CoordModeOrigin);
            XSetLineAttributes(display_, back_.gc(), 0, LineSolid, CapButt, JoinMiter);
        }
    }
    const int textX = r.x + box + scaled(metrics_.scale, 4);
    const PixelRect textRect{textX, r.y, r.x + r.width - textX, r.height};
    back_.text(font_, c.text, {textRect.x, textRect.y - 1, textRect.width + 2, textRect.height + 2},
               enabled ? kText : kGreyText, TextAlign::left);
    if (focus_ == c.id && haveXFocus_) {
        // The focus mark: a dotted frame around the text.
        const int w = std::min(textWidth(display_, font_, c.text) + 2, textRect.width);
        XSetForeground(display_, back_.gc(), surface_.pixelOf(kText));
        XSetLineAttributes(display_, back_.gc(), 0, LineOnOffDash, CapButt, JoinMiter);
        XDrawRectangle(display_, back_.pixmap(), back_.gc(), textX - 1, r.y, unsigned(w), unsigned(r.height - 1));
        XSetLineAttributes(display_, back_.gc(), 0, LineSolid, CapButt, JoinMiter);
    }
}

void EditorWindow::paintList() {
    if (listWindow_ == 0 || listCanvas_.pixmap() == 0) return;
    const int w = listCanvas_.width(), h = listCanvas_.height();
    const int itemHeight = listItemHeight();
    listCanvas_.fill({0, 0, w, h}, kWindow);
    listCanvas_.frame({0, 0, w, h}, Rgb{100, 100, 100});
    const int visible = listVisibleItems();
    for (int i = 0; i < visible && listTop_ + i < int(listItems_.size()); ++i) {
        const int index = listTop_ + i;
        const PixelRect row{1, 1 + i * itemHeight, w - 2, itemHeight};
        const bool hot = index == listHot_;
        if (hot) listCanvas_.fill(row, kHighlight);
        listCanvas_.text(font_, listItems_[std::size_t(index)], {row.x + 2, row.y, row.width - 4, row.height},
                         hot ? kHighlightText : kText, TextAlign::left);
    }
    if (int(listItems_.size()) > visible) {
        // Where the shown rows lie in the whole list, as a thin bar at the right.
        const int track = h - 2, bar = std::max(4, track * visible / int(listItems_.size()));
        const int top = 1 + (track - bar) * listTop_ / std::max(1, int(listItems_.size()) - visible);
        listCanvas_.fill({w - 1 - scaled(metrics_.scale, 4), top, scaled(metrics_.scale, 4), bar}, Rgb{160, 160, 160});
    }
    XCopyArea(display_, listCanvas_.pixmap(), listWindow_, listCanvas_.gc(), 0, 0, unsigned(w), unsigned(h), 0, 0);
}

}  // namespace larkwire
