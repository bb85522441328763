// The real module (64-bit under wine64, 32-bit under wine32 in the VM),
// loaded by path, with its editor opened in a real top-level window and
// driven through its controls' messages.
//   editor_gui_tests --plugin=PATH [gtest options]
//   editor_gui_tests --plugin=PATH --show-editor=SECONDS   (for screenshots)
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "editor/meter_geometry.h"
#include "editor/win32/offscreen_bitmap.h"
#include "tools/host/plugin_host.h"

using namespace larkwire;

namespace {

std::string pluginPath;
host::PluginHost* pluginHost = nullptr;
// Which half of the two-process settings test this run is (0: neither).
int persistenceStep = 0;

// Where the recent destinations persist: per user, and where earlier
// versions kept them.
std::string userIniPath() {
    char folder[MAX_PATH] = {};
    GetEnvironmentVariableA("APPDATA", folder, MAX_PATH);
    return std::string(folder) + "\\Larkwire\\larkwire.ini";
}
std::string oldIniPath() {
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\larkwire.ini";
}

struct Chunk {
    std::int32_t sendMode = 0, sendChannels = 0, enabled = 0;
    std::string identifier, destination;
};

struct Scrolls {
    std::vector<int> codes;
    std::vector<UINT> messages;
    int commands = 0;
    int passedClicks = 0;
} scrolls;

LRESULT CALLBACK hostWindowProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_HSCROLL:
        case WM_VSCROLL:
            scrolls.codes.push_back(LOWORD(wParam));
            scrolls.messages.push_back(message);
            return 0;
        case WM_COMMAND:
            if (lParam == 0) ++scrolls.commands;
            return 0;
        case WM_LBUTTONDOWN:
            ++scrolls.passedClicks;
            return 0;
        default:
            return DefWindowProcA(w, message, wParam, lParam);
    }
}

// Every call the module makes to the host, so the notification's arguments
// can be checked, not only counted.
struct HostCall {
    vst2::AEffect* effect;
    vst2::int32 opcode, index;
    vst2::intptr value;
    void* ptr;
    float opt;
};
std::vector<HostCall> hostCalls;

vst2::intptr VST_CALLBACK recordingCallback(vst2::AEffect* effect, vst2::int32 opcode, vst2::int32 index,
                                            vst2::intptr value, void* ptr, float opt) {
    if (opcode == 1) return 2400;  // audioMasterVersion
    hostCalls.push_back({effect, opcode, index, value, ptr, opt});
    return 0;
}

// An instance made through the module's own entry point with the recording
// callback, which then also becomes the module's shared host callback.
vst2::AEffect* createRecordedInstance() {
    auto entry = reinterpret_cast<vst2::EntryProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("larkwire.dll"), "main")));
    return entry != nullptr ? entry(&recordingCallback) : nullptr;
}

// The 2034 messages the editor sends its meter: (left, right).
std::vector<std::pair<int, int>> meterMessages;
WNDPROC meterProc = nullptr;

LRESULT CALLBACK recordingMeterProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == 2034) meterMessages.emplace_back(int(INT_PTR(wParam)), int(lParam));
    return CallWindowProcA(meterProc, w, message, wParam, lParam);
}

HWND makeHostWindow(int width, int height) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = hostWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = "LarkwireTestHost";
        RegisterClassA(&wc);
        registered = true;
    }
    HWND w = CreateWindowExA(0, "LarkwireTestHost", "Larkwire test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             0, 0, width, height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(w);
    return w;
}

void pump(int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(1);
    } while (std::chrono::steady_clock::now() < end);
}

std::uint32_t pixelAt(const std::vector<std::uint32_t>& pixels, int width, int x, int y) {
    return pixels[std::size_t(y) * width + x];
}

// What the window shows, read back from its device context.
std::vector<std::uint32_t> capture(HWND w, int& width, int& height) {
    RECT r;
    GetClientRect(w, &r);
    width = r.right;
    height = r.bottom;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
    void* bits = nullptr;
    HDC windowDc = GetDC(w);
    HDC memory = CreateCompatibleDC(windowDc);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    std::vector<std::uint32_t> pixels(static_cast<std::uint32_t*>(bits),
                                      static_cast<std::uint32_t*>(bits) + std::size_t(width) * height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(w, windowDc);
    return pixels;
}

bool lit(std::uint32_t pixel) {
    const int r = (pixel >> 16) & 255, g = (pixel >> 8) & 255, b = pixel & 255;
    return std::max({r, g, b}) >= 128;
}

// Columns of one meter row that show the lit picture; odd columns (stripes)
// and the columns of scale marks are left out.
std::vector<int> litColumns(const std::vector<std::uint32_t>& pixels, int width, int row, bool& any) {
    int marks[kMaxMeterMarks];
    const int n = horizontalMarks(width, normalMeterScale(), marks);
    std::vector<int> columns;
    any = false;
    for (int x = 0; x < width; x += 2) {
        bool nearMark = false;
        for (int i = 0; i < n; ++i)
            nearMark |= std::abs(x - markColumn(width, marks[i], normalMeterScale())) <= 1;
        if (nearMark) continue;
        if (lit(pixelAt(pixels, width, x, row))) {
            columns.push_back(x);
            any = true;
        }
    }
    return columns;
}

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(pluginHost, nullptr);
        hostCalls.clear();
        effect = createRecordedInstance();
        ASSERT_NE(effect, nullptr);
        // One host window for every test: without a window manager, Wine
        // waits two seconds for each top-level window it unmaps.
        // A failed creation is tried again by the next test, not kept.
        static HWND shared = nullptr;
        if (shared == nullptr || !IsWindow(shared)) shared = makeHostWindow(420, 220);
        parent = shared;
        ASSERT_NE(parent, nullptr);
    }
    void TearDown() override {
        if (effect != nullptr) pluginHost->closeInstance(effect);
        while (HWND child = GetWindow(parent, GW_CHILD)) DestroyWindow(child);
        pump(20);
    }

    HWND open() {
        vst2::ERect* rect = nullptr;
        pluginHost->dispatch(effect, vst2::effEditGetRect, 0, 0, &rect);
        EXPECT_EQ(pluginHost->dispatch(effect, vst2::effEditOpen, 0, 0, parent), 1);
        dialog = GetWindow(parent, GW_CHILD);
        pump(50);
        return dialog;
    }
    // User changes told to the host; each must be audioMasterUpdateDisplay
    // with nothing else set: no setting here is a parameter, so no index
    // may reach the host's parameter table.
    std::int64_t notified() const {
        std::int64_t n = 0;
        for (const HostCall& c : hostCalls) {
            EXPECT_EQ(c.effect, effect);
            EXPECT_EQ(c.opcode, 42);
            EXPECT_EQ(c.index, 0);
            EXPECT_EQ(c.value, 0);
            EXPECT_EQ(c.ptr, nullptr);
            EXPECT_EQ(c.opt, 0.0f);
            n += c.opcode == 42;
        }
        return n;
    }
    // The call made by another thread while this one answers messages.
    void dispatchOnAnotherThread(vst2::int32 opcode) {
        std::atomic<bool> done{false};
        std::thread caller([&] {
            effect->dispatcher(effect, opcode, 0, 0, nullptr, 0.0f);
            done = true;
        });
        while (!done) pump(5);
        caller.join();
    }
    HWND item(int id) { return GetDlgItem(dialog, id); }
    HWND comboEdit() {
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        GetComboBoxInfo(item(1015), &info);
        return info.hwndItem;
    }
    static void type(HWND edit, const char* text) {
        for (const char* c = text; *c != '\0'; ++c) SendMessageA(edit, WM_CHAR, WPARAM(*c), 1);
    }
    Chunk chunk() {
        void* data = nullptr;
        const auto size = pluginHost->dispatch(effect, vst2::effGetChunk, 0, 0, &data);
        Chunk c;
        EXPECT_EQ(size, 172);
        if (size != 172 || data == nullptr) return c;
        const auto* b = static_cast<const char*>(data);
        std::memcpy(&c.sendMode, b, 4);
        std::memcpy(&c.sendChannels, b + 4, 4);
        std::memcpy(&c.enabled, b + 8, 4);
        c.identifier.assign(b + 12, strnlen(b + 12, 32));
        c.destination.assign(b + 44, strnlen(b + 44, 128));
        return c;
    }
    void process(float amplitude, int blocks) {
        constexpr int frames = 512;
        std::vector<float> in(frames), out(frames * 2);
        for (int block = 0; block < blocks; ++block) {
            for (int i = 0; i < frames; ++i)
                in[i] = amplitude * float(std::sin(2.0 * 3.14159265358979 * 440.0 * (block * frames + i) / 44100.0));
            float* inputs[2] = {in.data(), in.data()};
            float* outputs[2] = {out.data(), out.data() + frames};
            effect->processReplacing(effect, inputs, outputs, frames);
        }
    }

    void processConstant(float left, float right) {
        constexpr int frames = 256;
        std::vector<float> in(frames * 2), out(frames * 2);
        std::fill(in.begin(), in.begin() + frames, left);
        std::fill(in.begin() + frames, in.end(), right);
        float* inputs[2] = {in.data(), in.data() + frames};
        float* outputs[2] = {out.data(), out.data() + frames};
        effect->processReplacing(effect, inputs, outputs, frames);
    }

    vst2::AEffect* effect = nullptr;
    HWND parent = nullptr;
    HWND dialog = nullptr;
};

}  // namespace

TEST_F(EditorTest, ReceiveModeOpensWithSendControlsDisabled) {
    EXPECT_EQ(effect->flags, 0x31);
    vst2::ERect* rect = nullptr;
    pluginHost->dispatch(effect, vst2::effEditGetRect, 0, 0, &rect);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right, 400);  // nothing open yet: the default size
    EXPECT_EQ(rect->bottom, 300);
    ASSERT_NE(open(), nullptr);
    pluginHost->dispatch(effect, vst2::effEditGetRect, 0, 0, &rect);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(rect->right, client.right);
    EXPECT_EQ(rect->bottom, client.bottom);
    EXPECT_GT(client.right, 200);

    EXPECT_FALSE(IsWindowEnabled(item(1015)));
    EXPECT_FALSE(IsWindowEnabled(item(1028)));
    EXPECT_FALSE(IsWindowEnabled(item(1029)));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1024), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1025), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1030), BST_CHECKED);
    char text[64];
    GetDlgItemTextA(dialog, 1029, text, sizeof text);
    EXPECT_STREQ(text, "Audio channels (0-2):");
    GetDlgItemTextA(dialog, 1027, text, sizeof text);
    EXPECT_STREQ(text, "default");
    GetDlgItemTextA(dialog, 1028, text, sizeof text);
    EXPECT_STREQ(text, "2");
    GetClassNameA(item(1089), text, sizeof text);
    EXPECT_STREQ(text, "VORKELhorzvu");

    // Switching to send enables them and tells the host.
    const auto before = notified();
    SendMessageA(item(1025), BM_CLICK, 0, 0);
    EXPECT_EQ(chunk().sendMode, 1);
    EXPECT_TRUE(IsWindowEnabled(item(1015)));
    EXPECT_TRUE(IsWindowEnabled(item(1028)));
    EXPECT_TRUE(IsWindowEnabled(item(1029)));
    SendMessageA(item(1030), BM_CLICK, 0, 0);
    EXPECT_EQ(chunk().enabled, 0);
    EXPECT_EQ(notified(), before + 2);
}

// Template 101 as compiled into the module, item by item.
TEST(DialogTemplate, ItemsMatchTheLayout) {
    HMODULE module = GetModuleHandleA("larkwire.dll");
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5));  // RT_DIALOG
    ASSERT_NE(found, nullptr);
    const auto* words = static_cast<const WORD*>(LockResource(LoadResource(module, found)));
    const auto* head = reinterpret_cast<const DLGTEMPLATE*>(words);
    EXPECT_EQ(head->style, DWORD(DS_SETFONT | DS_CONTROL | WS_CHILD));
    EXPECT_EQ(head->cx, 213);
    EXPECT_EQ(head->cy, 94);
    ASSERT_EQ(head->cdit, 10);
    // Menu, class and title are a 0xFFFF ordinal or a zero-terminated UTF-16 string.
    auto text = [](const WORD*& p) {
        std::string out;
        if (*p == 0xFFFF) {
            out = "#" + std::to_string(p[1]);
            p += 2;
            return out;
        }
        for (; *p != 0; ++p) out += char(*p);
        ++p;
        return out;
    };
    const WORD* p = words + sizeof(DLGTEMPLATE) / 2;
    EXPECT_EQ(text(p), "");  // no menu
    EXPECT_EQ(text(p), "");  // default class
    EXPECT_EQ(text(p), "");  // no title
    EXPECT_EQ(*p++, 8);
    EXPECT_EQ(text(p), "MS Shell Dlg");

    struct Item {
        int id;
        const char* cls;
        const char* title;
        short x, y, cx, cy;
        DWORD style;
    };
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const Item expected[] = {
        {0xFFFF, "Static", "Identifier:", 7, 8, 30, 8, child | SS_LEFT | WS_GROUP},
        {1027, "Edit", "", 40, 7, 76, 12, child | ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
        {1030, "Button", "Enabled", 119, 8, 41, 10, child | BS_AUTOCHECKBOX | WS_TABSTOP},
        {1024, "Button", "Receive audio/MIDI", 7, 24, 81, 10, child | BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP},
        {1025, "Button", "Send audio/MIDI; IP:", 7, 37, 84, 10, child | BS_AUTORADIOBUTTON},
        {1015, "ComboBox", "", 92, 35, 114, 126, child | CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP},
        {1029, "Static", "Audio channels (0-8):", 87, 51, 91, 8, child | SS_RIGHT | WS_GROUP},
        {1028, "Edit", "", 180, 50, 25, 12,
         child | ES_LEFT | ES_NUMBER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
        {1089, "VORKELhorzvu", "", 7, 65, 199, 15, child | WS_TABSTOP},
        {0xFFFF, "Static", "Larkwire v0.1", 7, 83, 199, 8, child | SS_CENTER | WS_GROUP},
    };
    for (const Item& e : expected) {
        p = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~UINT_PTR(3));
        const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        SCOPED_TRACE(e.title);
        EXPECT_EQ(item->id, e.id);
        EXPECT_EQ(item->style, e.style);
        EXPECT_EQ(item->dwExtendedStyle, 0u);
        EXPECT_EQ(item->x, e.x);
        EXPECT_EQ(item->y, e.y);
        EXPECT_EQ(item->cx, e.cx);
        EXPECT_EQ(item->cy, e.cy);
        p += sizeof(DLGITEMTEMPLATE) / 2;
        // A class is a predefined ordinal or a name in any letter case.
        std::string cls = text(p);
        const char* predefined[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
        if (cls.size() == 4 && cls[0] == '#' && std::stoi(cls.substr(1)) >= 0x80 && std::stoi(cls.substr(1)) <= 0x85)
            cls = predefined[std::stoi(cls.substr(1)) - 0x80];
        EXPECT_EQ(_stricmp(cls.c_str(), e.cls), 0) << cls;
        EXPECT_EQ(text(p), e.title);
        p += 1 + (*p + 1) / 2;  // creation data: its size, then the bytes
    }
}

TEST_F(EditorTest, IdentifierChangesOnEveryKeystrokeAndKeeps31Characters) {
    ASSERT_NE(open(), nullptr);
    const auto before = notified();
    SetDlgItemTextA(dialog, 1027, "");
    EXPECT_EQ(chunk().identifier, "");
    type(item(1027), "st");
    EXPECT_EQ(chunk().identifier, "st");
    const std::string forty = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
    type(item(1027), forty.c_str());
    EXPECT_EQ(chunk().identifier, ("st" + forty).substr(0, 31));
    EXPECT_EQ(notified(), before + 1 + 2 + 40);
}

TEST_F(EditorTest, DestinationTakesEffectOneSecondAfterTheLastEdit) {
    ASSERT_NE(open(), nullptr);
    SendMessageA(item(1025), BM_CLICK, 0, 0);
    const auto before = notified();
    type(comboEdit(), "10.0.0.5");
    const auto typed = std::chrono::steady_clock::now();
    auto since = [&] {
        return int(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - typed).count());
    };
    pump(900 - since());
    // Timers only fire inside pump; on a loaded machine it may return late,
    // and then "unchanged" would not be a fault.
    if (since() < 1000) {
        EXPECT_EQ(chunk().destination, "");
        EXPECT_EQ(notified(), before);
    }
    pump(1150 - since());
    EXPECT_EQ(chunk().destination, "10.0.0.5");
    EXPECT_EQ(notified(), before + 1);

    // Choosing broadcast from the list works the same way.
    const auto index = SendMessageA(item(1015), CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM("* broadcast"));
    ASSERT_EQ(index, 0);  // sorted first
    SendMessageA(item(1015), CB_SETCURSEL, index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1015, CBN_SELCHANGE), LPARAM(item(1015)));
    pump(600);
    EXPECT_EQ(chunk().destination, "10.0.0.5");
    pump(600);
    EXPECT_EQ(chunk().destination, "* broadcast");
}

TEST_F(EditorTest, ClearedChannelFieldChangesNothing) {
    ASSERT_NE(open(), nullptr);
    SendMessageA(item(1025), BM_CLICK, 0, 0);
    const auto before = notified();
    SetDlgItemTextA(dialog, 1028, "");
    EXPECT_EQ(chunk().sendChannels, 2);
    EXPECT_EQ(notified(), before);
    type(item(1028), "7");
    EXPECT_EQ(chunk().sendChannels, 7);  // not range-checked here; the audio path bounds it
    EXPECT_EQ(notified(), before + 1);
}

TEST_F(EditorTest, LosingFocusAddsTheDestinationToTheIniFile) {
    ASSERT_NE(open(), nullptr);
    SendMessageA(item(1025), BM_CLICK, 0, 0);
    HWND edit = comboEdit();
    SetFocus(edit);
    type(edit, "10.1.2.3");
    const auto before = notified();
    SetFocus(item(1027));
    pump(20);
    char value[64] = {};
    GetPrivateProfileStringA("larkwire", "recent0", "", value, sizeof value, userIniPath().c_str());
    EXPECT_STREQ(value, "10.1.2.3");
    EXPECT_GE(SendMessageA(item(1015), CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM("10.1.2.3")), 0);
    // Leaving the field applies what was typed at once, without the pause.
    EXPECT_EQ(chunk().destination, "10.1.2.3");
    EXPECT_EQ(notified(), before + 1);

    // Another editor in the process shows it without reading the file again.
    SetFocus(item(1015));
    SetDlgItemTextA(dialog, 1015, "* Broadcast");
    SetFocus(item(1027));
    GetPrivateProfileStringA("larkwire", "recent1", "", value, sizeof value, userIniPath().c_str());
    EXPECT_STREQ(value, "");
    vst2::AEffect* second = createRecordedInstance();
    HWND otherParent = makeHostWindow(420, 220);
    pluginHost->dispatch(second, vst2::effEditOpen, 0, 0, otherParent);
    HWND otherDialog = GetWindow(otherParent, GW_CHILD);
    EXPECT_EQ(SendDlgItemMessageA(otherDialog, 1015, CB_GETCOUNT, 0, 0), 2);
    pluginHost->closeInstance(second);
    EXPECT_EQ(GetWindow(otherParent, GW_CHILD), nullptr);
    DestroyWindow(otherParent);
}

TEST_F(EditorTest, ClosingLeavesNothingBehind) {
    ASSERT_NE(open(), nullptr);
    HWND first = dialog;
    // Opening again replaces the editor rather than adding a second one.
    open();
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(GetWindow(dialog, GW_HWNDNEXT), nullptr);
    pluginHost->dispatch(effect, vst2::effEditClose, 0, 0, nullptr);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    vst2::ERect* rect = nullptr;
    pluginHost->dispatch(effect, vst2::effEditGetRect, 0, 0, &rect);
    EXPECT_EQ(rect->right, 400);
    pluginHost->dispatch(effect, vst2::effEditClose, 0, 0, nullptr);  // nothing open: harmless

    open();
    HWND last = dialog;
    pluginHost->closeInstance(effect);
    effect = nullptr;
    EXPECT_FALSE(IsWindow(last));
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    pump(100);  // no timer of the closed editor may fire into freed memory
}

// A destination typed less than a second before the editor closes is kept,
// whichever thread closes the editor, and the host hears of it.
TEST_F(EditorTest, ClosingAppliesThePendingDestination) {
    ASSERT_NE(open(), nullptr);
    SendMessageA(item(1025), BM_CLICK, 0, 0);
    const auto before = notified();
    type(comboEdit(), "10.0.0.7");
    pluginHost->dispatch(effect, vst2::effEditClose, 0, 0, nullptr);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(chunk().destination, "10.0.0.7");
    EXPECT_EQ(notified(), before + 1);

    // From another thread the window's own thread destroys it, here while
    // this one answers messages.
    ASSERT_NE(open(), nullptr);
    SetDlgItemTextA(dialog, 1015, "");
    type(comboEdit(), "10.0.0.8");
    dispatchOnAnotherThread(vst2::effEditClose);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(chunk().destination, "10.0.0.8");
    EXPECT_EQ(notified(), before + 2);
    pump(1100);  // the debounce died with the window
    EXPECT_EQ(notified(), before + 2);
}

// effClose on another thread. While this thread answers messages the window
// goes at once; while it is busy the window is cut off from the instance,
// and its timers and the destroy it gets later touch nothing freed.
TEST_F(EditorTest, ClosingTheInstanceFromAnotherThread) {
    ASSERT_NE(open(), nullptr);
    HWND first = dialog;
    dispatchOnAnotherThread(vst2::effClose);
    effect = nullptr;
    EXPECT_FALSE(IsWindow(first));

    effect = createRecordedInstance();
    ASSERT_NE(effect, nullptr);
    ASSERT_NE(open(), nullptr);
    HWND second = dialog;
    type(comboEdit(), "10.0.0.9");  // pending, with its timer running
    const auto before = notified();
    std::thread(
        [closing = effect] { closing->dispatcher(closing, vst2::effClose, 0, 0, nullptr, 0.0f); })
        .join();  // this thread answers nothing meanwhile
    effect = nullptr;
    pump(1200);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(notified(), before);  // nothing reached the host for the freed instance
}

// The recent destinations persist per user from one process to the next,
// and the file an earlier version kept in the Windows folder is adopted
// once. Run as two processes, --persistence-step=1 and then 2.
TEST_F(EditorTest, RecentDestinationsPersistAcrossProcesses) {
    if (persistenceStep == 0) GTEST_SKIP() << "runs as two processes in editor_gui_persistence";
    auto listed = [&](const char* text) {
        return SendMessageA(item(1015), CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(text)) >= 0;
    };
    if (persistenceStep == 1) {
        WritePrivateProfileStringA("larkwire", "recent0", "10.9.8.7", oldIniPath().c_str());
        ASSERT_NE(open(), nullptr);
        EXPECT_TRUE(listed("10.9.8.7")) << "the earlier version's entry";
        SendMessageA(item(1025), BM_CLICK, 0, 0);
        SetFocus(comboEdit());
        type(comboEdit(), "10.1.2.3");
        SetFocus(item(1027));
        char value[64] = {};
        GetPrivateProfileStringA("larkwire", "recent1", "", value, sizeof value, userIniPath().c_str());
        EXPECT_STREQ(value, "10.1.2.3");
        // Once adopted, the old file is never read again.
        WritePrivateProfileStringA("larkwire", "recent1", "10.5.5.5", oldIniPath().c_str());
        return;
    }
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(SendMessageA(item(1015), CB_GETCOUNT, 0, 0), 3);
    EXPECT_TRUE(listed("10.9.8.7"));
    EXPECT_TRUE(listed("10.1.2.3")) << "typed in the process before";
    EXPECT_FALSE(listed("10.5.5.5"));
}

TEST_F(EditorTest, ToneMovesTheMeter) {
    ASSERT_NE(open(), nullptr);
    HWND meter = item(1089);
    meterProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(meter, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&recordingMeterProc)));
    meterMessages.clear();
    pump(80);
    ASSERT_FALSE(meterMessages.empty());
    EXPECT_EQ(meterMessages.back(), std::make_pair(-1500, -1500)) << "nothing played yet";
    for (int i = 0; i < 20; ++i) {
        process(0.5f, 2);  // -6 dB
        pump(15);
    }
    int w, h;
    const auto pixels = capture(meter, w, h);
    const MeterScale& s = normalMeterScale();
    const int z = zeroDbColumn(w, s);
    bool any;
    const auto left = litColumns(pixels, w, 1, any);
    ASSERT_TRUE(any);
    EXPECT_EQ(left.front(), 0);
    const int end = barEnd(-61, w, z, s);
    EXPECT_LT(left.back(), end + 2);
    EXPECT_GT(left.back(), end - 10);

    // The next tick carries exactly what this block's output peaks were.
    meterMessages.clear();
    processConstant(1.0f, 0.5f);
    pump(60);
    ASSERT_FALSE(meterMessages.empty());
    EXPECT_EQ(meterMessages.front(), std::make_pair(0, -61));
}

// A meter of the module's class in a window of the test, fed directly.
TEST_F(EditorTest, MeterPixels) {
    HINSTANCE module = GetModuleHandleA("larkwire.dll");
    ASSERT_NE(module, nullptr);
    auto makeMeter = [&] {
        return CreateWindowExA(0, "VORKELhorzvu", "", WS_CHILD | WS_VISIBLE, 10, 10, 298, 24, parent,
                               HMENU(5), module, nullptr);
    };
    HWND meter = makeMeter();
    ASSERT_NE(meter, nullptr);
    const MeterScale& s = normalMeterScale();
    int w, h;
    bool any;

    SendMessageA(meter, 2034, WPARAM(INT_PTR(-1500)), LPARAM(-1500));
    UpdateWindow(meter);
    auto pixels = capture(meter, w, h);
    ASSERT_EQ(w, 298);
    litColumns(pixels, w, 1, any);
    EXPECT_FALSE(any) << "silence lights nothing";
    litColumns(pixels, w, h - 2, any);
    EXPECT_FALSE(any);

    const int z = zeroDbColumn(w, s);
    SendMessageA(meter, 2034, WPARAM(INT_PTR(0)), LPARAM(-30));
    UpdateWindow(meter);
    pixels = capture(meter, w, h);
    const auto left = litColumns(pixels, w, 1, any);
    const auto right = litColumns(pixels, w, h - 2, any);
    // 0 dB lights every column up to Z + 1, and the clip area above it.
    int expected = 0;
    for (int x = 0; x < w; x += 2) expected += 1;
    int marks[kMaxMeterMarks];
    const int n = horizontalMarks(w, s, marks);
    std::vector<int> all;
    for (int x = 0; x < w; x += 2) {
        bool nearMark = false;
        for (int i = 0; i < n; ++i) nearMark |= std::abs(x - markColumn(w, marks[i], s)) <= 1;
        if (!nearMark) all.push_back(x);
    }
    EXPECT_EQ(left, all);
    // -3 dB: lit up to the bar end, dark from there to Z, lit again in the clip area.
    const int b = barEnd(-30, w, z, s);
    for (int x : all) {
        const bool shouldBeLit = x < b || x > z;
        EXPECT_EQ(std::find(right.begin(), right.end(), x) != right.end(), shouldBeLit) << "column " << x;
    }

    // A click near the right end resets the readout and unlights the clip area.
    SendMessageA(meter, WM_LBUTTONDOWN, 0, MAKELPARAM(w - 5, 5));
    SendMessageA(meter, 2034, WPARAM(INT_PTR(-1500)), LPARAM(-1500));
    UpdateWindow(meter);
    pixels = capture(meter, w, h);
    litColumns(pixels, w, 1, any);
    EXPECT_FALSE(any);
    DestroyWindow(meter);
}

// The meters index pixels by row span, so the growth policy matters.
TEST(OffscreenBitmap, GrowsOnlyAndKeepsItsRowSpan) {
    OffscreenBitmap surface;
    EXPECT_EQ(surface.resize(100, 20), 1);
    ASSERT_NE(surface.getBits(), nullptr);
    EXPECT_EQ(surface.getRowSpan(), 100);
    std::uint32_t* first = surface.getBits();
    EXPECT_EQ(surface.resize(50, 10), 1);
    EXPECT_EQ(surface.getBits(), first);  // reused, not reallocated
    EXPECT_EQ(surface.getRowSpan(), 100);
    EXPECT_EQ(surface.getWidth(), 50);
    EXPECT_EQ(surface.resize(50, 10), 0);
    EXPECT_EQ(surface.resize(120, 10), 1);
    EXPECT_EQ(surface.getRowSpan(), 120);
    EXPECT_EQ(surface.resize(0, 0), 0);
    EXPECT_EQ(surface.getBits(), nullptr);
    EXPECT_EQ(surface.getWidth(), 0);
}

class FaderTest : public EditorTest {
protected:
    HWND makeFader(const char* cls, int w, int h) {
        scrolls = {};
        return CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE, 10, 10, w, h, parent, HMENU(77),
                               GetModuleHandleA("larkwire.dll"), nullptr);
    }
    static void setKeys(bool control, bool alt) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = control ? 0x80 : 0;
        keys[VK_MENU] = alt ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    static int position(HWND f) { return int(SendMessageA(f, 1024, 0, 0)); }
};

TEST_F(FaderTest, PositionDefaultAndClamping) {
    HWND f = makeFader("VORKELhfader", 223, 20);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(position(f), 0);
    SendMessageA(f, WM_LBUTTONDBLCLK, 0, MAKELPARAM(50, 10));
    EXPECT_EQ(position(f), 789);
    EXPECT_EQ(scrolls.codes, (std::vector<int>{8}));
    EXPECT_EQ(scrolls.messages, (std::vector<UINT>{WM_HSCROLL}));
    SendMessageA(f, 1029, 0, 1500);
    EXPECT_EQ(position(f), 1000);
    SendMessageA(f, 1029, 0, -5);
    EXPECT_EQ(position(f), 0);
    EXPECT_EQ(scrolls.codes.size(), 1u);  // setting the position does not notify

    HWND v = makeFader("VORKELvfader", 20, 226);
    EXPECT_EQ(position(v), 1000);  // stored 0 is the top
    SendMessageA(v, 1029, 0, 300);
    EXPECT_EQ(position(v), 300);
    EXPECT_EQ(GetWindowLongPtrA(v, 8), 700);  // kept mirrored
    SendMessageA(v, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    EXPECT_EQ(position(v), 316);
    EXPECT_EQ(scrolls.messages.front(), UINT(WM_VSCROLL));
}

TEST_F(FaderTest, WheelNotchesEndWithOneEndScroll) {
    HWND f = makeFader("VORKELhfader", 223, 20);
    SendMessageA(f, 1029, 0, 500);
    SendMessageA(f, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    EXPECT_EQ(position(f), 516);
    EXPECT_EQ(scrolls.codes, (std::vector<int>{5}));
    pump(350);
    EXPECT_EQ(scrolls.codes.size(), 1u);
    pump(300);
    EXPECT_EQ(scrolls.codes, (std::vector<int>{5, 8}));

    setKeys(true, false);
    SendMessageA(f, 1029, 0, 500);
    SendMessageA(f, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    setKeys(false, false);
    EXPECT_EQ(position(f), 501);
    // The registered wheel message carries the delta in wParam itself.
    const UINT roll = RegisterWindowMessageA("MSWHEEL_ROLLMSG");
    EXPECT_EQ(SendMessageA(f, roll, WPARAM(-120), 0), -1);
    EXPECT_EQ(position(f), 485);
    // A focused fader takes the arrow keys like a notch.
    EXPECT_EQ(SendMessageA(f, WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS);
    SendMessageA(f, WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(position(f), 501);
}

TEST_F(FaderTest, DragClickAndCancel) {
    HWND f = makeFader("VORKELhfader", 223, 20);
    SendMessageA(f, 1029, 0, 500);
    const int thumb = 200 * 500 / 1000;
    SendMessageA(f, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(thumb + 5, 10));
    ASSERT_EQ(GetCapture(), f);
    SendMessageA(f, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(thumb + 45, 10));
    EXPECT_EQ(position(f), 700);
    setKeys(false, true);
    SendMessageA(f, WM_LBUTTONUP, 0, MAKELPARAM(thumb + 65, 10));
    setKeys(false, false);
    EXPECT_EQ(position(f), 500);  // Alt cancels the drag
    EXPECT_EQ(scrolls.codes, (std::vector<int>{5, 8}));
    EXPECT_NE(GetCapture(), f);

    // On the groove away from the thumb: the thumb centre jumps under the mouse.
    SendMessageA(f, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(161, 10));
    EXPECT_EQ(position(f), (161 - 11) * 1000 / 200);
    SendMessageA(f, WM_LBUTTONUP, 0, MAKELPARAM(161, 10));
    // Outside thumb and groove the parent gets the click.
    SendMessageA(f, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 17));
    EXPECT_EQ(scrolls.passedClicks, 1);
    SendMessageA(f, WM_RBUTTONUP, 0, MAKELPARAM(30, 10));
    EXPECT_EQ(scrolls.commands, 1);
}

TEST_F(FaderTest, ThumbMagentaIsTransparent) {
    HWND f = makeFader("VORKELhfader", 223, 20);
    SendMessageA(f, 1029, 0, 0);
    InvalidateRect(f, nullptr, FALSE);
    UpdateWindow(f);
    int w, h;
    const auto pixels = capture(f, w, h);
    int magenta = 0, thumbPixels = 0;
    for (std::uint32_t p : pixels) {
        magenta += (p & 0xFFFFFF) == 0xFF00FF;
        thumbPixels += (p & 0xFFFFFF) == 0x303038;  // the thumb's outline colour
    }
    EXPECT_EQ(magenta, 0);
    EXPECT_GT(thumbPixels, 20) << "the thumb bitmap beside the module was drawn";
}

namespace {

// Keeps an editor open with a tone playing, for screenshots.
int showEditor(int seconds) {
    vst2::AEffect* effect = pluginHost->createInstance();
    if (effect == nullptr) return 1;
    HWND parent = makeHostWindow(360, 200);
    vst2::ERect* rect = nullptr;
    pluginHost->dispatch(effect, vst2::effEditOpen, 0, 0, parent);
    pluginHost->dispatch(effect, vst2::effEditGetRect, 0, 0, &rect);
    if (rect != nullptr) {
        RECT r{0, 0, rect->right, rect->bottom};
        AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
        SetWindowPos(parent, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    }
    HWND dialog = GetWindow(parent, GW_CHILD);
    SetDlgItemTextA(dialog, 1027, "studio-b");
    constexpr int frames = 512;
    std::vector<float> in(frames), out(frames * 2);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    long long n = 0;
    while (std::chrono::steady_clock::now() < end) {
        for (int i = 0; i < frames; ++i, ++n) {
            const double t = double(n) / 44100.0;
            in[i] = float((0.35 + 0.2 * std::sin(t * 1.3)) * std::sin(2.0 * 3.14159265358979 * 440.0 * t));
        }
        float* inputs[2] = {in.data(), in.data()};
        float* outputs[2] = {out.data(), out.data() + frames};
        effect->processReplacing(effect, inputs, outputs, frames);
        pump(11);
    }
    pluginHost->closeInstance(effect);
    DestroyWindow(parent);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    int showSeconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--plugin=", 0) == 0) pluginPath = arg.substr(9);
        if (arg.rfind("--show-editor=", 0) == 0) showSeconds = std::stoi(arg.substr(14));
        if (arg.rfind("--persistence-step=", 0) == 0) persistenceStep = std::stoi(arg.substr(19));
    }
    if (pluginPath.empty()) {
        std::fprintf(stderr, "usage: %s --plugin=PATH [--show-editor=SECONDS]\n", argv[0]);
        return 2;
    }
    // Start from no recent-destination file, before the module fills its
    // list; the second half of the settings test keeps what the first wrote.
    if (showSeconds == 0 && persistenceStep != 2) {
        DeleteFileA(userIniPath().c_str());
        DeleteFileA(oldIniPath().c_str());
    }
    host::PluginHost hostInstance;
    std::string error;
    if (!hostInstance.load(pluginPath, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    pluginHost = &hostInstance;
    if (showSeconds > 0) return showEditor(showSeconds);
    const int result = RUN_ALL_TESTS();
    pluginHost = nullptr;
    return result;
}
