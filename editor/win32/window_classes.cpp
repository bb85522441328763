#include "editor/win32/window_classes.h"

#include <cstdio>
#include <initializer_list>
#include <cstring>

#include "editor/editor_host.h"

namespace larkwire {

namespace {

HINSTANCE module = nullptr;
HBITMAP verticalThumb = nullptr;
HBITMAP horizontalThumb = nullptr;
UINT wheelMessage = 0;

void loadThumb(HBITMAP& handle, const char* folder, const char* name) {
    if (handle != nullptr) return;
    char path[1100];
    std::snprintf(path, sizeof path, "%s\\%s", folder, name);
    handle = static_cast<HBITMAP>(
        LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
}

void registerClass(const char* name, UINT style, int extraBytes, WNDPROC procedure) {
    WNDCLASSA wc{};
    wc.style = style;
    wc.lpfnWndProc = procedure;
    wc.cbWndExtra = extraBytes;
    wc.hInstance = module;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

}  // namespace

HBITMAP verticalThumbBitmap() { return verticalThumb; }
HBITMAP horizontalThumbBitmap() { return horizontalThumb; }
UINT wheelRollMessage() { return wheelMessage; }
HINSTANCE editorModule() { return module; }

// The shell counts attaches; this runs on the first and the last only.
void editorResourcesAttach(void* moduleHandle) {
    module = static_cast<HINSTANCE>(moduleHandle);
    char folder[1024] = {};
    GetModuleFileNameA(module, folder, sizeof folder - 1);
    char* slash = std::strrchr(folder, '\\');
    if (slash != nullptr) *slash = '\0';
    else folder[0] = '\0';
    loadThumb(verticalThumb, folder, "tovani_vslider.bmp");
    loadThumb(horizontalThumb, folder, "tovani_hslider.bmp");
    wheelMessage = RegisterWindowMessageA("MSWHEEL_ROLLMSG");
    const UINT redraw = CS_VREDRAW | CS_HREDRAW;
    registerClass(kVerticalFaderClass, redraw | CS_DBLCLKS, kFaderExtraBytes, verticalFaderProc);
    registerClass(kHorizontalFaderClass, redraw | CS_DBLCLKS, kFaderExtraBytes, horizontalFaderProc);
    registerClass(kHorizontalMeterClass, redraw, 0, horizontalMeterProc);
    registerClass(kVerticalMeterClass, redraw, 0, verticalMeterProc);
}

void editorResourcesDetach() {
    for (const char* name : {kVerticalFaderClass, kHorizontalFaderClass, kHorizontalMeterClass,
                             kVerticalMeterClass})
        UnregisterClassA(name, module);
    if (verticalThumb != nullptr) DeleteObject(verticalThumb);
    if (horizontalThumb != nullptr) DeleteObject(horizontalThumb);
    verticalThumb = horizontalThumb = nullptr;
}

bool editorAvailable() { return true; }

}  // namespace larkwire
