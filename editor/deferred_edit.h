// Edits the editor applies later than the keystroke, and how it tells the
// host about any edit. No window types: every editor shares these rules.
#pragma once

namespace larkwire {

struct StreamEffect;

// The destination waits until the user pauses, so a half-typed address is
// never streamed to; but it is applied at the latest when the field loses
// focus or the editor closes, so the last edit is never lost. [ui]
class DeferredDestination {
public:
    // The user typed or chose a destination.
    void edited() { pending_ = true; }
    // The field was reloaded from the instance; nothing of the user's is left.
    void discard() { pending_ = false; }
    bool pending() const { return pending_; }
    // Writes text into the instance when an edit is pending. True when it
    // did, so the caller tells the host.
    bool apply(StreamEffect& instance, const char* text);

private:
    bool pending_ = false;
};

// [ui] Tells the host that a setting changed that is not a parameter, so it
// marks the project changed. Never names a parameter index.
void notifyHostOfEdit(StreamEffect& instance);

}  // namespace larkwire
