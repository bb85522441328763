// The editor as an X11 child of the host's window: the controls of the
// dialog template, drawn and driven here, bound to one instance. It keeps no
// settings of its own; every value lives in the instance and every edit is
// written straight back. [ui: the host's thread or the editor's fallback
// thread, always under the editor lock]
#pragma once

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "editor/caret_blink.h"
#include "editor/dialog_layout.h"
#include "editor/text_edit_model.h"
#include "editor/x11/clipboard.h"
#include "editor/x11/level_meter.h"
#include "editor/x11/x11_canvas.h"

namespace larkwire {

struct StreamEffect;

// The size the editor takes on a display whose DPI it reads.
struct EditorMetrics {
    double dpi = 96;
    double scale = 1;  // dpi / 96
    int fontPixels = 11;
    int baseX = 0, baseY = 0;
};

class EditorWindow {
public:
    EditorWindow() = default;
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;
    ~EditorWindow() { close(); }

    // Opens its own connection and creates the editor in parent; false
    // (with nothing left behind) when the display or the window fails.
    bool open(StreamEffect& instance, Window parent);
    // Applies a pending destination, then destroys the window and the connection.
    void close();
    bool isOpen() const { return display_ != nullptr; }

    // Handles the queued events and the due timers, then repaints.
    void pump();
    // Whether a user edit asked for the host to be told since the last call.
    bool takeHostNotification();
    int connectionNumber() const;
    int width() const { return width_; }
    int height() const { return height_; }
    int xErrors() const { return errors_; }

private:
    struct Field {
        int id;
        TextEditModel model;
        int scroll = 0;  // pixels of text scrolled out at the left
    };

    // Settings in and out.
    void refresh();
    void applySendRule();
    void userEdited();
    void applyDestination();
    void destinationEdited();
    void destinationLostFocus();
    void fieldChanged(Field& field);
    void clickButton(int id);

    // Controls.
    const DialogControl* control(int id) const;
    PixelRect rectOf(int id) const;
    PixelRect textArea(int id) const;
    Field* fieldOf(int id);
    bool enabledControl(int id) const;
    bool focusable(int id) const;
    void setFocus(int id);
    void moveFocus(bool backwards);
    int controlAt(int x, int y) const;
    std::size_t caretFromX(Field& field, int x) const;
    void keepCaretVisible(Field& field);
    void restartCaretBlink();

    // The destination's list.
    void addListItem(const char* text);
    void stepListSelection(int step);
    void openList();
    void closeList();
    void chooseListItem(int index);
    int listItemHeight() const { return metrics_.baseY + 2; }
    int listVisibleItems() const;
    void paintList();
    void handleListEvent(const XEvent& event);

    // Events.
    void handle(const XEvent& event);
    void buttonPress(const XButtonEvent& event);
    void buttonRelease(const XButtonEvent& event);
    void motion(const XMotionEvent& event);
    void keyPress(XKeyEvent& event);
    bool editKey(Field& field, unsigned long keysym, unsigned state, const char* typed, int typedLength, Time time);
    void pasteInto(int id, const std::string& text);

    // Painting.
    void paint();
    void paintControl(const DialogControl& c);
    void paintField(const Field& field, PixelRect r, bool enabled);
    void paintCheck(const DialogControl& c, bool enabled);
    void paintCombo(PixelRect r, bool enabled);
    void paintMeter();
    void copyToWindow(PixelRect r);

    StreamEffect* instance_ = nullptr;
    Display* display_ = nullptr;
    Window window_ = 0;
    X11Surface surface_;
    X11Canvas back_;
    XftFont* font_ = nullptr;
    XftFont* meterFont_ = nullptr;
    EditorMetrics metrics_;
    int width_ = 0, height_ = 0;
    Clipboard clipboard_;
    LevelMeter meter_;

    Field identifier_{1027, TextEditModel(511, false)};
    Field destination_{1015, TextEditModel(511, false)};
    Field channels_{1028, TextEditModel(511, true)};
    std::string channelsLabel_;
    bool enabledChecked_ = false;
    bool sendChecked_ = false;
    bool sendControlsOn_ = false;
    int focus_ = 0;  // control id; 0 while none has the focus
    bool haveXFocus_ = false;
    int pressed_ = 0;   // button control under a pressed mouse button
    bool selecting_ = false;
    int pasteTarget_ = 0;
    Time lastClickTime_ = 0;
    int lastClickX_ = -100;

    std::vector<std::string> listItems_;  // sorted ignoring case
    int listSelection_ = -1;
    Window listWindow_ = 0;
    X11Canvas listCanvas_;
    int listTop_ = 0, listHot_ = -1;
    bool listGrabbed_ = false;

    std::int64_t nextMeterTick_ = 0, nextChangedPoll_ = 0, destinationDue_ = 0;
    bool dirty_ = true, meterDirty_ = false;
    CaretBlink caretBlink_;
    bool caretShown_ = true, caretDirty_ = false;
    bool notifyHost_ = false;
    bool windowGone_ = false;
    int errors_ = 0;
};

// [ui] The size an editor opened now would take, from a short connection of
// its own; false when no display can be opened.
bool measureEditor(int* width, int* height);

}  // namespace larkwire
