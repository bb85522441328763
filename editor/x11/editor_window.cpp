#include "editor/x11/editor_window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "editor/editor_ids.h"
#include "editor/field_edits.h"
#include "editor/meter_tick.h"
#include "editor/recent_destinations.h"
#include "editor/x11/x11_error_trap.h"
#include "shell/instance_settings.h"
#include "shell/module_state.h"
#include "shell/stream_effect.h"

namespace larkwire {

namespace {

constexpr int kMeterTickMs = 33;
constexpr int kChangedPollMs = 200;
constexpr int kDestinationPauseMs = 1000;
constexpr int kDoubleClickMs = 400;

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The desktop's DPI as the font library reads it (the Xft.dpi resource), 96
// when it is not set.
double displayDpi(Display* display) {
    const char* value = XGetDefault(display, "Xft", "dpi");
    const double dpi = value != nullptr ? std::atof(value) : 0.0;
    return dpi >= 48 && dpi <= 480 ? dpi : 96.0;
}

XftFont* openFont(Display* display, const char* family, double pixels, bool bold) {
    return XftFontOpen(display, DefaultScreen(display), XFT_FAMILY, XftTypeString, family, XFT_PIXEL_SIZE,
                       XftTypeDouble, pixels, XFT_WEIGHT, XftTypeInteger,
                       bold ? XFT_WEIGHT_BOLD : XFT_WEIGHT_MEDIUM, nullptr);
}

// The dialog font (8 points) and the base units it gives.
EditorMetrics metricsOf(Display* display, XftFont** font) {
    EditorMetrics m;
    m.dpi = displayDpi(display);
    m.scale = m.dpi / 96.0;
    m.fontPixels = static_cast<int>(std::lround(8.0 * m.dpi / 72.0));
    *font = openFont(display, "Sans", m.fontPixels, false);
    if (*font == nullptr) return m;
    m.baseX = baseUnitX(textWidth(display, *font, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m.baseY = (*font)->ascent + (*font)->descent;
    return m;
}

// A connection of the editor's own. Xft keeps closed fonts cached for reuse;
// fonts still cached when the connection closes leave stale state behind,
// and a later connection that gets the same address sends requests with
// garbage opcodes. So on this connection a closed font is freed at once.
Display* openEditorDisplay() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return nullptr;
    if (FcPattern* defaults = FcPatternCreate()) {
        FcPatternAddInteger(defaults, XFT_MAX_UNREF_FONTS, 0);
        XftDefaultSet(display, defaults);  // takes the pattern
    }
    return display;
}

bool lessIgnoringCase(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; }

}  // namespace

bool measureEditor(int* width, int* height) {
    Display* display = openEditorDisplay();
    if (display == nullptr) return false;
    XftFont* font = nullptr;
    const EditorMetrics m = metricsOf(display, &font);
    if (font != nullptr) XftFontClose(display, font);
    XCloseDisplay(display);
    if (m.baseX <= 0) return false;
    const PixelRect r = toPixels(0, 0, kDialogWidthUnits, kDialogHeightUnits, m.baseX, m.baseY);
    *width = r.width;
    *height = r.height;
    return true;
}

// ---- opening and closing ----

bool EditorWindow::open(StreamEffect& instance, Window parent) {
    close();
    display_ = openEditorDisplay();
    if (display_ == nullptr) return false;
    trapErrorsOf(display_);
    instance_ = &instance;
    XWindowAttributes parentAttributes;
    metrics_ = metricsOf(display_, &font_);
    if (parent == 0 || !XGetWindowAttributes(display_, parent, &parentAttributes) || font_ == nullptr ||
        metrics_.baseX <= 0) {
        close();
        return false;
    }
    meterFont_ = openFont(display_, "Arial", 10.4 * metrics_.scale, true);
    meter_.setFont(meterFont_ != nullptr ? meterFont_ : font_, metrics_.scale);
    const PixelRect size = toPixels(0, 0, kDialogWidthUnits, kDialogHeightUnits, metrics_.baseX, metrics_.baseY);
    width_ = size.width;
    height_ = size.height;
    // The parent's visual, so a host window of any depth can hold the editor.
    surface_ = {display_, parentAttributes.visual, parentAttributes.colormap, parentAttributes.depth};
    XSetWindowAttributes attributes{};
    attributes.background_pixel = surface_.pixelOf({240, 240, 240});
    attributes.border_pixel = 0;
    attributes.colormap = parentAttributes.colormap;
    attributes.event_mask = ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                            Button1MotionMask | FocusChangeMask | StructureNotifyMask;
    window_ = XCreateWindow(display_, parent, 0, 0, unsigned(width_), unsigned(height_), 0, surface_.depth,
                            InputOutput, surface_.visual, CWBackPixel | CWBorderPixel | CWColormap | CWEventMask,
                            &attributes);
    XSync(display_, False);
    if (window_ == 0 || trappedErrorCount(display_) != 0 || !back_.create(surface_, window_, width_, height_)) {
        close();
        return false;
    }
    XStoreName(display_, window_, "Larkwire");
    clipboard_.attach(display_, window_);

    char label[64];
    std::snprintf(label, sizeof label, "Audio channels (0-%d):", int(channelCount));
    channelsLabel_ = label;
    if (recentDestinations().empty()) fillRecentDestinations();
    PtrList<char>& list = recentDestinations();
    for (std::int32_t i = 0; i < list.count(); ++i) addListItem(list.get(i));
    const std::int64_t now = nowMs();
    nextMeterTick_ = now + kMeterTickMs;
    nextChangedPoll_ = now + kChangedPollMs;
    XMapWindow(display_, window_);
    instance.changedMask.store(0xFFFFFFFFu);
    refresh();
    paint();
    XFlush(display_);
    return true;
}

void EditorWindow::close() {
    if (display_ == nullptr) return;
    // Closing takes the focus from the field, so an address being typed is kept.
    if (instance_ != nullptr && focus_ == IDC_DESTINATION) destinationLostFocus();
    else if (instance_ != nullptr && destinationDue_ != 0) applyDestination();
    closeList();
    meter_.release();
    back_.release();
    if (font_ != nullptr) XftFontClose(display_, font_);
    if (meterFont_ != nullptr) XftFontClose(display_, meterFont_);
    font_ = meterFont_ = nullptr;
    if (window_ != 0 && !windowGone_) XDestroyWindow(display_, window_);
    XSync(display_, False);
    errors_ += trappedErrorCount(display_);
    untrapErrorsOf(display_);
    XCloseDisplay(display_);
    display_ = nullptr;
    window_ = 0;
}

int EditorWindow::connectionNumber() const { return display_ != nullptr ? ConnectionNumber(display_) : -1; }

bool EditorWindow::takeHostNotification() {
    const bool notify = notifyHost_;
    notifyHost_ = false;
    return notify;
}

// ---- settings in and out ----

void EditorWindow::refresh() {
    StreamEffect& instance = *instance_;
    char identifier[kIdentifierSize];
    {
        platform::LockGuard guard(instance.stateLock);
        std::memcpy(identifier, instance.identifier, sizeof identifier);
    }
    identifier[kIdentifierSize - 1] = '\0';
    identifier_.model.setText(identifier);
    char destination[kDestinationSize];
    {
        platform::LockGuard guard(instance.destinationLock);
        std::memcpy(destination, instance.destination, sizeof destination);
    }
    destination[kDestinationSize - 1] = '\0';
    destination_.model.setText(destination);
    enabledChecked_ = instance.enabled.load() != 0;
    char text[16];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(instance.sendChannels.load()));
    channels_.model.setText(text);
    sendChecked_ = instance.sendMode != 0;
    for (Field* f : {&identifier_, &destination_, &channels_}) {
        f->scroll = 0;
        keepCaretVisible(*f);
    }
    destinationDue_ = 0;
    instance.changedMask.exchange(0);
    applySendRule();
    dirty_ = true;
}

void EditorWindow::applySendRule() {
    const bool on = instance_->sendMode != 0;
    if (on == sendControlsOn_) return;
    sendControlsOn_ = on;
    if (!on && listWindow_ != 0) closeList();
    dirty_ = true;
}

void EditorWindow::userEdited() {
    applySendRule();
    notifyHost_ = true;
    dirty_ = true;
}

void EditorWindow::applyDestination() {
    destinationDue_ = 0;
    setDestination(*instance_, destination_.model.text().c_str());
    userEdited();
}

void EditorWindow::destinationEdited() {
    // The destination changes only once the user paused for a second.
    destinationDue_ = nowMs() + kDestinationPauseMs;
    dirty_ = true;
}

void EditorWindow::destinationLostFocus() {
    // A pause not yet over would lose the address to a close or a click
    // elsewhere; leaving the field is as good as pausing.
    if (destinationDue_ != 0) applyDestination();
    const std::string& text = destination_.model.text();
    if (!text.empty() && addRecentDestination(text.c_str())) addListItem(text.c_str());
}

void EditorWindow::fieldChanged(Field& field) {
    keepCaretVisible(field);
    dirty_ = true;
    if (&field == &identifier_) {
        setIdentifier(*instance_, identifier_.model.text().c_str());
        userEdited();
    } else if (&field == &channels_) {
        if (applySendChannelsText(*instance_, channels_.model.text().c_str())) userEdited();
    } else {
        listSelection_ = -1;
        destinationEdited();
    }
}

void EditorWindow::clickButton(int id) {
    if (id == IDC_ENABLED) {
        enabledChecked_ = !enabledChecked_;
        instance_->enabled.store(enabledChecked_ ? 1 : 0);
    } else {
        sendChecked_ = id == IDC_SEND;
        setSendMode(*instance_, sendChecked_ ? 1 : 0);
    }
    userEdited();
}

// ---- controls ----

const DialogControl* EditorWindow::control(int id) const {
    std::size_t count = 0;
    const DialogControl* controls = dialogControls(&count);
    for (std::size_t i = 0; i < count; ++i)
        if (controls[i].id == id) return &controls[i];
    return nullptr;
}

PixelRect EditorWindow::rectOf(int id) const {
    const DialogControl* c = control(id);
    if (c == nullptr) return {0, 0, 0, 0};
    const int height = c->kind == ControlKind::comboBox ? kComboEditHeightUnits : c->height;
    return toPixels(c->x, c->y, c->width, height, metrics_.baseX, metrics_.baseY);
}

PixelRect EditorWindow::textArea(int id) const {
    PixelRect r = rectOf(id);
    const int inset = std::max(2, int(std::lround(3 * metrics_.scale)));
    r.x += inset;
    r.width -= 2 * inset;
    if (id == IDC_DESTINATION) r.width -= int(std::lround(17 * metrics_.scale));
    r.y += 2;
    r.height -= 4;
    return r;
}

EditorWindow::Field* EditorWindow::fieldOf(int id) {
    if (id == IDC_IDENTIFIER) return &identifier_;
    if (id == IDC_DESTINATION) return &destination_;
    if (id == IDC_SEND_CHANNELS) return &channels_;
    return nullptr;
}

bool EditorWindow::enabledControl(int id) const {
    if (id == IDC_DESTINATION || id == IDC_SEND_CHANNELS || id == IDC_CHANNELS_LABEL) return sendControlsOn_;
    return true;
}

bool EditorWindow::focusable(int id) const {
    switch (id) {
        case IDC_IDENTIFIER:
        case IDC_ENABLED:
        case IDC_RECEIVE:
        case IDC_SEND:
        case IDC_LEVEL_METER:
            return true;
        case IDC_DESTINATION:
        case IDC_SEND_CHANNELS:
            return sendControlsOn_;
        default:
            return false;
    }
}

void EditorWindow::setFocus(int id) {
    if (id == focus_) return;
    const int previous = focus_;
    focus_ = id;
    if (previous == IDC_DESTINATION) {
        closeList();
        destinationLostFocus();
    }
    // Entering a field by the keyboard selects its text, as dialogs do.
    if (Field* field = fieldOf(id)) field->model.selectAll();
    restartCaretBlink();
    dirty_ = true;
}

void EditorWindow::moveFocus(bool backwards) {
    // Tab stops in order; the radio group is one stop, its checked button.
    const int radio = sendChecked_ ? IDC_SEND : IDC_RECEIVE;
    const int order[] = {IDC_IDENTIFIER, IDC_ENABLED, radio, IDC_DESTINATION, IDC_SEND_CHANNELS, IDC_LEVEL_METER};
    const int n = int(sizeof order / sizeof order[0]);
    int at = -1;
    for (int i = 0; i < n; ++i)
        if (order[i] == focus_ || ((focus_ == IDC_RECEIVE || focus_ == IDC_SEND) && order[i] == radio)) at = i;
    for (int step = 1; step <= n; ++step) {
        const int i = ((at < 0 ? (backwards ? 0 : -1) : at) + (backwards ? -step : step) + 2 * n) % n;
        if (focusable(order[i])) {
            setFocus(order[i]);
            return;
        }
    }
}

int EditorWindow::controlAt(int x, int y) const {
    std::size_t count = 0;
    const DialogControl* controls = dialogControls(&count);
    for (std::size_t i = 0; i < count; ++i)
        if (controls[i].id > 0 && rectOf(controls[i].id).contains(x, y)) return controls[i].id;
    return 0;
}

std::size_t EditorWindow::caretFromX(Field& field, int x) const {
    const PixelRect area = textArea(field.id);
    const std::string& text = field.model.text();
    const int target = x - area.x + field.scroll;
    std::size_t best = 0;
    int bestDistance = std::abs(target);
    for (std::size_t i = 1; i <= text.size(); ++i) {
        const int distance = std::abs(textWidth(display_, font_, std::string_view(text).substr(0, i)) - target);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

void EditorWindow::keepCaretVisible(Field& field) {
    const PixelRect area = textArea(field.id);
    const std::string_view text(field.model.text());
    const int caretX = textWidth(display_, font_, text.substr(0, field.model.caret()));
    const int total = textWidth(display_, font_, text);
    if (caretX - field.scroll > area.width - 1) field.scroll = caretX - area.width + 1;
    if (caretX < field.scroll) field.scroll = caretX;
    // No empty space at the right while text lies scrolled out at the left.
    field.scroll = std::max(0, std::min(field.scroll, std::max(0, total - area.width + 1)));
    if (caretX < field.scroll) field.scroll = caretX;
    restartCaretBlink();
}

void EditorWindow::restartCaretBlink() {
    caretBlink_.restart(nowMs());
    caretShown_ = true;
}

// ---- the destination's list ----

void EditorWindow::addListItem(const char* text) {
    // The list sorts its entries; "* broadcast" sorts first.
    const std::string item(text);
    listItems_.insert(std::upper_bound(listItems_.begin(), listItems_.end(), item, lessIgnoringCase), item);
}

void EditorWindow::stepListSelection(int step) {
    if (listItems_.empty()) return;
    int at = listSelection_;
    if (at < 0) {
        for (std::size_t i = 0; i < listItems_.size(); ++i)
            if (strcasecmp(listItems_[i].c_str(), destination_.model.text().c_str()) == 0) at = int(i);
    }
    const int next = at < 0 ? 0 : std::clamp(at + step, 0, int(listItems_.size()) - 1);
    if (next == at && listSelection_ >= 0) return;
    chooseListItem(next);
}

void EditorWindow::chooseListItem(int index) {
    if (index < 0 || index >= int(listItems_.size())) return;
    listSelection_ = index;
    destination_.model.setText(listItems_[std::size_t(index)]);
    destination_.model.selectAll();
    destination_.scroll = 0;
    keepCaretVisible(destination_);
    destinationEdited();
    if (listWindow_ != 0) {
        listHot_ = index;
        if (index < listTop_) listTop_ = index;
        if (index >= listTop_ + listVisibleItems()) listTop_ = index - listVisibleItems() + 1;
        paintList();
    }
}

int EditorWindow::listVisibleItems() const {
    const PixelRect full = toPixels(0, 0, 0, 126 - kComboEditHeightUnits, metrics_.baseX, metrics_.baseY);
    const int fit = std::max(1, (full.height - 2) / listItemHeight());
    return std::min(fit, std::max(1, int(listItems_.size())));
}

void EditorWindow::openList() {
    if (listWindow_ != 0 || listItems_.empty()) return;
    const PixelRect combo = rectOf(IDC_DESTINATION);
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), combo.x, combo.y + combo.height,
                          &rootX, &rootY, &child);
    const int height = listVisibleItems() * listItemHeight() + 2;
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.save_under = True;
    attributes.background_pixel = surface_.pixelOf({255, 255, 255});
    attributes.border_pixel = 0;
    attributes.colormap = surface_.colormap;
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
    // A window of the root, so the list may reach beyond the host's window.
    listWindow_ = XCreateWindow(display_, DefaultRootWindow(display_), rootX, rootY, unsigned(combo.width),
                                unsigned(height), 0, surface_.depth, InputOutput, surface_.visual,
                                CWOverrideRedirect | CWSaveUnder | CWBackPixel | CWBorderPixel | CWColormap |
                                    CWEventMask,
                                &attributes);
    listCanvas_.create(surface_, listWindow_, combo.width, height);
    listHot_ = listSelection_;
    listTop_ = std::clamp(listSelection_, 0, std::max(0, int(listItems_.size()) - listVisibleItems()));
    XMapRaised(display_, listWindow_);
    // A click anywhere else closes the list, so the pointer is grabbed.
    listGrabbed_ = XGrabPointer(display_, listWindow_, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                                GrabModeAsync, GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
    paintList();
}

void EditorWindow::closeList() {
    if (listWindow_ == 0) return;
    if (listGrabbed_) XUngrabPointer(display_, CurrentTime);
    listGrabbed_ = false;
    listCanvas_.release();
    XDestroyWindow(display_, listWindow_);
    listWindow_ = 0;
    dirty_ = true;
}

void EditorWindow::handleListEvent(const XEvent& event) {
    const int h = listItemHeight();
    const int width = listCanvas_.width(), height = listCanvas_.height();
    switch (event.type) {
        case Expose:
            paintList();
            break;
        case MotionNotify: {
            const int x = event.xmotion.x, y = event.xmotion.y;
            if (x < 0 || y < 1 || x >= width || y >= height - 1) break;
            const int hot = std::min(listTop_ + (y - 1) / h, int(listItems_.size()) - 1);
            if (hot != listHot_) {
                listHot_ = hot;
                paintList();
            }
            break;
        }
        case ButtonPress: {
            const XButtonEvent& b = event.xbutton;
            if (b.button == Button4 || b.button == Button5) {
                const int top = std::clamp(listTop_ + (b.button == Button4 ? -1 : 1), 0,
                                           std::max(0, int(listItems_.size()) - listVisibleItems()));
                if (top != listTop_) {
                    listTop_ = top;
                    paintList();
                }
            } else if (b.x < 0 || b.y < 0 || b.x >= width || b.y >= height) {
                closeList();
            }
            break;
        }
        case ButtonRelease: {
            const XButtonEvent& b = event.xbutton;
            if (b.button != Button1 || b.x < 0 || b.y < 1 || b.x >= width || b.y >= height - 1) break;
            const int index = listTop_ + (b.y - 1) / h;
            if (index < int(listItems_.size())) {
                chooseListItem(index);
                closeList();
            }
            break;
        }
        default:
            break;
    }
}

// ---- events ----

void EditorWindow::pump() {
    if (display_ == nullptr) return;
    while (!windowGone_ && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        handle(event);
    }
    if (windowGone_) return;
    const std::int64_t now = nowMs();
    if (now >= nextMeterTick_) {
        const MeterReading reading = meterTick(instance_->peakLevels);
        meter_.setLevels(reading.left, reading.right, static_cast<std::uint32_t>(now));
        meterDirty_ = true;
        nextMeterTick_ += kMeterTickMs;
        if (nextMeterTick_ <= now) nextMeterTick_ = now + kMeterTickMs;
    }
    if (now >= nextChangedPoll_) {
        const std::uint32_t changed = instance_->changedMask.load();
        // A parameter change keeps an address being typed; a loaded chunk replaces it.
        if (changed != 0 && changed != 0xFFFFFFFFu && destinationDue_ != 0) applyDestination();
        if (changed != 0) refresh();
        nextChangedPoll_ = now + kChangedPollMs;
    }
    if (destinationDue_ != 0 && now >= destinationDue_) applyDestination();
    applySendRule();
    // Only the focused field is drawn again when its caret blinks.
    const bool caretShown = caretBlink_.visible(now);
    if (caretShown != caretShown_) {
        caretShown_ = caretShown;
        caretDirty_ = fieldOf(focus_) != nullptr && haveXFocus_ && enabledControl(focus_);
    }
    paint();
    XFlush(display_);
}

void EditorWindow::handle(const XEvent& event) {
    if (listWindow_ != 0 && event.xany.window == listWindow_) return handleListEvent(event);
    switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0) copyToWindow({0, 0, width_, height_});
            break;
        case ButtonPress:
            buttonPress(event.xbutton);
            break;
        case ButtonRelease:
            buttonRelease(event.xbutton);
            break;
        case MotionNotify:
            motion(event.xmotion);
            break;
        case KeyPress: {
            XKeyEvent key = event.xkey;
            keyPress(key);
            break;
        }
        case FocusIn:
            if (event.xfocus.detail != NotifyPointer) haveXFocus_ = true;
            restartCaretBlink();
            dirty_ = true;
            break;
        case FocusOut:
            if (event.xfocus.detail == NotifyInferior || event.xfocus.detail == NotifyPointer) break;
            haveXFocus_ = false;
            // The editor as a whole lost the keyboard: so did its field.
            if (focus_ == IDC_DESTINATION) {
                closeList();
                destinationLostFocus();
            }
            dirty_ = true;
            break;
        case SelectionNotify: {
            std::string text;
            if (clipboard_.receive(event.xselection, &text)) pasteInto(pasteTarget_, text);
            break;
        }
        case SelectionRequest:
            clipboard_.answer(event.xselectionrequest);
            break;
        case SelectionClear:
            clipboard_.lost();
            break;
        case DestroyNotify:
            if (event.xdestroywindow.window == window_) windowGone_ = true;
            break;
        default:
            break;
    }
}

void EditorWindow::buttonPress(const XButtonEvent& event) {
    if (listWindow_ != 0) {
        // The grab sends clicks outside the list here: they only close it.
        closeList();
        return;
    }
    const int id = controlAt(event.x, event.y);
    if (id == 0 || !enabledControl(id)) return;
    if (event.button == Button2) {
        if (fieldOf(id) != nullptr) {
            XSetInputFocus(display_, window_, RevertToParent, event.time);
            setFocus(id);
            Field& field = *fieldOf(id);
            field.model.placeCaret(caretFromX(field, event.x), false);
            pasteTarget_ = id;
            clipboard_.requestPaste(true, event.time);
        }
        return;
    }
    if (event.button != Button1) return;
    if (id == IDC_LEVEL_METER) {
        const PixelRect r = rectOf(id);
        if (meter_.click(event.x - r.x, r.width)) meterDirty_ = true;
        return;
    }
    XSetInputFocus(display_, window_, RevertToParent, event.time);
    haveXFocus_ = true;
    if (id == IDC_DESTINATION && event.x >= textArea(id).x + textArea(id).width) {
        setFocus(id);
        destination_.model.selectAll();
        openList();
        return;
    }
    if (Field* field = fieldOf(id)) {
        const bool entering = focus_ != id;
        if (entering) setFocus(id);
        const std::size_t at = caretFromX(*field, event.x);
        const bool doubleClick = event.time - lastClickTime_ < kDoubleClickMs && std::abs(event.x - lastClickX_) < 4;
        lastClickTime_ = event.time;
        lastClickX_ = event.x;
        if (doubleClick) {
            field->model.selectWordAt(at);
        } else {
            field->model.placeCaret(at, (event.state & ShiftMask) != 0 && !entering);
            selecting_ = true;
        }
        keepCaretVisible(*field);
        dirty_ = true;
        return;
    }
    setFocus(id);
    pressed_ = id;
}

void EditorWindow::buttonRelease(const XButtonEvent& event) {
    selecting_ = false;
    if (event.button != Button1 || pressed_ == 0) return;
    const int id = pressed_;
    pressed_ = 0;
    // A button acts when the mouse is let go over it, as buttons do.
    if (controlAt(event.x, event.y) != id) return;
    if (id == IDC_ENABLED || id == IDC_RECEIVE || id == IDC_SEND) clickButton(id);
}

void EditorWindow::motion(const XMotionEvent& event) {
    if (!selecting_) return;
    Field* field = fieldOf(focus_);
    if (field == nullptr) return;
    field->model.placeCaret(caretFromX(*field, event.x), true);
    keepCaretVisible(*field);
    dirty_ = true;
}

void EditorWindow::pasteInto(int id, const std::string& text) {
    Field* field = fieldOf(id);
    if (field == nullptr || id != focus_ || !enabledControl(id)) return;
    if (field->model.insert(text)) fieldChanged(*field);
}

bool EditorWindow::editKey(Field& field, unsigned long keysym, unsigned state, const char* typed, int typedLength,
                           Time time) {
    const bool shift = (state & ShiftMask) != 0;
    const bool control = (state & ControlMask) != 0;
    TextEditModel& m = field.model;
    bool changed = false;
    switch (keysym) {
        case XK_Left:
        case XK_KP_Left:
            control ? m.wordLeft(shift) : m.moveLeft(shift);
            break;
        case XK_Right:
        case XK_KP_Right:
            control ? m.wordRight(shift) : m.moveRight(shift);
            break;
        case XK_Home:
        case XK_KP_Home:
            m.home(shift);
            break;
        case XK_End:
        case XK_KP_End:
            m.end(shift);
            break;
        case XK_BackSpace:
            changed = m.backspace();
            break;
        case XK_Delete:
        case XK_KP_Delete:
            if (shift && m.hasSelection()) {
                clipboard_.offer(m.selectedText(), time);
                changed = m.cutSelection();
            } else {
                changed = m.deleteForward();
            }
            break;
        case XK_Insert:
        case XK_KP_Insert:
            if (control && m.hasSelection()) clipboard_.offer(m.selectedText(), time);
            if (shift) {
                pasteTarget_ = field.id;
                clipboard_.requestPaste(false, time);
            }
            break;
        default:
            if (control) {
                if (keysym == XK_a || keysym == XK_A) {
                    m.selectAll();
                } else if ((keysym == XK_c || keysym == XK_C || keysym == XK_x || keysym == XK_X) && m.hasSelection()) {
                    clipboard_.offer(m.selectedText(), time);
                    if (keysym == XK_x || keysym == XK_X) changed = m.cutSelection();
                } else if (keysym == XK_v || keysym == XK_V) {
                    pasteTarget_ = field.id;
                    clipboard_.requestPaste(false, time);
                } else {
                    return false;
                }
            } else if (typedLength > 0) {
                changed = m.insert(std::string_view(typed, std::size_t(typedLength)));
                if (!changed) return true;  // a character the field refuses
            } else {
                return false;
            }
            break;
    }
    if (changed) fieldChanged(field);
    keepCaretVisible(field);
    dirty_ = true;
    return true;
}

void EditorWindow::keyPress(XKeyEvent& event) {
    char typed[32];
    KeySym keysym = 0;
    int length = XLookupString(&event, typed, sizeof typed, &keysym, nullptr);
    if (length < 0) length = 0;
    const unsigned state = event.state;
    const bool alt = (state & Mod1Mask) != 0;
    if (keysym == XK_Tab || keysym == XK_ISO_Left_Tab || keysym == XK_KP_Tab) {
        closeList();
        moveFocus(keysym == XK_ISO_Left_Tab || (state & ShiftMask) != 0);
        return;
    }
    if (focus_ == IDC_DESTINATION && enabledControl(focus_)) {
        const bool listOpen = listWindow_ != 0;
        if (keysym == XK_F4 || (alt && (keysym == XK_Down || keysym == XK_Up))) {
            listOpen ? closeList() : openList();
            return;
        }
        if (keysym == XK_Up || keysym == XK_Down || keysym == XK_KP_Up || keysym == XK_KP_Down) {
            stepListSelection(keysym == XK_Up || keysym == XK_KP_Up ? -1 : 1);
            return;
        }
        if (listOpen && (keysym == XK_Escape || keysym == XK_Return || keysym == XK_KP_Enter)) {
            closeList();
            return;
        }
    }
    if (Field* field = fieldOf(focus_)) {
        if (enabledControl(focus_) && !alt) editKey(*field, keysym, state, typed, length, event.time);
        return;
    }
    if (keysym == XK_space && (focus_ == IDC_ENABLED || focus_ == IDC_RECEIVE || focus_ == IDC_SEND)) {
        if (focus_ == IDC_ENABLED || (focus_ == IDC_SEND) != sendChecked_) clickButton(focus_);
        return;
    }
    if ((focus_ == IDC_RECEIVE || focus_ == IDC_SEND) &&
        (keysym == XK_Up || keysym == XK_Down || keysym == XK_Left || keysym == XK_Right)) {
        // Arrows move through the radio group and check the button they reach.
        const int other = focus_ == IDC_SEND ? IDC_RECEIVE : IDC_SEND;
        focus_ = other;
        clickButton(other);
    }
}

}  // namespace larkwire
