// The fader's behaviour without the window: its fields, hit-testing, drag,
// wheel and clamping. One model serves both orientations; "along" is the axis
// the thumb moves on (x for the horizontal fader, y for the vertical one).
#pragma once

#include <cstdint>

namespace larkwire {

constexpr int kFaderDefaultRangePacked = 1000 << 16;  // 0..1000
constexpr int kFaderUseZeroDb = -1;

// The window's fields, as kept in its extra bytes.
struct FaderFields {
    int styleFlags = 0;  // bit 0: no groove colour query; bit 1: no default line
    int stored = 0;      // vertical faders store minimum + maximum - value
    int defaultPosition = kFaderUseZeroDb;
    int levelPair = 0;   // vertical only: left in the low 16 bits, right in the high
    int range = kFaderDefaultRangePacked;  // minimum low 16 bits, maximum high 16 bits
};

struct FaderRange {
    int minimum;
    int maximum;  // always above minimum
    int span() const { return maximum - minimum; }
    int clamp(int value) const;
};

FaderRange faderRange(const FaderFields& fields);

// Client size and thumb size, measured along and across the thumb's travel.
struct FaderAxis {
    int length;
    int across;
    int thumbAlong;
    int thumbAcross;
    int travel() const { return length != thumbAlong ? length - thumbAlong : 1; }
};

// One set per fader class: only one window can hold the mouse.
struct FaderDrag {
    int grab = 0;
    int startStored = 0;
    int last = 0;
};

enum class FaderPress { Thumb, Groove, Outside };

class FaderModel {
public:
    FaderModel(FaderFields& fields, bool vertical) : f_(fields), vertical_(vertical) {}

    int value() const;                // what message 1024 reports
    bool setValue(int value);         // message 1029; true when it changed
    int defaultValue() const;         // the 0 dB point when none was set
    void resetToDefault();            // double-click
    // Wheel or arrow key; delta positive away from the user.
    void wheel(int delta, bool fine);

    int thumbStart(const FaderAxis& axis) const;
    int defaultLine(const FaderAxis& axis) const;
    FaderPress press(FaderDrag& drag, const FaderAxis& axis, int along, int across);
    // Mouse move (release false) or button up; true when the parent is told.
    bool drag(FaderDrag& drag, const FaderAxis& axis, int along, bool fine, bool release,
              bool cancel);

private:
    int mirror(int value) const;
    FaderFields& f_;
    bool vertical_;
};

// Top row of a vertical fader's level bar for a level on the 0..1000 scale.
int faderLevelTop(int level, int height, int thumbHeight);

}  // namespace larkwire
