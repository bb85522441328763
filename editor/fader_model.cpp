#include "editor/fader_model.h"

#include <algorithm>
#include <cstdlib>

#include "editor/value_format.h"

namespace larkwire {

int FaderRange::clamp(int value) const { return std::clamp(value, minimum, maximum); }

FaderRange faderRange(const FaderFields& fields) {
    const int minimum = static_cast<std::int16_t>(fields.range & 0xFFFF);
    int maximum = static_cast<std::int16_t>((fields.range >> 16) & 0xFFFF);
    if (maximum <= minimum) maximum = minimum + 1;
    return {minimum, maximum};
}

int FaderModel::mirror(int value) const {
    if (!vertical_) return value;
    const FaderRange r = faderRange(f_);
    return r.minimum + r.maximum - value;
}

int FaderModel::value() const { return mirror(f_.stored); }

bool FaderModel::setValue(int value) {
    const int stored = mirror(faderRange(f_).clamp(value));
    if (stored == f_.stored) return false;
    f_.stored = stored;
    return true;
}

int FaderModel::defaultValue() const {
    return f_.defaultPosition < 0 ? faderZeroDbPosition() : f_.defaultPosition;
}

void FaderModel::resetToDefault() { f_.stored = mirror(defaultValue()); }

void FaderModel::wheel(int delta, bool fine) {
    const FaderRange r = faderRange(f_);
    int step = static_cast<int>(static_cast<long long>(r.span()) * (fine ? delta : 16 * delta) / 120000);
    if (step == 0 && delta != 0) step = delta < 0 ? -1 : 1;
    // Away from the user raises the value; the vertical fader stores it mirrored.
    f_.stored = r.clamp(vertical_ ? f_.stored - step : f_.stored + step);
}

int FaderModel::thumbStart(const FaderAxis& axis) const {
    const FaderRange r = faderRange(f_);
    return (axis.length - axis.thumbAlong) * (f_.stored - r.minimum) / r.span();
}

int FaderModel::defaultLine(const FaderAxis& axis) const {
    const FaderRange r = faderRange(f_);
    return axis.thumbAlong / 2 +
           (axis.length - axis.thumbAlong) * (mirror(defaultValue()) - r.minimum) / r.span();
}

FaderPress FaderModel::press(FaderDrag& drag, const FaderAxis& axis, int along, int across) {
    const FaderRange r = faderRange(f_);
    drag.grab = along - thumbStart(axis);
    drag.startStored = f_.stored;
    drag.last = along;
    if (drag.grab >= 0 && drag.grab < axis.thumbAlong) return FaderPress::Thumb;
    const bool onGrooveAcross = std::abs(across - axis.across / 2) <= 2;
    const bool onGrooveAlong =
        along >= axis.thumbAlong / 3 && along <= axis.length - axis.thumbAlong / 3;
    if (!onGrooveAcross || !onGrooveAlong) return FaderPress::Outside;
    // Jump so that the thumb's centre lies under the mouse.
    drag.grab = axis.thumbAlong / 2;
    f_.stored = r.clamp(r.minimum + (along - axis.thumbAlong / 2) * r.span() / axis.travel());
    return FaderPress::Groove;
}

bool FaderModel::drag(FaderDrag& drag, const FaderAxis& axis, int along, bool fine, bool release,
                      bool cancel) {
    const FaderRange r = faderRange(f_);
    int next = fine ? f_.stored + (along - drag.last)
                    : r.minimum + (along - drag.grab) * r.span() / axis.travel();
    next = r.clamp(next);
    bool notify = false;
    if (next != f_.stored || release) {
        if (along == drag.last) next = f_.stored;
        if (release && cancel) next = drag.startStored;
        f_.stored = next;
        notify = true;
    }
    drag.last = along;
    return notify;
}

int faderLevelTop(int level, int height, int thumbHeight) {
    return thumbHeight / 2 + (height - thumbHeight) * (1000 - level) / 1000;
}

}  // namespace larkwire
