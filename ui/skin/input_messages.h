#pragma once

#include <Qt>

#include "utils/vl_wnd.h"

// How Qt input becomes window messages: virtual key codes in wParam of WM_KEYDOWN/WM_KEYUP, the
// button and modifier state in wParam of mouse messages.
namespace skin {

inline constexpr vl::WPARAM MK_LBUTTON = 0x0001;
inline constexpr vl::WPARAM MK_RBUTTON = 0x0002;
inline constexpr vl::WPARAM MK_SHIFT = 0x0004;
inline constexpr vl::WPARAM MK_CONTROL = 0x0008;
inline constexpr vl::WPARAM MK_MBUTTON = 0x0010;

// The virtual key code of a Qt key; 0 for keys without one.
vl::WPARAM VirtualKeyFromQt(int qtKey);

// MK_* flags of the buttons held and the modifiers.
vl::WPARAM MouseKeyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

// lParam of a key message: repeat count 1, the scan code, the previous-state bit for a repeated
// press and the transition bits for a release.
vl::LPARAM KeyLParam(bool release, bool autoRepeat, unsigned scanCode);

}  // namespace skin
