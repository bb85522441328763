// Copy and paste through the X selections. The fields hold Latin-1 bytes;
// other programs exchange UTF-8, so text is converted on the way in and out
// and characters Latin-1 lacks are dropped. [ui thread]
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <string_view>

namespace larkwire {

std::string latin1FromUtf8(std::string_view utf8);
std::string utf8FromLatin1(std::string_view latin1);

class Clipboard {
public:
    void attach(Display* display, Window window);

    // Asks the owner of CLIPBOARD (or PRIMARY) for its text; it arrives as
    // a SelectionNotify event, handed to receive().
    void requestPaste(bool primary, Time time);
    // True with the pasted text when the event completes a paste.
    bool receive(const XSelectionEvent& event, std::string* text);

    // Takes CLIPBOARD with this text.
    void offer(std::string text, Time time);
    void answer(const XSelectionRequestEvent& request);
    void lost() { offered_.clear(); }

private:
    Display* display_ = nullptr;
    Window window_ = 0;
    Atom clipboard_ = 0, utf8_ = 0, targets_ = 0, property_ = 0;
    std::string offered_;
};

}  // namespace larkwire
