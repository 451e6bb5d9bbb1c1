#pragma once

#include <cstdint>

#include "utils/vl_wnd.h"

// System-wide hotkeys on X11: a key combination grabbed on the root window reaches the owning
// window as WM_HOTKEY, wherever the keyboard focus is.
namespace vl::platform {

// Modifiers, numbered as the logic knows them.
inline constexpr UINT MOD_ALT = 0x0001;
inline constexpr UINT MOD_CONTROL = 0x0002;
inline constexpr UINT MOD_SHIFT = 0x0004;
inline constexpr UINT MOD_WIN = 0x0008;
// A held combination fires once, not again for every key repeat.
inline constexpr UINT MOD_NOREPEAT = 0x4000;

// What LastHotKeyError() reports.
inline constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;  // no X11 display (offscreen)
inline constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::uint32_t ERROR_INVALID_WINDOW_HANDLE = 1400;
inline constexpr std::uint32_t ERROR_WINDOW_OF_OTHER_THREAD = 1408;
inline constexpr std::uint32_t ERROR_HOTKEY_ALREADY_REGISTERED = 1409;
inline constexpr std::uint32_t ERROR_HOTKEY_NOT_REGISTERED = 1419;

// Grabs `modifiers` + `vk` ('A'..'Z' or '0'..'9') on the root window, with and without NumLock
// and CapsLock. Each press then posts WM_HOTKEY to `hwnd` with wParam = id and lParam = the
// modifiers in the low word and vk in the high word. Refused (false, see LastHotKeyError) when:
// the id is registered already in this process, the combination is registered here under another
// id, another X client holds the combination (remembered: later attempts for that combination
// fail at once, without asking the server again), hwnd is not a window of this thread, or the
// key or modifiers are not supported. UI thread only.
bool RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT vk);

// Releases the grab of `id` registered for `hwnd`. A window's hotkeys are also released when the
// window is destroyed.
bool UnregisterHotKey(HWND hwnd, int id);

// Releases every hotkey of `hwnd`; the window layer calls it when a window is destroyed.
void ReleaseHotKeysOfWindow(HWND hwnd);

// Why the last RegisterHotKey or UnregisterHotKey call on this thread failed (one of the
// ERROR_* values above); 0 after a success.
std::uint32_t LastHotKeyError();

}  // namespace vl::platform
