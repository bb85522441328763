// The module's custom control classes and what they share: the fader thumb
// bitmaps and the registered wheel message. [module attach / last detach]
#pragma once

#include <windows.h>

namespace larkwire {

constexpr const char* kVerticalFaderClass = "VORKELvfader";
constexpr const char* kHorizontalFaderClass = "VORKELhfader";
constexpr const char* kHorizontalMeterClass = "VORKELhorzvu";
constexpr const char* kVerticalMeterClass = "VORKELvertvu";

constexpr UINT kMeterLevelMessage = 2034;
constexpr UINT kMeterReductionMessage = 7924;

constexpr UINT kFaderGetPosition = 1024;
constexpr UINT kFaderSetDefault = 1028;
constexpr UINT kFaderSetPosition = 1029;
constexpr UINT kFaderSetRange = 1030;
constexpr UINT kFaderSetLevels = 1034;
constexpr UINT kFaderGrooveColour = 6064;
constexpr int kFaderExtraBytes = 48;

// Null when the file beside the module is missing.
HBITMAP verticalThumbBitmap();
HBITMAP horizontalThumbBitmap();
UINT wheelRollMessage();
HINSTANCE editorModule();

LRESULT CALLBACK verticalFaderProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK horizontalFaderProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK horizontalMeterProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK verticalMeterProc(HWND, UINT, WPARAM, LPARAM);

}  // namespace larkwire
