#include "editor/x11/x11_error_trap.h"

#include <atomic>

namespace larkwire {

namespace {

constexpr int kSlots = 64;

// Read by the handler on whatever thread an error arrives, so lock-free.
std::atomic<Display*> trapped[kSlots];
std::atomic<int> errorCounts[kSlots];
XErrorHandler previousHandler = nullptr;
int trappedCount = 0;  // under the editor lock

int slotOf(Display* display) {
    for (int i = 0; i < kSlots; ++i)
        if (trapped[i].load() == display) return i;
    return -1;
}

int onError(Display* display, XErrorEvent* error) {
    const int slot = slotOf(display);
    if (slot >= 0) {
        errorCounts[slot].fetch_add(1);
        return 0;
    }
    return previousHandler != nullptr ? previousHandler(display, error) : 0;
}

}  // namespace

void trapErrorsOf(Display* display) {
    for (int i = 0; i < kSlots; ++i) {
        Display* expected = nullptr;
        if (trapped[i].compare_exchange_strong(expected, display)) {
            errorCounts[i].store(0);
            break;
        }
    }
    if (trappedCount++ == 0) previousHandler = XSetErrorHandler(onError);
}

void untrapErrorsOf(Display* display) {
    const int slot = slotOf(display);
    if (slot < 0) return;
    trapped[slot].store(nullptr);
    if (--trappedCount > 0) return;
    // Put the replaced handler back only if nobody installed another since.
    XErrorHandler current = XSetErrorHandler(previousHandler);
    if (current != onError) XSetErrorHandler(current);
    previousHandler = nullptr;
}

int trappedErrorCount(Display* display) {
    const int slot = slotOf(display);
    return slot >= 0 ? errorCounts[slot].load() : 0;
}

}  // namespace larkwire
