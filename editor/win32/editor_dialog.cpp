// The editor: a modeless child dialog showing one instance's settings. It
// keeps nothing of its own beyond the edit still pending; every value lives
// in the instance and every edit is written back. [ui thread]
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <initializer_list>
#include <cstring>
#include <new>

#include "editor/deferred_edit.h"
#include "editor/editor_host.h"
#include "editor/editor_ids.h"
#include "editor/field_edits.h"
#include "editor/meter_tick.h"
#include "editor/recent_destinations.h"
#include "editor/win32/window_classes.h"
#include "shell/instance_settings.h"
#include "shell/stream_effect.h"

namespace larkwire {

namespace {

constexpr UINT kRefreshMessage = 7630;
// Posted when another thread asks for the send-only controls' state.
constexpr UINT kSendRuleMessage = WM_APP + 17;
// Sent by another thread that must close the editor: only the thread that
// made a window can destroy it. wParam non-zero: the instance is closing.
constexpr UINT kCloseMessage = WM_APP + 18;
constexpr UINT_PTR kMeterTimer = 1;
constexpr UINT_PTR kChangedTimer = 2;
constexpr UINT_PTR kDestinationTimer = 555;
constexpr int kTextLimit = 512;
// How long a closing thread waits for the window's thread to answer before
// it cuts the window off from the instance instead.
constexpr UINT kCloseWaitMilliseconds = 2000;

// Above zero while the editor writes into its own controls; the change
// notifications that causes are not user edits.
int editorUpdateDepth = 0;

// One per window, owned by it from the init-dialog message until its last
// message. The instance pointer is cleared when the instance goes away
// first, so a late timer finds nothing to touch.
struct DialogState {
    std::atomic<StreamEffect*> instance{nullptr};
    DeferredDestination destination;
    bool instanceClosing = false;
};

// What openEditor hands the dialog; adopted tells it who frees the state.
struct Creation {
    StreamEffect* instance;
    DialogState* state;
    bool adopted;
};

HWND windowOf(const StreamEffect& instance) { return static_cast<HWND>(instance.editorWindow); }

DialogState* stateOf(HWND dialog) {
    return reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

void applySendRule(StreamEffect& instance) {
    HWND dialog = windowOf(instance);
    if (dialog == nullptr) return;
    const BOOL sending = instance.sendMode != 0;
    for (int id : {IDC_DESTINATION, IDC_CHANNELS_LABEL, IDC_SEND_CHANNELS})
        EnableWindow(GetDlgItem(dialog, id), sending);
}

void refresh(HWND dialog, DialogState& state, StreamEffect& instance) {
    ++editorUpdateDepth;
    applySendRule(instance);
    instance.identifier[kIdentifierSize - 1] = '\0';
    SetDlgItemTextA(dialog, IDC_IDENTIFIER, instance.identifier);
    char destination[kDestinationSize];
    {
        platform::LockGuard guard(instance.destinationLock);
        std::memcpy(destination, instance.destination, sizeof destination);
    }
    destination[kDestinationSize - 1] = '\0';
    SetDlgItemTextA(dialog, IDC_DESTINATION, destination);
    // The field shows the instance's value again: nothing typed is left to apply.
    state.destination.discard();
    KillTimer(dialog, kDestinationTimer);
    CheckDlgButton(dialog, IDC_ENABLED, instance.enabled.load() != 0 ? BST_CHECKED : BST_UNCHECKED);
    char channels[16];
    std::snprintf(channels, sizeof channels, "%u", static_cast<unsigned>(instance.sendChannels.load()));
    SetDlgItemTextA(dialog, IDC_SEND_CHANNELS, channels);
    CheckDlgButton(dialog, IDC_RECEIVE, instance.sendMode == 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_SEND, instance.sendMode != 0 ? BST_CHECKED : BST_UNCHECKED);
    instance.changedMask.exchange(0);
    --editorUpdateDepth;
}

void initialise(HWND dialog, DialogState& state, StreamEffect& instance) {
    instance.editorWindow = dialog;
    char label[64];
    std::snprintf(label, sizeof label, "Audio channels (0-%d):", int(channelCount));
    SetDlgItemTextA(dialog, IDC_CHANNELS_LABEL, label);
    if (recentDestinations().empty()) fillRecentDestinations();
    PtrList<char>& list = recentDestinations();
    for (std::int32_t i = 0; i < list.count(); ++i)
        SendDlgItemMessageA(dialog, IDC_DESTINATION, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(list.get(i)));
    SetTimer(dialog, kMeterTimer, 33, nullptr);
    SetTimer(dialog, kChangedTimer, 200, nullptr);
    ShowWindow(dialog, SW_SHOWNA);
    instance.changedMask.store(0xFFFFFFFFu);
    refresh(dialog, state, instance);
}

// The typed destination, if one is pending, goes into the instance now.
// notify: false while the instance itself is closing.
void applyPendingDestination(HWND dialog, DialogState& state, StreamEffect& instance, bool notify) {
    KillTimer(dialog, kDestinationTimer);
    char text[kTextLimit];
    GetDlgItemTextA(dialog, IDC_DESTINATION, text, sizeof text);
    if (!state.destination.apply(instance, text)) return;
    applySendRule(instance);
    if (notify) notifyHostOfEdit(instance);
}

void command(HWND dialog, DialogState& state, StreamEffect& instance, int id, int code) {
    if (editorUpdateDepth != 0) return;
    char text[kTextLimit];
    switch (id) {
        case IDC_RECEIVE:
        case IDC_SEND:
            if (code != BN_CLICKED) return;
            setSendMode(instance, IsDlgButtonChecked(dialog, IDC_SEND) == BST_CHECKED ? 1 : 0);
            break;
        case IDC_ENABLED:
            if (code != BN_CLICKED) return;
            instance.enabled.store(IsDlgButtonChecked(dialog, IDC_ENABLED) == BST_CHECKED ? 1 : 0);
            break;
        case IDC_IDENTIFIER:
            if (code != EN_CHANGE) return;
            GetDlgItemTextA(dialog, IDC_IDENTIFIER, text, sizeof text);
            setIdentifier(instance, text);
            break;
        case IDC_SEND_CHANNELS:
            if (code != EN_CHANGE) return;
            GetDlgItemTextA(dialog, IDC_SEND_CHANNELS, text, sizeof text);
            if (!applySendChannelsText(instance, text)) return;
            break;
        case IDC_DESTINATION:
            if (code == CBN_SELCHANGE || code == CBN_EDITCHANGE) {
                // The destination changes once the user paused for a second.
                state.destination.edited();
                KillTimer(dialog, kDestinationTimer);
                SetTimer(dialog, kDestinationTimer, 1000, nullptr);
            } else if (code == CBN_KILLFOCUS) {
                applyPendingDestination(dialog, state, instance, true);
                GetDlgItemTextA(dialog, IDC_DESTINATION, text, sizeof text);
                if (text[0] != '\0' && addRecentDestination(text))
                    SendDlgItemMessageA(dialog, IDC_DESTINATION, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
            }
            return;
        default:
            return;
    }
    applySendRule(instance);
    notifyHostOfEdit(instance);
}

void timer(HWND dialog, DialogState& state, StreamEffect& instance, UINT_PTR id) {
    if (id == kMeterTimer) {
        const MeterReading reading = meterTick(instance.peakLevels);
        SendDlgItemMessageA(dialog, IDC_LEVEL_METER, kMeterLevelMessage,
                            static_cast<WPARAM>(static_cast<INT_PTR>(reading.left)),
                            static_cast<LPARAM>(reading.right));
    } else if (id == kDestinationTimer) {
        applyPendingDestination(dialog, state, instance, true);
    } else if (id == kChangedTimer) {
        if (instance.changedMask.load() != 0) SendMessageA(dialog, kRefreshMessage, 0, 0);
    }
}

void handle(HWND dialog, DialogState& state, StreamEffect& instance, UINT message, WPARAM wParam) {
    switch (message) {
        case WM_INITDIALOG:
            initialise(dialog, state, instance);
            break;
        case kRefreshMessage:
            refresh(dialog, state, instance);
            break;
        case kSendRuleMessage:
            applySendRule(instance);
            break;
        case WM_COMMAND:
            command(dialog, state, instance, LOWORD(wParam), HIWORD(wParam));
            break;
        case WM_TIMER:
            timer(dialog, state, instance, wParam);
            break;
        case WM_DESTROY:
            // The controls still exist here: a destination typed less than a
            // second ago is applied, not dropped with the window.
            applyPendingDestination(dialog, state, instance, !state.instanceClosing);
            for (UINT_PTR id : {kMeterTimer, kChangedTimer, kDestinationTimer}) KillTimer(dialog, id);
            if (instance.editorWindow == dialog) instance.editorWindow = nullptr;
            break;
        default:
            break;
    }
}

// Returns 0 for every message, so the dialog manager sets no default focus.
INT_PTR CALLBACK editorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_INITDIALOG) {
            auto* creation = reinterpret_cast<Creation*>(lParam);
            creation->adopted = true;
            creation->state->instance.store(creation->instance);
            SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->state));
        }
        DialogState* state = stateOf(dialog);
        if (state == nullptr) return 0;
        if (message == kCloseMessage) {
            state->instanceClosing = wParam != 0;
            DestroyWindow(dialog);
            return 0;
        }
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrA(dialog, GWLP_USERDATA, 0);
            delete state;
            return 0;
        }
        if (StreamEffect* instance = state->instance.load()) handle(dialog, *state, *instance, message, wParam);
    } catch (...) {
    }
    return 0;
}

}  // namespace

bool openEditor(StreamEffect& instance, void* parent) {
    try {
        if (instance.editorWindow != nullptr) closeEditor(instance);
        Creation creation{&instance, new (std::nothrow) DialogState, false};
        if (creation.state == nullptr) return false;
        HWND dialog = CreateDialogParamA(editorModule(), MAKEINTRESOURCEA(IDD_LARKWIRE_EDITOR),
                                         static_cast<HWND>(parent), editorDialogProc,
                                         reinterpret_cast<LPARAM>(&creation));
        if (!creation.adopted) delete creation.state;
        return dialog != nullptr;
    } catch (...) {
        return false;
    }
}

void closeEditor(StreamEffect& instance, bool instanceClosing) {
    HWND dialog = windowOf(instance);
    if (dialog == nullptr) return;
    const WPARAM closing = instanceClosing ? 1 : 0;
    if (GetWindowThreadProcessId(dialog, nullptr) == GetCurrentThreadId()) {
        SendMessageA(dialog, kCloseMessage, closing, 0);
        if (IsWindow(dialog)) DestroyWindow(dialog);
    } else {
        // DestroyWindow fails on any other thread: the window's own thread
        // destroys it, and this one waits while that thread answers.
        DWORD_PTR ignored = 0;
        if (SendMessageTimeoutA(dialog, kCloseMessage, closing, 0, SMTO_NORMAL, kCloseWaitMilliseconds,
                                &ignored) == 0) {
            // That thread does not answer (or is gone): no message the window
            // still gets may reach the instance, which may be freed next.
            if (IsWindow(dialog) && GetWindowThreadProcessId(dialog, nullptr) != 0) {
                if (DialogState* state = stateOf(dialog)) state->instance.store(nullptr);
                PostMessageA(dialog, kCloseMessage, closing, 0);
            }
        }
    }
    instance.editorWindow = nullptr;
}

bool editorClientRect(StreamEffect& instance, vst2::ERect& rect) {
    HWND dialog = windowOf(instance);
    RECT client;
    if (dialog == nullptr || !GetClientRect(dialog, &client)) return false;
    rect = {static_cast<vst2::int16>(client.top), static_cast<vst2::int16>(client.left),
            static_cast<vst2::int16>(client.bottom), static_cast<vst2::int16>(client.right)};
    return true;
}

// The shell may call this from an audio thread while it holds stateLock;
// enabling a window there would wait on the UI thread, which may itself be
// waiting for stateLock. Other threads therefore only post a request.
void editorEnableSendControls(StreamEffect& instance, bool) {
    HWND dialog = windowOf(instance);
    if (dialog == nullptr) return;
    if (GetWindowThreadProcessId(dialog, nullptr) == GetCurrentThreadId()) applySendRule(instance);
    else PostMessageA(dialog, kSendRuleMessage, 0, 0);
}

}  // namespace larkwire
