#pragma once

#include <cstdint>
#include <string_view>

namespace vl::platform {

// The value of Xft.dpi in the text of the X resource database; 0 when absent or not a DPI.
std::uint32_t ParseXftDpi(std::string_view resources);

// The scale Qt paints with: the primary screen's device pixel ratio, 1 without a screen. It
// follows Xft.dpi, QT_SCALE_FACTOR and QT_ENABLE_HIGHDPI_SCALING alike. UI thread.
double DevicePixelRatio();

// The system DPI: DevicePixelRatio() × 96, rounded, so that what the logic converts with and what
// Qt paints with always agree. When the X server's Xft.dpi says otherwise (scaling switched off
// or overridden for Qt) a warning is logged once per disagreement. Reads the screen on the UI
// thread; other threads get the value the UI thread read last.
std::uint32_t QueryDpi();

// Makes QueryDpi the source of vl::OSDpi; UninstallDpiSource takes it back.
void InstallDpiSource();
void UninstallDpiSource();

}  // namespace vl::platform
