// The editor: a modeless child dialog showing one instance's settings. It
// keeps nothing of its own; every value lives in the instance and every edit
// is written straight back. [ui thread]
#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <cstring>

#include "editor/editor_host.h"
#include "editor/editor_ids.h"
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
constexpr UINT_PTR kMeterTimer = 1;
constexpr UINT_PTR kChangedTimer = 2;
constexpr UINT_PTR kDestinationTimer = 555;
constexpr int kTextLimit = 512;

// Above zero while the editor writes into its own controls; the change
// notifications that causes are not user edits.
int editorUpdateDepth = 0;

HWND windowOf(const StreamEffect& instance) { return static_cast<HWND>(instance.editorWindow); }

void notifyHost(StreamEffect& instance) {
    if (vst2::HostCallback callback = sharedHostCallback.load())
        callback(&instance.effect, vst2::audioMasterAutomate, -1, 0, nullptr, 0.0f);
}

void applySendRule(StreamEffect& instance) {
    HWND dialog = windowOf(instance);
    if (dialog == nullptr) return;
    const BOOL sending = instance.sendMode != 0;
    for (int id : {IDC_DESTINATION, IDC_CHANNELS_LABEL, IDC_SEND_CHANNELS})
        EnableWindow(GetDlgItem(dialog, id), sending);
}

// Leading decimal digits, 0 if none; saturates rather than overflowing.
std::int32_t leadingNumber(const char* text) {
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        if (value < 0x7FFFFFFF) value = value * 10 + (*text - '0');
    return static_cast<std::int32_t>(value < 0x7FFFFFFF ? value : 0x7FFFFFFF);
}

void refresh(HWND dialog, StreamEffect& instance) {
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
    CheckDlgButton(dialog, IDC_ENABLED, instance.enabled.load() != 0 ? BST_CHECKED : BST_UNCHECKED);
    char channels[16];
    std::snprintf(channels, sizeof channels, "%u", static_cast<unsigned>(instance.sendChannels.load()));
    SetDlgItemTextA(dialog, IDC_SEND_CHANNELS, channels);
    CheckDlgButton(dialog, IDC_RECEIVE, instance.sendMode == 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_SEND, instance.sendMode != 0 ? BST_CHECKED : BST_UNCHECKED);
    instance.changedMask.exchange(0);
    --editorUpdateDepth;
}

void initialise(HWND dialog, StreamEffect& instance) {
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
    refresh(dialog, instance);
}

void command(HWND dialog, StreamEffect& instance, int id, int code) {
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
            if (text[0] == '\0') return;
            instance.sendChannels.store(leadingNumber(text));
            break;
        case IDC_DESTINATION:
            if (code == CBN_SELCHANGE || code == CBN_EDITCHANGE) {
                // The destination changes only once the user paused for a second.
                KillTimer(dialog, kDestinationTimer);
                SetTimer(dialog, kDestinationTimer, 1000, nullptr);
            } else if (code == CBN_KILLFOCUS) {
                GetDlgItemTextA(dialog, IDC_DESTINATION, text, sizeof text);
                if (text[0] != '\0' && addRecentDestination(text))
                    SendDlgItemMessageA(dialog, IDC_DESTINATION, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
            }
            return;
        default:
            return;
    }
    applySendRule(instance);
    notifyHost(instance);
}

void timer(HWND dialog, StreamEffect& instance, UINT_PTR id) {
    if (id == kMeterTimer) {
        const MeterReading reading = meterTick(instance.peakLevels);
        SendDlgItemMessageA(dialog, IDC_LEVEL_METER, kMeterLevelMessage,
                            static_cast<WPARAM>(static_cast<INT_PTR>(reading.left)),
                            static_cast<LPARAM>(reading.right));
    } else if (id == kDestinationTimer) {
        KillTimer(dialog, kDestinationTimer);
        char text[kTextLimit];
        GetDlgItemTextA(dialog, IDC_DESTINATION, text, sizeof text);
        setDestination(instance, text);
        applySendRule(instance);
        notifyHost(instance);
    } else if (id == kChangedTimer) {
        if (instance.changedMask.load() != 0) SendMessageA(dialog, kRefreshMessage, 0, 0);
    }
}

void handle(HWND dialog, StreamEffect& instance, UINT message, WPARAM wParam) {
    switch (message) {
        case WM_INITDIALOG:
            initialise(dialog, instance);
            break;
        case kRefreshMessage:
            refresh(dialog, instance);
            break;
        case kSendRuleMessage:
            applySendRule(instance);
            break;
        case WM_COMMAND:
            command(dialog, instance, LOWORD(wParam), HIWORD(wParam));
            break;
        case WM_TIMER:
            timer(dialog, instance, wParam);
            break;
        case WM_DESTROY:
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
        if (message == WM_INITDIALOG) SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
        auto* instance = reinterpret_cast<StreamEffect*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
        if (instance != nullptr) handle(dialog, *instance, message, wParam);
    } catch (...) {
    }
    return 0;
}

}  // namespace

bool openEditor(StreamEffect& instance, void* parent) {
    try {
        if (instance.editorWindow != nullptr) closeEditor(instance);
        HWND dialog = CreateDialogParamA(editorModule(), MAKEINTRESOURCEA(IDD_LARKWIRE_EDITOR),
                                         static_cast<HWND>(parent), editorDialogProc,
                                         reinterpret_cast<LPARAM>(&instance));
        return dialog != nullptr;
    } catch (...) {
        return false;
    }
}

void closeEditor(StreamEffect& instance) {
    HWND dialog = windowOf(instance);
    if (dialog == nullptr) return;
    DestroyWindow(dialog);
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
