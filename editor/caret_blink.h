// When a text field's caret is drawn: it blinks as the desktop the product
// first ran on blinks it, shown at once whenever it moves or the field takes
// the focus, then off and on every half period. No clock of its own: the
// editor hands in the time, so the rule is tested without waiting. [ui]
#pragma once

#include <cstdint>

namespace larkwire {

class CaretBlink {
public:
    static constexpr std::int64_t kHalfPeriodMs = 530;

    // The caret moved, or its field took the focus: shown from now on.
    void restart(std::int64_t nowMs) { since_ = nowMs; }
    bool visible(std::int64_t nowMs) const {
        return nowMs < since_ || ((nowMs - since_) / kHalfPeriodMs) % 2 == 0;
    }

private:
    std::int64_t since_ = 0;
};

}  // namespace larkwire
