#include "editor/x11/clipboard.h"

#include <X11/Xatom.h>

namespace larkwire {

std::string latin1FromUtf8(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out.push_back(char(c));
            ++i;
            continue;
        }
        int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (length == 2 && i + 1 < utf8.size()) {
            const unsigned code = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            if (code >= 0xA0 && code <= 0xFF) out.push_back(char(code));
        }
        i += static_cast<std::size_t>(length);
    }
    return out;
}

std::string utf8FromLatin1(std::string_view latin1) {
    std::string out;
    for (char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

void Clipboard::attach(Display* display, Window window) {
    display_ = display;
    window_ = window;
    clipboard_ = XInternAtom(display, "CLIPBOARD", False);
    utf8_ = XInternAtom(display, "UTF8_STRING", False);
    targets_ = XInternAtom(display, "TARGETS", False);
    property_ = XInternAtom(display, "LARKWIRE_PASTE", False);
}

void Clipboard::requestPaste(bool primary, Time time) {
    XConvertSelection(display_, primary ? XA_PRIMARY : clipboard_, utf8_, property_, window_, time);
}

bool Clipboard::receive(const XSelectionEvent& event, std::string* text) {
    if (event.requestor != window_) return false;
    if (event.property == None) {
        // No UTF-8 from this owner: ask once more for plain Latin-1.
        if (event.target == utf8_)
            XConvertSelection(display_, event.selection, XA_STRING, property_, window_, event.time);
        return false;
    }
    Atom type = None;
    int format = 0;
    unsigned long items = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window_, event.property, 0, 4096, True, AnyPropertyType, &type, &format,
                           &items, &remaining, &data) != Success)
        return false;
    bool got = false;
    if (data != nullptr && format == 8 && (type == utf8_ || type == XA_STRING)) {
        const std::string_view raw(reinterpret_cast<const char*>(data), items);
        *text = type == utf8_ ? latin1FromUtf8(raw) : std::string(raw);
        got = true;
    }
    if (data != nullptr) XFree(data);
    return got;
}

void Clipboard::offer(std::string text, Time time) {
    offered_ = std::move(text);
    XSetSelectionOwner(display_, clipboard_, window_, time);
}

void Clipboard::answer(const XSelectionRequestEvent& request) {
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = request.display;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    // Old clients name no property: the target then serves as one.
    const Atom property = request.property != None ? request.property : request.target;
    reply.property = None;
    if (request.selection == clipboard_) {
        if (request.target == targets_) {
            const Atom offered[] = {targets_, utf8_, XA_STRING};
            XChangeProperty(display_, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(offered), 3);
            reply.property = property;
        } else if (request.target == utf8_ || request.target == XA_STRING) {
            const std::string data = request.target == utf8_ ? utf8FromLatin1(offered_) : offered_;
            XChangeProperty(display_, request.requestor, property, request.target, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
            reply.property = property;
        }
    }
    XSendEvent(display_, request.requestor, False, 0, reinterpret_cast<XEvent*>(&reply));
}

}  // namespace larkwire
